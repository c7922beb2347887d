#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include <glm/glm.hpp>

#include "render/D3DTypes.h"

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
    // False when any of it fails (the device then draws nothing).
    bool Init(unsigned width, unsigned height);
    // Deletes every GL object made here.
    void Destroy();
    bool Ready() const { return m_ready; }
    int MaxTextureSize() const { return m_maxTextureSize; }

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

    unsigned CreateTexture(unsigned width, unsigned height);
    void UploadTextureRows(unsigned name, const std::uint32_t* texels, unsigned width, unsigned firstRow,
                           unsigned rows);
    void DeleteTexture(unsigned name);
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
    unsigned m_imageProgram = 0;
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
    // Uniform locations of the scene program.
    int m_uWorldViewProj = -1, m_uWorld = -1, m_uLighting = -1, m_uHasNormal = -1, m_uHasColour = -1,
        m_uLightOn = -1, m_uLightDirection = -1, m_uLightDiffuse = -1, m_uMaterialDiffuse = -1,
        m_uMaterialAmbient = -1, m_uMaterialEmissive = -1, m_uAmbient = -1, m_uHasTexture = -1,
        m_uSceneSampler = -1;
    int m_uImageRect = -1, m_uImageTarget = -1, m_uImageSampler = -1;
};
