#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

#include "render/D3DTypes.h"
#include "render/DetailSet.h"

class IContextProvider;

// Everything the fixed-function pipeline needs for one draw, copied from the
// device's state.
struct GLDrawState {
    glm::mat4 worldViewProj{1.0f};
    glm::mat4 world{1.0f};
    bool lighting = true;
    bool lightOn = false;
    glm::vec3 lightDirection{0.0f, 0.0f, 1.0f};
    glm::vec4 lightDiffuse{0.0f};
    glm::vec4 materialDiffuse{0.0f};
    glm::vec4 materialAmbient{0.0f};
    glm::vec4 materialEmissive{0.0f};
    glm::vec4 ambient{0.0f}; // the ambient render state as a colour
    bool wireframe = false;
    std::uint32_t cullMode = 1; // D3DCULL_NONE, _CW or _CCW
    std::uint32_t fvf = 0;
    unsigned stride = 0;
    unsigned texture = 0; // GL texture name, 0 for none
    // The enhanced look: hemisphere ambient and distance fog.
    bool enhanced = false;
    glm::vec3 eye{0.0f};       // world position of the camera
    glm::vec4 fogWindow{0.0f}; // world x0, z0, x1, z1 of the landscape's window
    float fogEnd = 0.0f;       // the fog is whole by this ground distance at the latest
    unsigned lightMap = 0;     // GL texture name of the light map, 0 for none (per-vertex light)
    // Half a window sample in texture coordinates (0.5 / the page texture's
    // width and height): the light map is read at the middle of the sample
    // whatever its own resolution.
    glm::vec2 lightMapOffset{0.0f};
};

// The colours of the enhanced look, linear 0..1.
struct LookColours {
    static constexpr glm::vec3 kHorizon{0.80f, 0.85f, 0.90f};
    static constexpr glm::vec3 kZenith{0.27f, 0.47f, 0.80f};
    static constexpr glm::vec3 kSkyAmbient{0.85f, 0.90f, 1.00f};
    static constexpr glm::vec3 kGroundAmbient{0.45f, 0.40f, 0.35f};
};

// The aerial perspective of the enhanced look: haze of density kDensity per
// world unit at height 0, falling to 1/e every kHeight units of height.
// Along a ray from the eye at height h0 to a point at h1, d units long, the
// haze is 1 - exp(-kDensity x d x m), m the mean of exp(-h / kHeight) along
// it (heights below 0 count as 0 at the eye).
struct LookHaze {
    static constexpr float kDensity = 0.00035f;
    static constexpr float kHeight = 250.0f;
};

// The OpenGL side of CGLDevice: shaders standing in for the fixed-function
// pipeline, the off-screen target (colour and a 24-bit depth buffer), and the
// uploads. Every member runs on the render thread with the context current;
// nothing here locks.
class CGLRenderer {
public:
    CGLRenderer() = default;
    CGLRenderer(const CGLRenderer&) = delete;
    CGLRenderer& operator=(const CGLRenderer&) = delete;

    // Builds the target of width x height, the programs and the vertex array.
    // False when any of it fails (the device then draws nothing); what
    // failed, with the driver's log for a shader, is on standard error.
    bool Init(unsigned width, unsigned height);
    // Deletes every GL object made here.
    void Destroy();
    bool Ready() const { return m_ready; }
    int MaxTextureSize() const { return m_maxTextureSize; }

    // Whether textures with mip levels are sampled anisotropically (the
    // driver offers the filter and is not a software rasteriser).
    bool Anisotropic() const { return m_maxAnisotropy > 1.0f; }

    // The enhanced look's sky over the whole target, seen through the
    // inverse of view x projection from `eye`; depth is left alone.
    void DrawSky(const glm::mat4& inverseViewProj, const glm::vec3& eye);
    // Clears the whole target, or the given rectangles (top-left origin).
    void Clear(unsigned rectCount, const RECT* rects, bool colour, bool depth, D3DCOLOR color, float z);
    // Draws vertexCount vertices from `buffer` starting at firstVertex, or,
    // with buffer 0, from `userData` (vertexCount x stride bytes).
    void Draw(const GLDrawState& state, D3DPRIMITIVETYPE type, unsigned buffer, const void* userData,
              unsigned firstVertex, unsigned vertexCount);
    // Blends a premultiplied 0xAARRGGBB image (rows top first) at pixel
    // (x, y) of the target, top-left origin, solid fill, no depth.
    void DrawImage(const std::uint32_t* pixels, int width, int height, int x, int y);
    // Copies the frame to the provider's screen, if any, and shows it; a
    // headless frame is finished instead.
    void Present(IContextProvider& provider);
    // The frame as 0xFFRRGGBB, rows top first.
    void ReadBack(std::vector<std::uint32_t>* pixels);

