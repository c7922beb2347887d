#include "render/gl/CGLRenderer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include <glm/gtc/type_ptr.hpp>

#include "render/gl/GLApi.h"
#include "render/gl/GLShader.h"
#include "render/gl/IContextProvider.h"

namespace {

// The fixed-function vertex stage: directional light 0, the ambient render
// state and the material, evaluated per vertex (Gouraud). A vertex that
// carries a colour but no normal (the axis lines) keeps its own colour.
// Depth comes in the 0..1 range of the left-handed projections and is mapped
// to OpenGL's -1..1 clip range here.
//
// Compiled twice: as it stands for the classic look, and with ENHANCED
// defined for the enhanced one, which replaces the ambient render state by
// a hemisphere term (sky colour from above, ground colour from below) and
// hands the world position on for the fog. The classic program is the
// unchanged text, so its pictures stay the same bit for bit.
const char* const kSceneVertexShader = R"(
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aColour;
layout(location = 3) in vec2 aTexCoord;
uniform mat4 uWorldViewProj;
uniform mat4 uWorld;
uniform bool uLighting;
uniform bool uHasNormal;
uniform bool uHasColour;
uniform bool uLightOn;
uniform vec3 uLightDirection;
uniform vec4 uLightDiffuse;
uniform vec4 uMaterialDiffuse;
uniform vec4 uMaterialAmbient;
uniform vec4 uMaterialEmissive;
uniform vec4 uAmbient;
out vec4 vColour;
out vec2 vTexCoord;
#ifdef ENHANCED
uniform vec3 uSkyAmbient;
uniform vec3 uGroundAmbient;
out vec3 vWorld;
#endif
void main()
{
    vec4 clip = uWorldViewProj * vec4(aPosition, 1.0);
#ifdef ENHANCED
    vWorld = (uWorld * vec4(aPosition, 1.0)).xyz;
#endif
    clip.z = 2.0 * clip.z - clip.w;
    gl_Position = clip;
    vTexCoord = aTexCoord;
    if (!uLighting || (uHasColour && !uHasNormal)) {
        vColour = uHasColour ? aColour : vec4(1.0);
        return;
    }
    vec4 diffuse = uHasColour ? aColour : uMaterialDiffuse;
    vec3 normal = uHasNormal ? mat3(uWorld) * aNormal : vec3(0.0);
    float lambert = uLightOn ? max(dot(normal, -uLightDirection), 0.0) : 0.0;
#ifdef ENHANCED
    float up = dot(normal, normal) > 0.0 ? normalize(normal).y : 0.0;
    vec3 ambient = mix(uGroundAmbient, uSkyAmbient, 0.5 + 0.5 * up);
#else
    vec3 ambient = uAmbient.rgb;
#endif
    vec3 colour = uMaterialEmissive.rgb + uMaterialAmbient.rgb * ambient
                + diffuse.rgb * uLightDiffuse.rgb * lambert;
    vColour = vec4(clamp(colour, 0.0, 1.0), diffuse.a);
}
)";

// Texture stage 0: texel colour times the lit colour, texel alpha. The
// enhanced program then fades the colour into the horizon colour with the
// ground distance from the eye: the fog ends at uFogEnd or, nearer, at 95 %
// of the way to the edge of the window rectangle uFogWindow (x0, z0, x1,
// z1) in that direction, and starts at 70 % of its end.
const char* const kSceneFragmentShader = R"(
in vec4 vColour;
in vec2 vTexCoord;
uniform bool uHasTexture;
uniform sampler2D uTexture;
out vec4 fragColour;
#ifdef ENHANCED
in vec3 vWorld;
uniform vec3 uEye;
uniform vec4 uFogWindow;
uniform float uFogEnd;
uniform vec3 uHorizon;
float FogEnd(vec2 direction)
{
    float end = uFogEnd;
    if (direction.x > 0.0) end = min(end, (uFogWindow.z - uEye.x) / direction.x);
    if (direction.x < 0.0) end = min(end, (uFogWindow.x - uEye.x) / direction.x);
    if (direction.y > 0.0) end = min(end, (uFogWindow.w - uEye.z) / direction.y);
    if (direction.y < 0.0) end = min(end, (uFogWindow.y - uEye.z) / direction.y);
    return max(0.95 * end, 64.0);
}
#endif
void main()
{
    if (uHasTexture) {
        vec4 texel = texture(uTexture, vTexCoord);
        fragColour = vec4(vColour.rgb * texel.rgb, texel.a);
    } else {
        fragColour = vColour;
    }
#ifdef ENHANCED
    vec2 ground = vWorld.xz - uEye.xz;
    float distance = length(ground);
    float end = distance > 0.0 ? FogEnd(ground / distance) : uFogEnd;
    float fog = smoothstep(0.7 * end, end, distance);
    fragColour.rgb = mix(fragColour.rgb, uHorizon, fog);
#endif
}
)";

