#include "render/gl/CGLRenderer.h"

#include <algorithm>
#include <cstring>

#include <glm/gtc/type_ptr.hpp>

#include "render/gl/GLApi.h"
#include "render/gl/IContextProvider.h"

namespace {

// The fixed-function vertex stage: directional light 0, the ambient render
// state and the material, evaluated per vertex (Gouraud). A vertex that
// carries a colour but no normal (the axis lines) keeps its own colour.
// Depth comes in the 0..1 range of the left-handed projections and is mapped
// to OpenGL's -1..1 clip range here.
const char* const kSceneVertexShader = R"(#version 330 core
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
void main()
{
    vec4 clip = uWorldViewProj * vec4(aPosition, 1.0);
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
    vec3 colour = uMaterialEmissive.rgb + uMaterialAmbient.rgb * uAmbient.rgb
                + diffuse.rgb * uLightDiffuse.rgb * lambert;
    vColour = vec4(clamp(colour, 0.0, 1.0), diffuse.a);
}
)";

// Texture stage 0: texel colour times the lit colour, texel alpha.
const char* const kSceneFragmentShader = R"(#version 330 core
in vec4 vColour;
in vec2 vTexCoord;
uniform bool uHasTexture;
uniform sampler2D uTexture;
out vec4 fragColour;
void main()
{
    if (uHasTexture) {
        vec4 texel = texture(uTexture, vTexCoord);
        fragColour = vec4(vColour.rgb * texel.rgb, texel.a);
    } else {
        fragColour = vColour;
    }
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

GLuint CompileShader(GLenum type, const char* source)
{
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint LinkProgram(const char* vertexSource, const char* fragmentSource)
{
    GLuint vertex = CompileShader(GL_VERTEX_SHADER, vertexSource);
    GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, fragmentSource);
    GLuint program = 0;
    if (vertex != 0 && fragment != 0) {
        program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glLinkProgram(program);
        GLint ok = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok != GL_TRUE) {
            glDeleteProgram(program);
            program = 0;
        }
    }
    if (vertex != 0)
        glDeleteShader(vertex);
    if (fragment != 0)
        glDeleteShader(fragment);
    return program;
}

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

} // namespace

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
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        Destroy();
        return false;
    }

    m_sceneProgram = LinkProgram(kSceneVertexShader, kSceneFragmentShader);
    m_imageProgram = LinkProgram(kImageVertexShader, kImageFragmentShader);
    if (m_sceneProgram == 0 || m_imageProgram == 0) {
        Destroy();
        return false;
    }
    auto scene = [this](const char* name) { return glGetUniformLocation(m_sceneProgram, name); };
    m_uWorldViewProj = scene("uWorldViewProj");
    m_uWorld = scene("uWorld");
    m_uLighting = scene("uLighting");
    m_uHasNormal = scene("uHasNormal");
    m_uHasColour = scene("uHasColour");
    m_uLightOn = scene("uLightOn");
    m_uLightDirection = scene("uLightDirection");
    m_uLightDiffuse = scene("uLightDiffuse");
    m_uMaterialDiffuse = scene("uMaterialDiffuse");
    m_uMaterialAmbient = scene("uMaterialAmbient");
    m_uMaterialEmissive = scene("uMaterialEmissive");
    m_uAmbient = scene("uAmbient");
    m_uHasTexture = scene("uHasTexture");
    m_uSceneSampler = scene("uTexture");
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
    m_sceneProgram = m_imageProgram = m_streamBuffer = m_vertexArray = 0;
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
    glUseProgram(m_sceneProgram);
    glUniformMatrix4fv(m_uWorldViewProj, 1, GL_FALSE, glm::value_ptr(state.worldViewProj));
    glUniformMatrix4fv(m_uWorld, 1, GL_FALSE, glm::value_ptr(state.world));
    glUniform1i(m_uLighting, state.lighting ? 1 : 0);
    glUniform1i(m_uHasNormal, (state.fvf & D3DFVF_NORMAL) ? 1 : 0);
    glUniform1i(m_uHasColour, (state.fvf & D3DFVF_DIFFUSE) ? 1 : 0);
    glUniform1i(m_uLightOn, state.lightOn ? 1 : 0);
    glUniform3fv(m_uLightDirection, 1, glm::value_ptr(state.lightDirection));
    glUniform4fv(m_uLightDiffuse, 1, glm::value_ptr(state.lightDiffuse));
    glUniform4fv(m_uMaterialDiffuse, 1, glm::value_ptr(state.materialDiffuse));
    glUniform4fv(m_uMaterialAmbient, 1, glm::value_ptr(state.materialAmbient));
    glUniform4fv(m_uMaterialEmissive, 1, glm::value_ptr(state.materialEmissive));
    glUniform4fv(m_uAmbient, 1, glm::value_ptr(state.ambient));
    const bool textured = state.texture != 0 && (state.fvf & D3DFVF_TEX1) != 0;
    glUniform1i(m_uHasTexture, textured ? 1 : 0);
    glUniform1i(m_uSceneSampler, 0);
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

unsigned CGLRenderer::CreateTexture(unsigned width, unsigned height)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, name);
    // Level 0 only; no mip chain is ever sampled. Allocated with the layout
    // the texels come in (B, G, R, A bytes), so that the driver can pick a
    // matching storage and the slices are plain copies.
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA8, static_cast<GLsizei>(width), static_cast<GLsizei>(height));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    return name;
}

void CGLRenderer::UploadTextureRows(unsigned name, const std::uint32_t* texels, unsigned width, unsigned firstRow,
                                    unsigned rows)
{
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, static_cast<GLint>(firstRow), static_cast<GLsizei>(width),
                    static_cast<GLsizei>(rows), GL_BGRA, GL_UNSIGNED_BYTE,
                    texels + static_cast<std::size_t>(firstRow) * width);
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
