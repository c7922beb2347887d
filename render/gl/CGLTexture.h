#pragma once
#include <cstdint>
#include <memory>

#include "render/ITexture.h"

class CGLDevice;

// A 2D A8R8G8B8 texture whose level 0 lives in system memory; the render
// thread copies it into a GL texture in row slices across frames, so a big
// page texture arriving never stalls a frame for long. Only level 0 exists
// on the GL side: sampling is point sampling from level 0.
//
// Threads: any thread may lock, fill, unlock and release it (the device
// serialises these); between LockRect and UnlockRect the locking thread owns
// the texels and the render thread leaves them alone.
class CGLTexture final : public ITexture {
public:
    CGLTexture(CGLDevice* device, std::unique_ptr<std::uint32_t[], void (*)(void*)> texels, unsigned width,
               unsigned height);

    int LockRect(unsigned level, D3DLOCKED_RECT* locked, std::uint32_t flags) override;
    int UnlockRect(unsigned level) override;
    void Release() override;
    unsigned Width() const override { return m_width; }
    unsigned Height() const override { return m_height; }

private:
    friend class CGLDevice;
    ~CGLTexture() override = default;

    CGLDevice* m_device; // null once the device is gone
    std::unique_ptr<std::uint32_t[], void (*)(void*)> m_texels; // level 0, rows top first, no padding
    unsigned m_width;
    unsigned m_height;
    // Device-guarded state.
    bool m_locked = false;
    unsigned m_glName = 0;         // render thread's texture, 0 until its first slice
    unsigned m_uploadedRows = 0;   // rows of m_texels already in the GL texture
};
