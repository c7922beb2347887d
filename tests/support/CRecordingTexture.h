#pragma once
#include <cstdint>
#include <memory>

#include "render/ITexture.h"

class CRecordingDevice;

// Texture of CRecordingDevice: level 0 in CPU memory, rows of Width() * 4
// bytes. Calls are serialised and recorded by the device.
class CRecordingTexture final : public ITexture {
public:
    CRecordingTexture(CRecordingDevice* device, unsigned width, unsigned height);
    int LockRect(unsigned level, D3DLOCKED_RECT* locked, std::uint32_t flags) override;
    int UnlockRect(unsigned level) override;
    void Release() override;
    unsigned Width() const override { return m_width; }
    unsigned Height() const override { return m_height; }
    const std::uint32_t* Texels() const { return m_texels.get(); }

private:
    ~CRecordingTexture() override = default;
    CRecordingDevice* m_device;
    unsigned m_width;
    unsigned m_height;
    std::unique_ptr<std::uint32_t[]> m_texels;
};