// The sky of the enhanced look: a triangle over the whole target at the far
// plane; each pixel's colour follows the elevation of its view ray, from the
// horizon haze (at and below the horizon) to the zenith blue.
const char* const kSkyVertexShader = R"(#version 330 core
out vec2 vNdc;
void main()
{
    vec2 corner = vec2(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID >> 1) * 4 - 1));
    vNdc = corner;
    gl_Position = vec4(corner, 1.0, 1.0);
}
)";

const char* const kSkyFragmentShader = R"(#version 330 core
in vec2 vNdc;
uniform mat4 uInverseViewProj;
uniform vec3 uEye;
uniform vec3 uHorizon;
uniform vec3 uZenith;
out vec4 fragColour;
void main()
{
    vec4 far = uInverseViewProj * vec4(vNdc, 1.0, 1.0);
    vec3 ray = normalize(far.xyz / far.w - uEye);
    float height = sqrt(clamp(ray.y, 0.0, 1.0));
    fragColour = vec4(mix(uHorizon, uZenith, height), 1.0);
}
)";

// A screen-aligned image: uRect is (x, y, width, height) in target pixels,
// top-left origin; uTarget the target's size.
const char* const kImageVertexShader = R"(#version 330 core
uniform vec4 uRect;
uniform vec2 uTarget;
out vec2 vTexCoord;
void main()
{
    vec2 corner = vec2(float(gl_VertexID & 1), float((gl_VertexID >> 1) & 1));
    vec2 pixel = uRect.xy + corner * uRect.zw;
    gl_Position = vec4(pixel.x / uTarget.x * 2.0 - 1.0, 1.0 - pixel.y / uTarget.y * 2.0, 0.0, 1.0);
    vTexCoord = corner;
}
)";

const char* const kImageFragmentShader = R"(#version 330 core
in vec2 vTexCoord;
uniform sampler2D uImage;
out vec4 fragColour;
void main()
{
    fragColour = texture(uImage, vTexCoord);
}
)";

// Byte offsets of the vertex components in a flexible vertex format, in the
// classic order: position, normal, colour, texture coordinates.
struct VertexLayout {
    int normal = -1, colour = -1, texCoord = -1;
};

VertexLayout LayoutOf(std::uint32_t fvf)
{
    VertexLayout layout;
    int offset = 12;
    if (fvf & D3DFVF_NORMAL) {
        layout.normal = offset;
        offset += 12;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        layout.colour = offset;
        offset += 4;
    }
    if (fvf & D3DFVF_TEX1)
        layout.texCoord = offset;
    return layout;
}

void SetAttribute(GLuint index, int offset, GLint size, GLenum type, GLboolean normalised, unsigned stride)
{
    if (offset < 0) {
        glDisableVertexAttribArray(index);
        return;
    }
    glEnableVertexAttribArray(index);
    glVertexAttribPointer(index, size, type, normalised, static_cast<GLsizei>(stride),
                          reinterpret_cast<const void*>(static_cast<std::uintptr_t>(offset)));
}

constexpr const char* kVersion = "#version 330 core";
constexpr const char* kVersionEnhanced = "#version 330 core\n#define ENHANCED";
// Anisotropy asked for where the driver offers the filter: enough for the
// grazing angles of a low flight.
constexpr float kAnisotropy = 16.0f;

} // namespace

