#include "render/gl/CGLRenderer.h"

#include <algorithm>
#include <cmath>
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
out vec4 vDiffuse;
#endif
void main()
{
    vec4 clip = uWorldViewProj * vec4(aPosition, 1.0);
#ifdef ENHANCED
    vWorld = (uWorld * vec4(aPosition, 1.0)).xyz;
    vDiffuse = uHasColour ? aColour : uMaterialDiffuse;
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

// Texture stage 0: texel colour times the lit colour, texel alpha.
//
// The enhanced program lights a textured pixel from the light map in stage
// 1 when there is one (uHasLightMap): the normal of the ground under the
// pixel (red, green: x and z; y the positive root), the sunlight its
// shadow leaves (blue) on the diffuse term and the sky it sees (alpha) on
// the hemisphere ambient; the map covers the window as the page texture
// does (at half its resolution) and is read half a sample on
// (uLightMapOffset), so that the vertex at sample i meets the texel made
// from samples i and i + 1 at their middle. Near the eye the ground detail (uHasDetail)
// adds the tiles' fine grain to the page texture's colour, fading out with
// distance. It then fades the colour into the horizon
// colour by the larger of two terms: the aerial perspective, the haze a ray
// from the eye gathers through air whose density falls off exponentially
// with height (far ground grows paler, low ground faster than high ground),
// and the fog of the window's edge, whole at uFogEnd or, nearer, at 95 % of
// the way to the edge of the window rectangle uFogWindow (x0, z0, x1, z1)
// in that direction, starting at 80 % of its end.
const char* const kSceneFragmentShader = R"(
in vec4 vColour;
in vec2 vTexCoord;
uniform bool uHasTexture;
uniform sampler2D uTexture;
out vec4 fragColour;
#ifdef ENHANCED
in vec3 vWorld;
in vec4 vDiffuse;
uniform vec3 uEye;
uniform vec4 uFogWindow;
uniform float uFogEnd;
uniform vec3 uHorizon;
uniform bool uHasLightMap;
uniform sampler2D uLightMap;
uniform vec2 uLightMapOffset;
uniform bool uLightOn;
uniform vec3 uLightDirection;
uniform vec4 uLightDiffuse;
uniform vec4 uMaterialAmbient;
uniform vec4 uMaterialEmissive;
uniform vec3 uSkyAmbient;
uniform vec3 uGroundAmbient;
uniform bool uHasDetail;
uniform sampler2DArray uDetailTiles;
uniform sampler2D uDetailWeights;
uniform float uLevelScale;
uniform float uLevelBase;
uniform int uRockSlot;
uniform float uTileSize;
uniform vec3 uTileMeans[5];
// Ground detail: the tiles' departure from their mean colour, added to the
// page texture's colour kDetailGain-fold; whole up to kDetailNear world
// units from the eye, gone by kDetailFar. Sampled kDetailFine texels per
// world unit on a grid turned by about 37 degrees, so that its repetition
// never lines up with the page texture's texels.
const float kDetailNear = 150.0;
const float kDetailFar = 250.0;
const float kDetailFine = 3.0;
const float kDetailGain = 2.0;
const mat2 kDetailTurn = mat2(0.8, 0.6, -0.6, 0.8);
// Haze density at height 0 per world unit, the height over which it falls
// to 1/e (LookHaze), and the density at the eye's height over that at 0.
uniform vec3 uHaze;
// The haze a ray from the eye gathers on its way to `world`.
float Haze(vec3 world)
{
    vec3 ray = world - uEye;
    float rise = ray.y / uHaze.y;
    // Mean density along the ray over the density at height 0.
    float mean = abs(rise) > 1e-4 ? uHaze.z * (1.0 - exp(-rise)) / rise : uHaze.z;
    return 1.0 - exp(-uHaze.x * length(ray) * mean);
}
vec3 PixelLight(vec4 map, vec3 normal)
{
    float lambert = uLightOn ? max(dot(normal, -uLightDirection), 0.0) * map.b : 0.0;
    vec3 ambient = mix(uGroundAmbient, uSkyAmbient, 0.5 + 0.5 * normal.y) * map.a;
    return clamp(uMaterialEmissive.rgb + uMaterialAmbient.rgb * ambient + vDiffuse.rgb * uLightDiffuse.rgb * lambert,
                 0.0, 1.0);
}
// The tiles at the pixel less their means, weighted as the soft painting
// weights them: the two bands of the pixel's height (uDetailWeights, one
// texel per level: the two slots over 4 and the second one's weight) or,
// on slopes steeper than about 30 degrees, the heavier band and the rock
// tile. Two samples, as the software rasterisers pay for each one on every
// pixel whatever the branches.
vec3 Detail(vec3 normal)
{
    vec3 bands = texture(uDetailWeights, vec2((clamp((vWorld.y - uLevelBase) / uLevelScale, 0.0, 255.0) + 0.5) / 256.0, 0.5)).rgb;
    int first = int(bands.r * 4.0 + 0.5);
    int second = int(bands.g * 4.0 + 0.5);
    float share = bands.b;
    float rise = length(normal.xz) / max(normal.y, 0.05);
    float cover = uRockSlot >= 0 ? smoothstep(0.45, 0.9, rise) : 0.0;
    if (cover > share) {
        second = uRockSlot;
        share = cover;
    }
    vec2 at = kDetailTurn * vWorld.xz * (kDetailFine / uTileSize);
    return mix(texture(uDetailTiles, vec3(at, first), -0.5).rgb - uTileMeans[first],
               texture(uDetailTiles, vec3(at, second), -0.5).rgb - uTileMeans[second], share);
}
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
#ifdef ENHANCED
        vec3 lit = vColour.rgb;
        if (uHasLightMap) {
            vec4 map = texture(uLightMap, vTexCoord + uLightMapOffset);
            vec2 xz = map.rg * 2.0 - 1.0;
            vec3 normal = vec3(xz.x, sqrt(max(1.0 - dot(xz, xz), 0.0)), xz.y);
            lit = PixelLight(map, normal);
            float near = uHasDetail ? 1.0 - smoothstep(kDetailNear, kDetailFar, length(vWorld - uEye)) : 0.0;
            if (near > 0.0)
                texel.rgb = clamp(texel.rgb + near * kDetailGain * Detail(normal), 0.0, 1.0);
        }
        fragColour = vec4(lit * texel.rgb, texel.a);
#else
        fragColour = vec4(vColour.rgb * texel.rgb, texel.a);
#endif
    } else {
        fragColour = vColour;
    }
