#pragma once
// The graphics device: the operations the renderer, the camera and the
// landscape call, with the classic fixed-function values (D3DTypes.h).
//
// Threads: any thread may call any operation; implementations serialise the
// calls, as a multithreaded device does. Drawing operations take effect on the
// thread that owns the drawing surface (the render thread).
// Every operation returns 0 on success and -1 on failure unless noted.
#include <cstddef>
#include <cstdint>

#include "render/D3DTypes.h"
#include "render/D3DXMath.h"
#include "render/DetailSet.h"
#include "render/IFont.h"
#include "render/ITexture.h"
#include "render/IVertexBuffer.h"
#include "render/Look.h"

class IDevice {
public:
    virtual ~IDevice() = default;

    // Transforms start as identity; GetTransform returns the value last set.
    virtual int SetTransform(D3DTRANSFORMSTATETYPE state, const D3DXMATRIX& matrix) = 0;
    virtual int GetTransform(D3DTRANSFORMSTATETYPE state, D3DXMATRIX* matrix) = 0;
    // The viewport covers the whole back buffer: (0, 0, width, height, 0, 1).
    virtual int GetViewport(D3DVIEWPORT9* viewport) = 0;

    virtual int SetRenderState(D3DRENDERSTATETYPE state, std::uint32_t value) = 0;
    virtual int GetRenderState(D3DRENDERSTATETYPE state, std::uint32_t* value) = 0;
    virtual int SetLight(unsigned index, const D3DLIGHT9& light) = 0;
    virtual int LightEnable(unsigned index, bool enable) = 0;
    virtual int SetMaterial(const D3DMATERIAL9& material) = 0;

    // rectCount 0: the whole target. `flags` from D3DCLEAR_*.
    virtual int Clear(unsigned rectCount, const RECT* rects, std::uint32_t flags, D3DCOLOR color,
                      float z, std::uint32_t stencil) = 0;
    virtual int BeginScene() = 0;
    virtual int EndScene() = 0;
    virtual int Present() = 0;

    // On success *buffer receives a new buffer of `length` bytes.
    virtual int CreateVertexBuffer(std::size_t length, std::uint32_t usage, std::uint32_t fvf,
                                   D3DPOOL pool, IVertexBuffer** buffer) = 0;
    // levels 0: the full mip chain. On success *texture has exactly the
    // requested size.
    virtual int CreateTexture(unsigned width, unsigned height, unsigned levels, std::uint32_t usage,
                              D3DFORMAT format, D3DPOOL pool, ITexture** texture) = 0;
    virtual int CreateFont(const D3DXFONT_DESC& desc, IFont** font) = 0;

    // Null unbinds stage 0.
    virtual int SetTexture(unsigned stage, ITexture* texture) = 0;
    virtual int SetStreamSource(unsigned stream, IVertexBuffer* buffer, unsigned offset,
                                unsigned stride) = 0;
    virtual int SetFVF(std::uint32_t fvf) = 0;
    // From the stream source: primitiveCount primitives starting at startVertex.
    virtual int DrawPrimitive(D3DPRIMITIVETYPE type, unsigned startVertex,
                              unsigned primitiveCount) = 0;
    // From user memory, vertices of `stride` bytes in the current format.
    virtual int DrawPrimitiveUP(D3DPRIMITIVETYPE type, unsigned primitiveCount, const void* data,
                                unsigned stride) = 0;

    // The render thread, before it ends: gives up whatever binds the device
    // to the calling thread (a current context), so that another thread may
    // draw next or release the device. Devices bound to no thread do nothing.
    virtual void DetachRenderThread() = 0;

    // The look (Look.h), set before the first texture is created: textures
    // made under Enhanced carry a mip chain. Devices that draw only the
    // classic picture keep Classic and refuse Enhanced with -1.
    virtual int SetLook(Look look) { return look == Look::Classic ? 0 : -1; }
    virtual Look CurrentLook() const { return Look::Classic; }
    // Enhanced look: the ground rectangle, world x0..x1 by z0..z1, of the
    // landscape being drawn; the fog reaches the horizon colour before its
    // edge. Any thread; ignored under Classic.
    virtual void SetFogWindow(float, float, float, float) {}
    // Enhanced look: the ground detail drawn near the camera over textured
    // landscapes that have a light map (DetailSet.h); the device keeps a
    // copy. Any thread. -1 where the device draws no detail (the default).
    virtual int SetDetail(const DetailSet&) { return -1; }
};
