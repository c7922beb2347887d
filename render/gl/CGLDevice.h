#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "render/IDevice.h"
#include "render/gl/CGLRenderer.h"

class CGLFont;
class CGLTexture;
class CGLVertexBuffer;
class IContextProvider;

// The OpenGL 3.3 core device: the fixed-function behaviour the renderer
// relies on (light 0, ambient, material, texture stage 0 modulating the lit
// colour with point sampling from level 0, solid or wireframe fill, both faces
// drawn), drawn into a back buffer of its own with a 24-bit depth buffer that
// is tested and written.
//
// Depth: every Clear of the target (D3DCLEAR_TARGET) also clears the depth
// buffer, to z, so callers that clear only the target still start each frame
// with a clean depth buffer. D3DCLEAR_ZBUFFER clears depth alone.
//
// Look: under Look::Enhanced a clear of the whole target also draws the sky
// (from the view and projection set at that moment), the landscape is lit
// with a hemisphere ambient term in place of the ambient state and fogged
// into the horizon colour, and textures asked for with the full chain get
// it, sampled trilinearly. A textured draw with a light map in stage 1
// (flight/LightMapTexture.h) is lit per pixel from it instead of per
// vertex: the map's normal, its sunlight on the diffuse term and its open
// sky on the ambient one; near the camera such a draw also shows the ground
// detail (SetDetail), uploaded by the render thread at its next scene. Stage
// 1 takes only that map and is ignored under Classic, which draws exactly
// as described below.
//
// Lighting: vertices with a normal are lit per vertex by directional light 0
// (colour = emissive + material ambient x ambient state + diffuse x light
// diffuse x max(0, N . -direction), clamped). A vertex colour stands for the
// material's diffuse colour; vertices with a colour and no normal (the axis
// lines) keep their own colour unlit. Only light 0 is drawn; other lights are
// kept but have no effect.
//
// Threads: every operation may come from any thread and is serialised by one
// mutex. Only one thread, the render thread, issues GL calls: the first thread
// to call Clear, BeginScene, EndScene, Present, a draw, a font draw or
// ReadBackBuffer becomes it (its context is made current then) until it calls
// DetachRenderThread. Such a call from any other thread does nothing, returns
// -1 and is counted in ForeignThreadCalls(). Creating, locking and filling
// vertex buffers and textures, and every state change (the fill mode
// included), issue no GL calls: the render thread uploads what changed, a
// texture in slices of at most kUploadTexelsPerFrame texels per frame, and
// finishes the upload at once only when a draw needs a level-0-only texture
// that is not complete yet. A texture with mip levels is uploaded from its
// coarsest level up and drawn from the finest complete level meanwhile: a
// draw that needs it copies at most one more slice.
//
// The provider must outlive the device. Release every buffer, texture and
// font before deleting the device; objects left over are cut off from it and
// only free their memory when released.
class CGLDevice final : public IDevice {
public:
    static constexpr std::size_t kUploadTexelsPerFrame = 4096u * 256u;

    // A back buffer of width x height pixels (both at least 1).
    CGLDevice(IContextProvider* provider, unsigned width, unsigned height);
    ~CGLDevice() override;
    CGLDevice(const CGLDevice&) = delete;
    CGLDevice& operator=(const CGLDevice&) = delete;

    int SetTransform(D3DTRANSFORMSTATETYPE state, const D3DXMATRIX& matrix) override;
    int GetTransform(D3DTRANSFORMSTATETYPE state, D3DXMATRIX* matrix) override;
    int GetViewport(D3DVIEWPORT9* viewport) override;
    int SetRenderState(D3DRENDERSTATETYPE state, std::uint32_t value) override;
    int GetRenderState(D3DRENDERSTATETYPE state, std::uint32_t* value) override;
    int SetLight(unsigned index, const D3DLIGHT9& light) override;
    int LightEnable(unsigned index, bool enable) override;
    int SetMaterial(const D3DMATERIAL9& material) override;
    int Clear(unsigned rectCount, const RECT* rects, std::uint32_t flags, D3DCOLOR color, float z,
              std::uint32_t stencil) override;
    int BeginScene() override;
    int EndScene() override;
    int Present() override;
    int CreateVertexBuffer(std::size_t length, std::uint32_t usage, std::uint32_t fvf, D3DPOOL pool,
                           IVertexBuffer** buffer) override;
    int CreateTexture(unsigned width, unsigned height, unsigned levels, std::uint32_t usage, D3DFORMAT format,
                      D3DPOOL pool, ITexture** texture) override;
    int CreateFont(const D3DXFONT_DESC& desc, IFont** font) override;
    int SetTexture(unsigned stage, ITexture* texture) override;
    int SetStreamSource(unsigned stream, IVertexBuffer* buffer, unsigned offset, unsigned stride) override;
    int SetFVF(std::uint32_t fvf) override;
    int DrawPrimitive(D3DPRIMITIVETYPE type, unsigned startVertex, unsigned primitiveCount) override;
    int DrawPrimitiveUP(D3DPRIMITIVETYPE type, unsigned primitiveCount, const void* data,
                        unsigned stride) override;