#ifdef ENHANCED
    vec2 ground = vWorld.xz - uEye.xz;
    float distance = length(ground);
    float end = distance > 0.0 ? FogEnd(ground / distance) : uFogEnd;
    float fog = max(smoothstep(0.8 * end, end, distance), Haze(vWorld));
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
    u.hasLightMap = at("uHasLightMap");
    u.lightMap = at("uLightMap");
    u.lightMapOffset = at("uLightMapOffset");
    u.haze = at("uHaze");
    u.hasDetail = at("uHasDetail");
    u.detailTiles = at("uDetailTiles");
    u.detailWeights = at("uDetailWeights");
    u.levelScale = at("uLevelScale");
    u.levelBase = at("uLevelBase");
    u.rockSlot = at("uRockSlot");
    u.tileSize = at("uTileSize");
    u.tileMeans = at("uTileMeans");
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
    if (m_detailTiles != 0)
        glDeleteTextures(1, &m_detailTiles);
    if (m_detailWeights != 0)
        glDeleteTextures(1, &m_detailWeights);
    m_detailTiles = m_detailWeights = 0;
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
        const bool lightMap = textured && state.lightMap != 0 && (state.fvf & D3DFVF_NORMAL) != 0;
        glUniform1i(u.hasLightMap, lightMap ? 1 : 0);
        glUniform1i(u.lightMap, 1);
        glUniform2fv(u.lightMapOffset, 1, glm::value_ptr(state.lightMapOffset));
        glUniform3f(u.haze, LookHaze::kDensity, LookHaze::kHeight,
                    std::exp(-std::max(state.eye.y, 0.0f) / LookHaze::kHeight));
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, lightMap ? state.lightMap : 0);
        // Light changes slowly across mip levels: one level, filtered
        // within it, is enough and halves what the sample costs.
        if (lightMap)
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
        const bool detail = lightMap && m_detailTiles != 0;
        glUniform1i(u.hasDetail, detail ? 1 : 0);
        glUniform1i(u.detailTiles, 2);
        glUniform1i(u.detailWeights, 3);
        glUniform1f(u.levelScale, m_detailLevelScale);
        glUniform1f(u.levelBase, m_detailLevelBase);
        glUniform1i(u.rockSlot, m_detailRockSlot);
        glUniform1f(u.tileSize, static_cast<float>(std::max(m_detailTileSize, 1u)));
        glUniform3fv(u.tileMeans, DetailSet::kSlots, glm::value_ptr(m_detailMeans[0]));
        glActiveTexture(GL_TEXTURE2);
        glBindTexture(GL_TEXTURE_2D_ARRAY, detail ? m_detailTiles : 0);
        glActiveTexture(GL_TEXTURE3);
        glBindTexture(GL_TEXTURE_2D, detail ? m_detailWeights : 0);
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

