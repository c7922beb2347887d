#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "render/IVertexBuffer.h"

class CGLDevice;

// A vertex buffer kept in system memory. Lock hands out the whole CPU block;
// the render thread copies the part a draw uses into its GL buffer when the
// contents changed since the last copy, so a 96 MB buffer of which a frame
// uses a few MB costs only those few MB.
//
// Threads: any thread may Lock, Unlock and Release (the device serialises
// them); only the device's render thread touches the GL side.
class CGLVertexBuffer final : public IVertexBuffer {
public:
    // `data` holds `length` zeroed bytes.
    CGLVertexBuffer(CGLDevice* device, std::unique_ptr<std::uint8_t[], void (*)(void*)> data,
                    std::size_t length);

    int Lock(void** data) override;
    int Unlock() override;
    void Release() override;
    std::size_t Length() const override { return m_length; }

private:
    friend class CGLDevice;
    ~CGLVertexBuffer() override = default;

    CGLDevice* m_device;                                    // null once the device is gone
    std::unique_ptr<std::uint8_t[], void (*)(void*)> m_data; // the CPU copy, m_length bytes
    std::size_t m_length;
    // Device-guarded state.
    bool m_locked = false;
    std::uint64_t m_generation = 1;    // raised by every Unlock
    unsigned m_glName = 0;             // render thread's buffer object, 0 until first draw
    std::uint64_t m_uploadedGeneration = 0;
    std::size_t m_uploadedBytes = 0;   // prefix of m_data that the GL buffer mirrors
};