CGLRenderer::SceneUniforms CGLRenderer::Locate(unsigned program)
{
    auto at = [program](const char* name) { return glGetUniformLocation(program, name); };
    SceneUniforms u;
    u.worldViewProj = at("uWorldViewProj");
    u.world = at("uWorld");
    u.lighting = at("uLighting");
    u.hasNormal = at("uHasNormal");
    u.hasColour = at("uHasColour");
    u.lightOn = at("uLightOn");
    u.lightDirection = at("uLightDirection");
    u.lightDiffuse = at("uLightDiffuse");
    u.materialDiffuse = at("uMaterialDiffuse");
    u.materialAmbient = at("uMaterialAmbient");
    u.materialEmissive = at("uMaterialEmissive");
    u.ambient = at("uAmbient");
    u.hasTexture = at("uHasTexture");
    u.sampler = at("uTexture");
    u.skyAmbient = at("uSkyAmbient");
    u.groundAmbient = at("uGroundAmbient");
    u.eye = at("uEye");
    u.fogWindow = at("uFogWindow");
    u.fogEnd = at("uFogEnd");
    u.horizon = at("uHorizon");
    return u;
}

bool CGLRenderer::Init(unsigned width, unsigned height)
{
    Destroy();
    m_width = width;
    m_height = height;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxTextureSize);

    glGenRenderbuffers(1, &m_colourBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, m_colourBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    glGenRenderbuffers(1, &m_depthBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, m_depthBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, static_cast<GLsizei>(width),
                          static_cast<GLsizei>(height));
    glGenFramebuffers(1, &m_framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colourBuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depthBuffer);
    if (const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER); status != GL_FRAMEBUFFER_COMPLETE) {
        std::fprintf(stderr, "vantaPeak: el destino de %ux%u (color RGBA8, profundidad de 24 bits) no se completa: "
                     "glCheckFramebufferStatus 0x%04X\n", width, height, status);
        Destroy();
        return false;
    }

    m_sceneProgram = LinkProgram("scene", kSceneVertexShader, kSceneFragmentShader, kVersion);
    m_enhancedProgram = LinkProgram("scene (enhanced)", kSceneVertexShader, kSceneFragmentShader, kVersionEnhanced);
    m_skyProgram = LinkProgram("sky", kSkyVertexShader, kSkyFragmentShader);
    m_imageProgram = LinkProgram("image", kImageVertexShader, kImageFragmentShader);
    if (m_sceneProgram == 0 || m_enhancedProgram == 0 || m_skyProgram == 0 || m_imageProgram == 0) {
        Destroy();
        return false;
    }
    m_classicUniforms = Locate(m_sceneProgram);
    m_enhancedUniforms = Locate(m_enhancedProgram);
    m_uSkyInverse = glGetUniformLocation(m_skyProgram, "uInverseViewProj");
    m_uSkyEye = glGetUniformLocation(m_skyProgram, "uEye");
    m_uSkyHorizon = glGetUniformLocation(m_skyProgram, "uHorizon");
    m_uSkyZenith = glGetUniformLocation(m_skyProgram, "uZenith");
    // Anisotropic filtering where the driver offers it, except on Mesa's
    // software rasterisers, which filter on the CPU: there render_bench put
    // the enhanced frame median at about 2.2 x classic with 4x or 8x and at
    // 1.65 to 2.57 x in three of four runs with 2x, over the 1.3 x the
    // enhanced look may cost, while the trilinear filter alone already
    // takes away the shimmer.
    m_maxAnisotropy = 1.0f;
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    const bool software = renderer != nullptr && (std::strstr(renderer, "llvmpipe") != nullptr ||
                                                  std::strstr(renderer, "softpipe") != nullptr ||
                                                  std::strstr(renderer, "swrast") != nullptr);
    GLint extensions = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &extensions);
    for (GLint i = 0; i < extensions && !software; ++i) {
        const auto* name = reinterpret_cast<const char*>(glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (name != nullptr && (std::strcmp(name, "GL_EXT_texture_filter_anisotropic") == 0 ||
                                std::strcmp(name, "GL_ARB_texture_filter_anisotropic") == 0)) {
            GLfloat most = 1.0f;
            glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY, &most);
            m_maxAnisotropy = std::min(most, kAnisotropy);
            break;
        }
    }
    m_uImageRect = glGetUniformLocation(m_imageProgram, "uRect");
    m_uImageTarget = glGetUniformLocation(m_imageProgram, "uTarget");
    m_uImageSampler = glGetUniformLocation(m_imageProgram, "uImage");

    glGenVertexArrays(1, &m_vertexArray);
    glBindVertexArray(m_vertexArray);
    glGenBuffers(1, &m_streamBuffer);
    for (ImageTexture& texture : m_imageTextures)
        glGenTextures(1, &texture.name);

    // Fixed device state: depth tested and written (less-or-equal, as the
    // classic default), no blending in the scene. Culling follows the cull
    // mode render state at each draw.
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    BindTarget();
    m_ready = true;
    return true;
}

