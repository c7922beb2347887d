#pragma once
// A device that draws nothing: it keeps the transforms, render states and
// bindings it is given, records every call with its arguments and can be told
// to fail chosen operations. Tests read the record; benchmarks switch the
// record off and keep only the state.
//
// Threads: every operation, on the device and on the buffers, textures and
// fonts it creates, is serialised by one mutex. The device must outlive the
// objects it created.
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "render/IDevice.h"

enum class DeviceOp {
    SetTransform,
    GetTransform,
    GetViewport,
    SetRenderState,
    GetRenderState,
    SetLight,
    LightEnable,
    SetMaterial,
    Clear,
    BeginScene,
    EndScene,
    Present,
    CreateVertexBuffer,
    CreateTexture,
    CreateFont,
    SetTexture,
    SetStreamSource,
    SetFVF,
    DrawPrimitive,
    DrawPrimitiveUP,
    VertexBufferLock,
    VertexBufferUnlock,
    VertexBufferRelease,
    TextureLock,
    TextureUnlock,
    TextureRelease,
    FontDrawText,
    FontRelease,
};

// One recorded call. `args` holds the integer arguments in the order of the
// call's signature (ids, counts, flags, sizes); `object` the buffer, texture
// or font the call was made on or with; `matrix` the matrix of SetTransform
// and the value returned by GetTransform; `text` the text of DrawTextA.
struct DeviceCall {
    explicit DeviceCall(DeviceOp operation) : op(operation) {}
    DeviceOp op;
    int result = 0;
    std::int64_t args[4] = {0, 0, 0, 0};
    const void* object = nullptr;
    D3DXMATRIX matrix{1.0f};
    std::string text;
};

class CRecordingDevice final : public IDevice {
public:
    CRecordingDevice(unsigned width, unsigned height);
    ~CRecordingDevice() override;
    CRecordingDevice(const CRecordingDevice&) = delete;
    CRecordingDevice& operator=(const CRecordingDevice&) = delete;

    // --- IDevice
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
    int CreateTexture(unsigned width, unsigned height, unsigned levels, std::uint32_t usage,
                      D3DFORMAT format, D3DPOOL pool, ITexture** texture) override;
    int CreateFont(const D3DXFONT_DESC& desc, IFont** font) override;
    int SetTexture(unsigned stage, ITexture* texture) override;
    int SetStreamSource(unsigned stream, IVertexBuffer* buffer, unsigned offset,
                        unsigned stride) override;
    int SetFVF(std::uint32_t fvf) override;
    int DrawPrimitive(D3DPRIMITIVETYPE type, unsigned startVertex,
                      unsigned primitiveCount) override;
    int DrawPrimitiveUP(D3DPRIMITIVETYPE type, unsigned primitiveCount, const void* data,
                        unsigned stride) override;
    // Binds to no thread: nothing to give up.
    void DetachRenderThread() override {}
    // Takes either look, so that what a landscape does under each can be
    // watched; draws nothing either way.
    int SetLook(Look look) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_look = look;
        return 0;
    }
    Look CurrentLook() const override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_look;
    }

    // --- Control and inspection (any thread)
    // The next `count` calls of `op` fail (return -1, create nothing);
    // a negative count makes every call fail until the next SetFailures.
    void SetFailures(DeviceOp op, int count);
    // Off: calls are no longer recorded; state is still kept.
    void SetRecording(bool on);
    std::vector<DeviceCall> Calls() const;
    int CountOf(DeviceOp op) const;
    void ClearCalls();
    // Buffers, textures and fonts created and not yet released.
    int LiveObjects() const;
    ITexture* BoundTexture() const;
    IVertexBuffer* BoundStream() const;
    std::uint32_t CurrentFVF() const;
    bool LightEnabled(unsigned index) const;

    // Used by the created objects: records `call` (with the failure rule of
    // its op applied first) and returns the result it was given.
    int RecordObjectCall(DeviceCall call);
    void ObjectReleased(const void* object);

private:
    // Caller holds m_mutex. True when this call of `op` must fail.
    bool ConsumeFailure(DeviceOp op);
    void Record(const DeviceCall& call);

    mutable std::mutex m_mutex;
    D3DVIEWPORT9 m_viewport;
    std::map<int, D3DXMATRIX> m_transforms;
    std::map<int, std::uint32_t> m_renderStates;
    std::map<unsigned, bool> m_lightsEnabled;
    std::map<DeviceOp, int> m_failures;
    std::vector<DeviceCall> m_calls;
    bool m_recording = true;
    int m_liveObjects = 0;
    ITexture* m_texture = nullptr;
    IVertexBuffer* m_stream = nullptr;
    std::uint32_t m_fvf = 0;
    Look m_look = Look::Classic;
};