    // Render thread: the back buffer as 0xFFRRGGBB values, rows top first.
    int ReadBackBuffer(std::vector<std::uint32_t>* pixels);
    // Render thread, before it ends: releases the context so that another
    // thread may become the render thread.
    void DetachRenderThread() override;
    // The look, before any texture is made; both are drawn.
    int SetLook(Look look) override;
    Look CurrentLook() const override;
    void SetFogWindow(float x0, float z0, float x1, float z1) override;
    int SetDetail(const DetailSet& detail) override;
    unsigned Width() const { return m_width; }
    unsigned Height() const { return m_height; }
    unsigned ForeignThreadCalls() const { return m_foreignThreadCalls.load(); }

private:
    friend class CGLFont;
    friend class CGLTexture;
    friend class CGLVertexBuffer;

    // Called by the objects; each takes the device mutex.
    int LockBuffer(CGLVertexBuffer* buffer, void** data);
    int UnlockBuffer(CGLVertexBuffer* buffer);
    void ReleaseBuffer(CGLVertexBuffer* buffer);
    int LockTexture(CGLTexture* texture, unsigned level, D3DLOCKED_RECT* locked);
    int UnlockTexture(CGLTexture* texture, unsigned level);
    void ReleaseTexture(CGLTexture* texture);
    bool TextureArriving(const CGLTexture* texture) const;
    void ReleaseFont(CGLFont* font);
    // Blends a premultiplied image at (x, y) of the back buffer; render
    // thread, inside a scene.
    int DrawImage(const std::uint32_t* pixels, int width, int height, int x, int y);

    // The rest run with m_mutex held.
    bool EnterRenderThread();
    void DeleteDeadObjects();
    void UploadPendingTextures(std::size_t texelBudget);
    // Copies up to about texelBudget texels of `texture` (at least one row),
    // coarsest level first; returns the texels copied.
    std::size_t UploadTexture(CGLTexture* texture, std::size_t texelBudget);
    GLDrawState CurrentDrawState() const;
    int Draw(D3DPRIMITIVETYPE type, unsigned primitiveCount, unsigned buffer, const void* data,
             unsigned firstVertex, unsigned stride);

    mutable std::mutex m_mutex;
    IContextProvider* m_provider;
    const unsigned m_width;
    const unsigned m_height;
    CGLRenderer m_renderer;
    std::thread::id m_renderThread;
    bool m_broken = false;
    bool m_makeCurrentReported = false; // a failed MakeCurrent is on standard error
    bool m_inScene = false;
    std::atomic<unsigned> m_foreignThreadCalls{0};

    D3DXMATRIX m_world{1.0f};
    D3DXMATRIX m_view{1.0f};
    D3DXMATRIX m_projection{1.0f};
    std::unordered_map<int, std::uint32_t> m_renderStates;
    std::unordered_map<unsigned, D3DLIGHT9> m_lights;
    std::unordered_set<unsigned> m_enabledLights;
    D3DMATERIAL9 m_material;
    CGLTexture* m_texture = nullptr;
    CGLTexture* m_lightMap = nullptr; // stage 1: the enhanced look's light map of the textured landscape
    CGLVertexBuffer* m_stream = nullptr;
    unsigned m_streamOffset = 0;
    unsigned m_streamStride = 0;
    std::uint32_t m_fvf = 0;
    Look m_look = Look::Classic;
    glm::vec4 m_fogWindow{0.0f}; // x0, z0, x1, z1; all 0 until a landscape sets it
    DetailSet m_detail;         // the ground detail last set ...
    bool m_detailPending = false; // ... and not yet uploaded by the render thread

    std::unordered_set<CGLVertexBuffer*> m_buffers;
    std::unordered_set<CGLTexture*> m_textures;
    std::unordered_set<CGLFont*> m_fonts;
    struct DeadTexture {
        unsigned name, width, height, levels;
    };
    std::vector<unsigned> m_deadBuffers; // GL names left for the render thread to delete
    std::vector<DeadTexture> m_deadTextures;
    // The storage of the last released textures, kept for the next textures
    // of their shape: allocating a 4096 x 4096 texture costs a frame tens of
    // milliseconds, and paging replaces a landscape's textures (its page
    // texture and, under the enhanced look, its light map) by others of the
    // same shape. At most kSpareTextures, the oldest deleted first.
    static constexpr std::size_t kSpareTextures = 2;
    std::vector<DeadTexture> m_spareTextures;
    // Keeps `dead` as a spare, deleting the oldest spare beyond the limit.
    void KeepSpare(const DeadTexture& dead);
};