void CGLRenderer::Destroy()
{
    if (m_sceneProgram != 0)
        glDeleteProgram(m_sceneProgram);
    if (m_enhancedProgram != 0)
        glDeleteProgram(m_enhancedProgram);
    if (m_skyProgram != 0)
        glDeleteProgram(m_skyProgram);
    if (m_imageProgram != 0)
        glDeleteProgram(m_imageProgram);
    for (ImageTexture& texture : m_imageTextures) {
        if (texture.name != 0)
            glDeleteTextures(1, &texture.name);
        texture = ImageTexture{};
    }
    if (m_streamBuffer != 0)
        glDeleteBuffers(1, &m_streamBuffer);
    if (m_vertexArray != 0)
        glDeleteVertexArrays(1, &m_vertexArray);
    if (m_framebuffer != 0)
        glDeleteFramebuffers(1, &m_framebuffer);
    if (m_colourBuffer != 0)
        glDeleteRenderbuffers(1, &m_colourBuffer);
    if (m_depthBuffer != 0)
        glDeleteRenderbuffers(1, &m_depthBuffer);
    m_sceneProgram = m_enhancedProgram = m_skyProgram = m_imageProgram = m_streamBuffer = m_vertexArray = 0;
    m_framebuffer = m_colourBuffer = m_depthBuffer = 0;
    m_ready = false;
}

void CGLRenderer::BindTarget()
{
    glBindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    glViewport(0, 0, static_cast<GLsizei>(m_width), static_cast<GLsizei>(m_height));
}

