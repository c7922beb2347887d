#pragma once
#include <cstddef>
#include <memory>

#include "render/IVertexBuffer.h"

class CRecordingDevice;

// Vertex buffer of CRecordingDevice: real CPU memory, so that what is written
// through Lock can be read back by tests. Calls are serialised and recorded
// by the device.
class CRecordingVertexBuffer final : public IVertexBuffer {
public:
    CRecordingVertexBuffer(CRecordingDevice* device, std::size_t length);
    int Lock(void** data) override;
    int Unlock() override;
    void Release() override;
    std::size_t Length() const override { return m_length; }
    // The contents as last written through Lock (uninitialised before).
    const std::byte* Data() const { return m_data.get(); }

private:
    ~CRecordingVertexBuffer() override = default;
    CRecordingDevice* m_device;
    std::size_t m_length;
    std::unique_ptr<std::byte[]> m_data;
};