void CGLRenderer::SetDetail(const DetailSet& detail)
{
    if (m_detailTiles != 0)
        glDeleteTextures(1, &m_detailTiles);
    if (m_detailWeights != 0)
        glDeleteTextures(1, &m_detailWeights);
    m_detailTiles = m_detailWeights = 0;
    if (detail.Empty())
        return;
    const auto size = static_cast<GLsizei>(detail.tileSize);
    GLsizei levels = 1;
    while ((size >> levels) > 0)
        ++levels;
    glGenTextures(1, &m_detailTiles);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D_ARRAY, m_detailTiles);
    glTexStorage3D(GL_TEXTURE_2D_ARRAY, levels, GL_RGBA8, size, size, DetailSet::kSlots);
    const std::vector<std::uint32_t> blank(static_cast<std::size_t>(size) * static_cast<std::size_t>(size), 0xFF000000u);
    for (int slot = 0; slot < DetailSet::kSlots; ++slot) {
        const std::vector<std::uint32_t>& tile = detail.tiles[static_cast<std::size_t>(slot)];
        glTexSubImage3D(GL_TEXTURE_2D_ARRAY, 0, 0, 0, slot, size, size, 1, GL_BGRA, GL_UNSIGNED_BYTE,
                        tile.size() == blank.size() ? tile.data() : blank.data());
    }
    glGenerateMipmap(GL_TEXTURE_2D_ARRAY);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D_ARRAY, GL_TEXTURE_WRAP_T, GL_REPEAT);

    // Per level the two heaviest slots (a level lies in at most two
    // neighbouring bands) and the share of the second.
    std::vector<float> table(static_cast<std::size_t>(DetailSet::kLevels) * 4, 0.0f);
    for (int level = 0; level < DetailSet::kLevels; ++level) {
        const auto& w = detail.weights[static_cast<std::size_t>(level)];
        int first = 0, second = 0;
        for (int slot = 1; slot < DetailSet::kSlots; ++slot)
            if (w[slot] > w[first])
                first = slot;
        second = first == 0 ? 1 : 0;
        for (int slot = 0; slot < DetailSet::kSlots; ++slot)
            if (slot != first && w[slot] > w[second])
                second = slot;
        const float pair = w[first] + w[second];
        float* texel = table.data() + static_cast<std::size_t>(level) * 4;
        texel[0] = static_cast<float>(first) / 4.0f;
        texel[1] = static_cast<float>(second) / 4.0f;
        texel[2] = pair > 0.0f ? w[second] / pair : 0.0f;
    }
    glGenTextures(1, &m_detailWeights);
    glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, m_detailWeights);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, DetailSet::kLevels, 1, 0, GL_RGBA, GL_FLOAT, table.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glActiveTexture(GL_TEXTURE0);
    m_detailLevelScale = detail.levelScale > 0.0f ? detail.levelScale : 2.5f;
    m_detailLevelBase = detail.levelBase;
    m_detailRockSlot = detail.rockSlot;
    m_detailTileSize = detail.tileSize;
    for (int slot = 0; slot < DetailSet::kSlots; ++slot) {
        const std::vector<std::uint32_t>& tile = detail.tiles[static_cast<std::size_t>(slot)];
        glm::dvec3 sum(0.0);
        for (std::uint32_t c : tile)
            sum += glm::dvec3((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
        m_detailMeans[slot] = tile.empty() ? glm::vec3(0.0f) : glm::vec3(sum / (255.0 * static_cast<double>(tile.size())));
    }
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