void CGLRenderer::Clear(unsigned rectCount, const RECT* rects, bool colour, bool depth, D3DCOLOR color, float z)
{
    GLbitfield mask = 0;
    if (colour) {
        glClearColor(((color >> 16) & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, (color & 0xFF) / 255.0f,
                     ((color >> 24) & 0xFF) / 255.0f);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (depth) {
        glClearDepth(std::clamp(z, 0.0f, 1.0f));
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if (mask == 0)
        return;
    if (rectCount == 0 || rects == nullptr) {
        glClear(mask);
        return;
    }
    glEnable(GL_SCISSOR_TEST);
    for (unsigned i = 0; i < rectCount; ++i) {
        const RECT& r = rects[i];
        const int left = std::max(r.left, 0);
        const int top = std::max(r.top, 0);
        const int right = std::min(r.right, static_cast<int>(m_width));
        const int bottom = std::min(r.bottom, static_cast<int>(m_height));
        if (right <= left || bottom <= top)
            continue;
        glScissor(left, static_cast<int>(m_height) - bottom, right - left, bottom - top);
        glClear(mask);
    }
    glDisable(GL_SCISSOR_TEST);
}

void CGLRenderer::Draw(const GLDrawState& state, D3DPRIMITIVETYPE type, unsigned buffer, const void* userData,
                       unsigned firstVertex, unsigned vertexCount)
{
    const SceneUniforms& u = state.enhanced ? m_enhancedUniforms : m_classicUniforms;
    glUseProgram(state.enhanced ? m_enhancedProgram : m_sceneProgram);
    glUniformMatrix4fv(u.worldViewProj, 1, GL_FALSE, glm::value_ptr(state.worldViewProj));
    glUniformMatrix4fv(u.world, 1, GL_FALSE, glm::value_ptr(state.world));
    glUniform1i(u.lighting, state.lighting ? 1 : 0);
    glUniform1i(u.hasNormal, (state.fvf & D3DFVF_NORMAL) ? 1 : 0);
    glUniform1i(u.hasColour, (state.fvf & D3DFVF_DIFFUSE) ? 1 : 0);
    glUniform1i(u.lightOn, state.lightOn ? 1 : 0);
    glUniform3fv(u.lightDirection, 1, glm::value_ptr(state.lightDirection));
    glUniform4fv(u.lightDiffuse, 1, glm::value_ptr(state.lightDiffuse));
    glUniform4fv(u.materialDiffuse, 1, glm::value_ptr(state.materialDiffuse));
    glUniform4fv(u.materialAmbient, 1, glm::value_ptr(state.materialAmbient));
    glUniform4fv(u.materialEmissive, 1, glm::value_ptr(state.materialEmissive));
    glUniform4fv(u.ambient, 1, glm::value_ptr(state.ambient));
    const bool textured = state.texture != 0 && (state.fvf & D3DFVF_TEX1) != 0;
    glUniform1i(u.hasTexture, textured ? 1 : 0);
    glUniform1i(u.sampler, 0);
    if (state.enhanced) {
        glUniform3fv(u.skyAmbient, 1, glm::value_ptr(LookColours::kSkyAmbient));
        glUniform3fv(u.groundAmbient, 1, glm::value_ptr(LookColours::kGroundAmbient));
        glUniform3fv(u.eye, 1, glm::value_ptr(state.eye));
        glUniform4fv(u.fogWindow, 1, glm::value_ptr(state.fogWindow));
        glUniform1f(u.fogEnd, state.fogEnd);
        glUniform3fv(u.horizon, 1, glm::value_ptr(LookColours::kHorizon));
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, textured ? state.texture : 0);

    if (buffer != 0) {
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
    } else {
        glBindBuffer(GL_ARRAY_BUFFER, m_streamBuffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount) * state.stride, userData,
                     GL_STREAM_DRAW);
        firstVertex = 0;
    }
    const VertexLayout layout = LayoutOf(state.fvf);
    SetAttribute(0, 0, 3, GL_FLOAT, GL_FALSE, state.stride);
    SetAttribute(1, layout.normal, 3, GL_FLOAT, GL_FALSE, state.stride);
    // 0xAARRGGBB in memory is B, G, R, A.
    SetAttribute(2, layout.colour, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, state.stride);
    SetAttribute(3, layout.texCoord, 2, GL_FLOAT, GL_FALSE, state.stride);

    glPolygonMode(GL_FRONT_AND_BACK, state.wireframe ? GL_LINE : GL_FILL);
    // Windings as seen on the screen: OpenGL's front faces (the default,
    // counter-clockwise) are the ones D3DCULL_CCW drops.
    if (state.cullMode == D3DCULL_CW || state.cullMode == D3DCULL_CCW) {
        glEnable(GL_CULL_FACE);
        glCullFace(state.cullMode == D3DCULL_CW ? GL_BACK : GL_FRONT);
    } else {
        glDisable(GL_CULL_FACE);
    }
    glDrawArrays(type == D3DPT_LINELIST ? GL_LINES : GL_TRIANGLES, static_cast<GLint>(firstVertex),
                 static_cast<GLsizei>(vertexCount));
}

void CGLRenderer::DrawSky(const glm::mat4& inverseViewProj, const glm::vec3& eye)
{
    glUseProgram(m_skyProgram);
    glUniformMatrix4fv(m_uSkyInverse, 1, GL_FALSE, glm::value_ptr(inverseViewProj));
    glUniform3fv(m_uSkyEye, 1, glm::value_ptr(eye));
    glUniform3fv(m_uSkyHorizon, 1, glm::value_ptr(LookColours::kHorizon));
    glUniform3fv(m_uSkyZenith, 1, glm::value_ptr(LookColours::kZenith));
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glEnable(GL_DEPTH_TEST);
}

void CGLRenderer::DrawImage(const std::uint32_t* pixels, int width, int height, int x, int y)
{
    if (width <= 0 || height <= 0)
        return;
    ImageTexture& texture = m_imageTextures[m_nextImageTexture];
    m_nextImageTexture = (m_nextImageTexture + 1) % kImageTextures;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture.name);
    if (width > texture.width || height > texture.height) {
        texture.width = std::max(width, texture.width);
        texture.height = std::max(height, texture.height);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, texture.width, texture.height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    }
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, pixels);

    glUseProgram(m_imageProgram);
    glUniform2f(m_uImageTarget, static_cast<float>(m_width), static_cast<float>(m_height));
    glUniform1i(m_uImageSampler, 0);
    // The quad spans the whole (reused, possibly larger) texture so that
    // texels map one to one; the scissor keeps only the image's part.
    glUniform4f(m_uImageRect, static_cast<float>(x), static_cast<float>(y), static_cast<float>(texture.width),
                static_cast<float>(texture.height));
    glEnable(GL_SCISSOR_TEST);
    glScissor(x, static_cast<int>(m_height) - (y + height), width, height);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
}

