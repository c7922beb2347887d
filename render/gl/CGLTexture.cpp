#include "render/gl/CGLTexture.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "render/CMipChain.h"
#include "render/gl/CGLDevice.h"

CGLTexture::CGLTexture(CGLDevice* device, std::unique_ptr<std::uint32_t[], void (*)(void*)> texels, unsigned width,
                       unsigned height, unsigned levels)
    : m_device(device), m_texels(std::move(texels)), m_width(width), m_height(height),
      m_levelCount(std::max(1u, levels)), m_totalRows(0)
{
    for (unsigned level = 0; level < m_levelCount; ++level) {
        if (level > 0)
            m_mips.emplace_back(new std::uint32_t[static_cast<std::size_t>(LevelWidth(level)) * LevelHeight(level)]());
        m_totalRows += LevelHeight(level);
    }
}

std::uint32_t* CGLTexture::Texels(unsigned level) const
{
    return level == 0 ? m_texels.get() : m_mips[level - 1].get();
}

unsigned CGLTexture::FinestCompleteLevel() const
{
    unsigned finest = m_levelCount;
    unsigned rows = 0;
    for (unsigned k = 0; k < m_levelCount; ++k) {
        const unsigned level = m_levelCount - 1 - k;
        rows += LevelHeight(level);
        if (m_uploadedRows < rows)
            break;
        finest = level;
    }
    return finest;
}

void CGLTexture::ReleaseTexels()
{
    m_texels.reset();
    for (std::unique_ptr<std::uint32_t[]>& mip : m_mips)
        mip.reset();
}

int CGLTexture::RestoreTexels()
{
    if (m_texels)
        return 0;
    m_texels.reset(static_cast<std::uint32_t*>(std::calloc(static_cast<std::size_t>(m_width) * m_height, 4)));
    if (!m_texels)
        return -1;
    for (unsigned level = 1; level < m_levelCount; ++level) {
        m_mips[level - 1].reset(new (std::nothrow)
                                    std::uint32_t[static_cast<std::size_t>(LevelWidth(level)) * LevelHeight(level)]());
        if (!m_mips[level - 1]) {
            ReleaseTexels();
            return -1;
        }
    }
    return 0;
}

unsigned CGLTexture::LevelWidth(unsigned level) const { return CMipChain::LevelSize(m_width, level); }

unsigned CGLTexture::LevelHeight(unsigned level) const { return CMipChain::LevelSize(m_height, level); }

int CGLTexture::LockRect(unsigned level, D3DLOCKED_RECT* locked, std::uint32_t)
{
    if (locked == nullptr)
        return -1;
    *locked = D3DLOCKED_RECT{};
    if (m_device != nullptr)
        return m_device->LockTexture(this, level, locked);
    if (level >= m_levelCount || (m_lockedLevels & (1u << level)) != 0 || RestoreTexels() != 0)
        return -1;
    m_lockedLevels |= 1u << level;
    locked->pBits = Texels(level);
    locked->Pitch = static_cast<int>(LevelWidth(level) * 4);
    return 0;
}

int CGLTexture::UnlockRect(unsigned level)
{
    if (m_device != nullptr)
        return m_device->UnlockTexture(this, level);
    if (level >= m_levelCount || (m_lockedLevels & (1u << level)) == 0)
        return -1;
    m_lockedLevels &= ~(1u << level);
    return 0;
}

bool CGLTexture::Arriving() const { return m_device != nullptr && m_device->TextureArriving(this); }

void CGLTexture::Release()
{
    if (m_device != nullptr)
        m_device->ReleaseTexture(this);
    else
        delete this;
}
