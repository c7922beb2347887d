#include "render/gl/CGLVertexBuffer.h"

#include "render/gl/CGLDevice.h"

CGLVertexBuffer::CGLVertexBuffer(CGLDevice* device, std::unique_ptr<std::uint8_t[], void (*)(void*)> data,
                                 std::size_t length)
    : m_device(device), m_data(std::move(data)), m_length(length)
{
}

int CGLVertexBuffer::Lock(void** data)
{
    if (data == nullptr)
        return -1;
    *data = nullptr;
    if (m_device != nullptr)
        return m_device->LockBuffer(this, data);
    if (m_locked)
        return -1;
    m_locked = true;
    *data = m_data.get();
    return 0;
}

int CGLVertexBuffer::Unlock()
{
    if (m_device != nullptr)
        return m_device->UnlockBuffer(this);
    if (!m_locked)
        return -1;
    m_locked = false;
    return 0;
}

void CGLVertexBuffer::Release()
{
    if (m_device != nullptr)
        m_device->ReleaseBuffer(this);
    else
        delete this;
}
