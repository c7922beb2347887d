#include "tests/support/CRecordingDevice.h"

#include "tests/support/CRecordingFont.h"
#include "tests/support/CRecordingTexture.h"
#include "tests/support/CRecordingVertexBuffer.h"

CRecordingDevice::CRecordingDevice(unsigned width, unsigned height)
{
    m_viewport.X = 0;
    m_viewport.Y = 0;
    m_viewport.Width = width;
    m_viewport.Height = height;
    m_viewport.MinZ = 0.0f;
    m_viewport.MaxZ = 1.0f;
}

CRecordingDevice::~CRecordingDevice() = default;

bool CRecordingDevice::ConsumeFailure(DeviceOp op)
{
    const auto it = m_failures.find(op);
    if (it == m_failures.end() || it->second == 0) {
        return false;
    }
    if (it->second > 0) {
        --it->second;
    }
    return true;
}

void CRecordingDevice::Record(const DeviceCall& call)
{
    if (m_recording) {
        m_calls.push_back(call);
    }
}

int CRecordingDevice::RecordObjectCall(DeviceCall call)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    }
    Record(call);
    return call.result;
}

void CRecordingDevice::ObjectReleased(const void* object)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_liveObjects;
    // A released object no longer counts as bound.
    if (m_texture == object) {
        m_texture = nullptr;
    }
    if (m_stream == object) {
        m_stream = nullptr;
    }
}

int CRecordingDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DXMATRIX& matrix)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::SetTransform};
    call.args[0] = state;
    call.matrix = matrix;
    if (ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    } else {
        m_transforms[state] = matrix;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DXMATRIX* matrix)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::GetTransform};
    call.args[0] = state;
    if (!matrix || ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    } else {
        const auto it = m_transforms.find(state);
        *matrix = it == m_transforms.end() ? D3DXMATRIX(1.0f) : it->second;
        call.matrix = *matrix;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::GetViewport(D3DVIEWPORT9* viewport)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::GetViewport};
    if (!viewport || ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    } else {
        *viewport = m_viewport;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::SetRenderState(D3DRENDERSTATETYPE state, std::uint32_t value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::SetRenderState};
    call.args[0] = state;
    call.args[1] = value;
    if (ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    } else {
        m_renderStates[state] = value;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::GetRenderState(D3DRENDERSTATETYPE state, std::uint32_t* value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::GetRenderState};
    call.args[0] = state;
    if (!value || ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    } else {
        const auto it = m_renderStates.find(state);
        *value = it == m_renderStates.end() ? 0 : it->second;
        call.args[1] = *value;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::SetLight(unsigned index, const D3DLIGHT9& light)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::SetLight};
    call.args[0] = index;
    call.args[1] = light.Type;
    if (ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::LightEnable(unsigned index, bool enable)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::LightEnable};
    call.args[0] = index;
    call.args[1] = enable ? 1 : 0;
    if (ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    } else {
        m_lightsEnabled[index] = enable;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::SetMaterial(const D3DMATERIAL9& material)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::SetMaterial};
    (void)material;
    if (ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::Clear(unsigned rectCount, const RECT* rects, std::uint32_t flags,
                            D3DCOLOR color, float z, std::uint32_t stencil)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::Clear};
    call.args[0] = rectCount;
    call.args[1] = flags;
    call.args[2] = color;
    call.args[3] = stencil;
    call.object = rects;
    call.matrix = D3DXMATRIX(z);
    if (ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::BeginScene()
{
    return RecordObjectCall(DeviceCall{DeviceOp::BeginScene});
}

int CRecordingDevice::EndScene()
{
    return RecordObjectCall(DeviceCall{DeviceOp::EndScene});
}

int CRecordingDevice::Present()
{
    return RecordObjectCall(DeviceCall{DeviceOp::Present});
}

int CRecordingDevice::CreateVertexBuffer(std::size_t length, std::uint32_t usage, std::uint32_t fvf,
                                         D3DPOOL pool, IVertexBuffer** buffer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::CreateVertexBuffer};
    call.args[0] = static_cast<std::int64_t>(length);
    call.args[1] = usage;
    call.args[2] = fvf;
    call.args[3] = pool;
    if (!buffer || length == 0 || ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
        if (buffer) {
            *buffer = nullptr;
        }
    } else {
        *buffer = new CRecordingVertexBuffer(this, length);
        call.object = *buffer;
        ++m_liveObjects;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::CreateTexture(unsigned width, unsigned height, unsigned levels,
                                    std::uint32_t usage, D3DFORMAT format, D3DPOOL pool,
                                    ITexture** texture)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::CreateTexture};
    call.args[0] = width;
    call.args[1] = height;
    call.args[2] = levels;
    call.args[3] = format;
    (void)usage;
    (void)pool;
    if (!texture || width == 0 || height == 0 || ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
        if (texture) {
            *texture = nullptr;
        }
    } else {
        *texture = new CRecordingTexture(this, width, height);
        call.object = *texture;
        ++m_liveObjects;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::CreateFont(const D3DXFONT_DESC& desc, IFont** font)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::CreateFont};
    call.args[0] = desc.Height;
    call.args[1] = desc.Weight;
    call.text = desc.FaceName;
    if (!font || ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
        if (font) {
            *font = nullptr;
        }
    } else {
        *font = new CRecordingFont(this, desc.Height);
        call.object = *font;
        ++m_liveObjects;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::SetTexture(unsigned stage, ITexture* texture)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::SetTexture};
    call.args[0] = stage;
    call.object = texture;
    if (ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    } else if (stage == 0) {
        m_texture = texture;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::SetStreamSource(unsigned stream, IVertexBuffer* buffer, unsigned offset,
                                      unsigned stride)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::SetStreamSource};
    call.args[0] = stream;
    call.args[1] = offset;
    call.args[2] = stride;
    call.object = buffer;
    if (ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    } else if (stream == 0) {
        m_stream = buffer;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::SetFVF(std::uint32_t fvf)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::SetFVF};
    call.args[0] = fvf;
    if (ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    } else {
        m_fvf = fvf;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::DrawPrimitive(D3DPRIMITIVETYPE type, unsigned startVertex,
                                    unsigned primitiveCount)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::DrawPrimitive};
    call.args[0] = type;
    call.args[1] = startVertex;
    call.args[2] = primitiveCount;
    call.object = m_stream;
    if (!m_stream || ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    }
    Record(call);
    return call.result;
}

int CRecordingDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, unsigned primitiveCount,
                                      const void* data, unsigned stride)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    DeviceCall call{DeviceOp::DrawPrimitiveUP};
    call.args[0] = type;
    call.args[1] = primitiveCount;
    call.args[2] = stride;
    call.object = data;
    if (!data || ConsumeFailure(call.op)) {
        call.result = D3DERR_FAILED;
    }
    Record(call);
    return call.result;
}

void CRecordingDevice::SetFailures(DeviceOp op, int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures[op] = count;
}

void CRecordingDevice::SetRecording(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_recording = on;
}

std::vector<DeviceCall> CRecordingDevice::Calls() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

int CRecordingDevice::CountOf(DeviceOp op) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    int n = 0;
    for (const DeviceCall& call : m_calls) {
        n += call.op == op ? 1 : 0;
    }
    return n;
}

void CRecordingDevice::ClearCalls()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

int CRecordingDevice::LiveObjects() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_liveObjects;
}

ITexture* CRecordingDevice::BoundTexture() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_texture;
}

IVertexBuffer* CRecordingDevice::BoundStream() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stream;
}

std::uint32_t CRecordingDevice::CurrentFVF() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fvf;
}

bool CRecordingDevice::LightEnabled(unsigned index) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_lightsEnabled.find(index);
    return it != m_lightsEnabled.end() && it->second;
}
