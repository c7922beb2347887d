#include "tests/support/CRecordingTexture.h"

#include <cstddef>

#include "tests/support/CRecordingDevice.h"

CRecordingTexture::CRecordingTexture(CRecordingDevice* device, unsigned width, unsigned height)
    : m_device(device),
      m_width(width),
      m_height(height),
      m_texels(new std::uint32_t[static_cast<std::size_t>(width) * height]())
{
}

int CRecordingTexture::LockRect(unsigned level, D3DLOCKED_RECT* locked, std::uint32_t flags)
{
    DeviceCall call{DeviceOp::TextureLock};
    call.object = this;
    call.args[0] = level;
    call.args[1] = flags;
    // Only level 0 can be locked.
    if (level != 0 || !locked) {
        call.result = D3DERR_FAILED;
    }
    const int result = m_device->RecordObjectCall(call);
    if (locked) {
        locked->pBits = result == D3D_OK ? m_texels.get() : nullptr;
        locked->Pitch = result == D3D_OK ? static_cast<int>(m_width * 4) : 0;
    }
    return result;
}

int CRecordingTexture::UnlockRect(unsigned level)
{
    DeviceCall call{DeviceOp::TextureUnlock};
    call.object = this;
    call.args[0] = level;
    if (level != 0) {
        call.result = D3DERR_FAILED;
    }
    return m_device->RecordObjectCall(call);
}

void CRecordingTexture::Release()
{
    DeviceCall call{DeviceOp::TextureRelease};
    call.object = this;
    m_device->RecordObjectCall(call);
    m_device->ObjectReleased(this);
    delete this;
}
