#include "tests/support/CRecordingVertexBuffer.h"

#include "tests/support/CRecordingDevice.h"

CRecordingVertexBuffer::CRecordingVertexBuffer(CRecordingDevice* device, std::size_t length)
    : m_device(device), m_length(length), m_data(new std::byte[length])
{
}

int CRecordingVertexBuffer::Lock(void** data)
{
    DeviceCall call{DeviceOp::VertexBufferLock};
    call.object = this;
    const int result = m_device->RecordObjectCall(call);
    if (data) {
        *data = result == D3D_OK ? m_data.get() : nullptr;
    }
    return data ? result : D3DERR_FAILED;
}

int CRecordingVertexBuffer::Unlock()
{
    DeviceCall call{DeviceOp::VertexBufferUnlock};
    call.object = this;
    return m_device->RecordObjectCall(call);
}

void CRecordingVertexBuffer::Release()
{
    DeviceCall call{DeviceOp::VertexBufferRelease};
    call.object = this;
    m_device->RecordObjectCall(call);
    m_device->ObjectReleased(this);
    delete this;
}