    // `levels` 1: point sampling from level 0. More (the full chain):
    // trilinear sampling, anisotropic where the driver offers it.
    unsigned CreateTexture(unsigned width, unsigned height, unsigned levels);
    void UploadTextureRows(unsigned name, unsigned level, const std::uint32_t* texels, unsigned width,
                           unsigned firstRow, unsigned rows);
    // The finest level sampled from (GL_TEXTURE_BASE_LEVEL).
    void SetBaseLevel(unsigned name, unsigned level);
    void DeleteTexture(unsigned name);
    // The ground detail of the enhanced look: the tiles as one mip-mapped
    // array texture, the two heaviest bands of each level as a small table
    // texture. Replaces any detail set before.
    void SetDetail(const DetailSet& detail);
    unsigned CreateBuffer();
    void UploadBuffer(unsigned name, const void* data, std::size_t bytes);
    void DeleteBuffer(unsigned name);

private:
    void BindTarget();

    bool m_ready = false;
    unsigned m_width = 0;
    unsigned m_height = 0;
    int m_maxTextureSize = 0;
    unsigned m_framebuffer = 0;
    unsigned m_colourBuffer = 0;
    unsigned m_depthBuffer = 0;
    unsigned m_vertexArray = 0;
    unsigned m_streamBuffer = 0; // vertices drawn from user memory
    unsigned m_sceneProgram = 0;
    unsigned m_enhancedProgram = 0; // the scene program with ENHANCED defined
    unsigned m_skyProgram = 0;
    unsigned m_imageProgram = 0;
    float m_maxAnisotropy = 1.0f;
    unsigned m_detailTiles = 0;   // GL_TEXTURE_2D_ARRAY, one layer per slot; 0: no detail
    unsigned m_detailWeights = 0; // 256 x 1 table: per level the two heaviest slots / 4, the second's share
    float m_detailLevelScale = 2.5f;
    float m_detailLevelBase = 0.0f;
    int m_detailRockSlot = -1;
    unsigned m_detailTileSize = 0;
    glm::vec3 m_detailMeans[DetailSet::kSlots]; // mean colour of each tile, 0..1
    // Images are uploaded into a ring of textures: rewriting a texture that
    // a queued draw of the same frame still reads would make the rasteriser
    // finish the whole frame first.
    static constexpr int kImageTextures = 16;
    struct ImageTexture {
        unsigned name = 0;
        int width = 0;
        int height = 0;
    };
    ImageTexture m_imageTextures[kImageTextures];
    int m_nextImageTexture = 0;
    // Uniform locations of a scene program (the enhanced-only ones are -1
    // in the classic program).
    struct SceneUniforms {
        int worldViewProj = -1, world = -1, lighting = -1, hasNormal = -1, hasColour = -1, lightOn = -1,
            lightDirection = -1, lightDiffuse = -1, materialDiffuse = -1, materialAmbient = -1,
            materialEmissive = -1, ambient = -1, hasTexture = -1, sampler = -1;
        int skyAmbient = -1, groundAmbient = -1, eye = -1, fogWindow = -1, fogEnd = -1, horizon = -1,
            hasLightMap = -1, lightMap = -1, lightMapOffset = -1, haze = -1, hasDetail = -1, detailTiles = -1,
            detailWeights = -1, levelScale = -1, levelBase = -1, rockSlot = -1, tileSize = -1, tileMeans = -1;
    };
    static SceneUniforms Locate(unsigned program);
    SceneUniforms m_classicUniforms;
    SceneUniforms m_enhancedUniforms;
    int m_uSkyInverse = -1, m_uSkyEye = -1, m_uSkyHorizon = -1, m_uSkyZenith = -1;
    int m_uImageRect = -1, m_uImageTarget = -1, m_uImageSampler = -1;
};
