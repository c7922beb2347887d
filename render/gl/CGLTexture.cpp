#include "render/gl/CGLTexture.h"

#include "render/gl/CGLDevice.h"

CGLTexture::CGLTexture(CGLDevice* device, std::unique_ptr<std::uint32_t[], void (*)(void*)> texels, unsigned width,
                       unsigned height)
    : m_device(device), m_texels(std::move(texels)), m_width(width), m_height(height)
{
}

int CGLTexture::LockRect(unsigned level, D3DLOCKED_RECT* locked, std::uint32_t)
{
    if (locked == nullptr)
        return -1;
    *locked = D3DLOCKED_RECT{};
    if (m_device != nullptr)
        return m_device->LockTexture(this, level, locked);
    if (level != 0 || m_locked)
        return -1;
    m_locked = true;
    locked->pBits = m_texels.get();
    locked->Pitch = static_cast<int>(m_width * 4);
    return 0;
}

int CGLTexture::UnlockRect(unsigned level)
{
    if (m_device != nullptr)
        return m_device->UnlockTexture(this, level);
    if (level != 0 || !m_locked)
        return -1;
    m_locked = false;
    return 0;
}

void CGLTexture::Release()
{
    if (m_device != nullptr)
        m_device->ReleaseTexture(this);
    else
        delete this;
}