void CGLRenderer::Present(IContextProvider& provider)
{
    if (!provider.HasScreen()) {
        glFinish();
        return;
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, provider.ScreenFramebuffer());
    const int screenWidth = provider.ScreenWidth();
    const int screenHeight = provider.ScreenHeight();
    if (screenWidth > 0 && screenHeight > 0) {
        glViewport(0, 0, screenWidth, screenHeight);
        glBlitFramebuffer(0, 0, static_cast<GLint>(m_width), static_cast<GLint>(m_height), 0, 0, screenWidth,
                          screenHeight, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    }
    provider.SwapBuffers();
    BindTarget();
}

void CGLRenderer::ReadBack(std::vector<std::uint32_t>* pixels)
{
    pixels->assign(static_cast<std::size_t>(m_width) * m_height, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_framebuffer);
    glReadPixels(0, 0, static_cast<GLsizei>(m_width), static_cast<GLsizei>(m_height), GL_BGRA,
                 GL_UNSIGNED_BYTE, pixels->data());
    // GL rows run bottom-up; the back buffer has no alpha (X8R8G8B8).
    std::vector<std::uint32_t> row(m_width);
    for (unsigned y = 0; y < m_height / 2; ++y) {
        std::uint32_t* top = pixels->data() + static_cast<std::size_t>(y) * m_width;
        std::uint32_t* bottom = pixels->data() + static_cast<std::size_t>(m_height - 1 - y) * m_width;
        std::memcpy(row.data(), top, m_width * 4);
        std::memcpy(top, bottom, m_width * 4);
        std::memcpy(bottom, row.data(), m_width * 4);
    }
    for (std::uint32_t& p : *pixels)
        p |= 0xFF000000u;
}

unsigned CGLRenderer::CreateTexture(unsigned width, unsigned height, unsigned levels)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, name);
    levels = std::max(levels, 1u);
    glTexStorage2D(GL_TEXTURE_2D, static_cast<GLsizei>(levels), GL_RGBA8, static_cast<GLsizei>(width),
                   static_cast<GLsizei>(height));
    if (levels == 1) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    } else {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        if (Anisotropic())
            glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY, m_maxAnisotropy);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(levels - 1));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    return name;
}

void CGLRenderer::UploadTextureRows(unsigned name, unsigned level, const std::uint32_t* texels, unsigned width,
                                    unsigned firstRow, unsigned rows)
{
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexSubImage2D(GL_TEXTURE_2D, static_cast<GLint>(level), 0, static_cast<GLint>(firstRow), static_cast<GLsizei>(width),
                    static_cast<GLsizei>(rows), GL_BGRA, GL_UNSIGNED_BYTE,
                    texels + static_cast<std::size_t>(firstRow) * width);
}

void CGLRenderer::SetBaseLevel(unsigned name, unsigned level)
{
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, static_cast<GLint>(level));
}

void CGLRenderer::DeleteTexture(unsigned name)
{
    GLuint n = name;
    glDeleteTextures(1, &n);
}

unsigned CGLRenderer::CreateBuffer()
{
    GLuint name = 0;
    glGenBuffers(1, &name);
    return name;
}

void CGLRenderer::UploadBuffer(unsigned name, const void* data, std::size_t bytes)
{
    glBindBuffer(GL_ARRAY_BUFFER, name);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes), data, GL_STREAM_DRAW);
}

void CGLRenderer::DeleteBuffer(unsigned name)
{
    GLuint n = name;
    glDeleteBuffers(1, &n);
}
