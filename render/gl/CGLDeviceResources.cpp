// CGLDevice: creation, locking and release of vertex buffers, textures and
// fonts, and the render thread's uploads of what they hold.
#include <algorithm>
#include <cstdlib>

#include "render/CMipChain.h"
#include "render/gl/CGLDevice.h"
#include "render/gl/CGLFont.h"
#include "render/gl/CGLTexture.h"
#include "render/gl/CGLVertexBuffer.h"

namespace {

// Largest size a texture may have before the render thread has learnt the
// real limit; 16384 is what current desktop drivers (llvmpipe included) give.
constexpr unsigned kAssumedMaxTextureSize = 16384;

} // namespace

int CGLDevice::CreateVertexBuffer(std::size_t length, std::uint32_t, std::uint32_t, D3DPOOL, IVertexBuffer** buffer)
{
    if (buffer == nullptr)
        return -1;
    *buffer = nullptr;
    if (length == 0)
        return -1;
    // Zeroed pages from the system: a 96 MB buffer costs nothing until it is written.
    std::unique_ptr<std::uint8_t[], void (*)(void*)> data(static_cast<std::uint8_t*>(std::calloc(length, 1)),
                                                          std::free);
    if (!data)
        return -1;
    auto* created = new CGLVertexBuffer(this, std::move(data), length);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_buffers.insert(created);
    *buffer = created;
    return 0;
}

int CGLDevice::CreateTexture(unsigned width, unsigned height, unsigned levels, std::uint32_t, D3DFORMAT format,
                             D3DPOOL, ITexture** texture)
{
    if (texture == nullptr)
        return -1;
    *texture = nullptr;
    if (width == 0 || height == 0 || (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8))
        return -1;
    // The enhanced look keeps the full chain a caller asks for (levels 0);
    // the classic one has level 0 alone.
    unsigned levelCount = 1;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_look == Look::Enhanced && levels == 0)
            levelCount = CMipChain::LevelCount(width, height);
        const unsigned limit = m_renderer.Ready() ? static_cast<unsigned>(m_renderer.MaxTextureSize())
                                                  : kAssumedMaxTextureSize;
        if (width > limit || height > limit)
            return -1;
    }
    const std::size_t count = static_cast<std::size_t>(width) * height;
    std::unique_ptr<std::uint32_t[], void (*)(void*)> texels(
        static_cast<std::uint32_t*>(std::calloc(count, sizeof(std::uint32_t))), std::free);
    if (!texels)
        return -1;
    CGLTexture* created = nullptr;
    try {
        created = new CGLTexture(this, std::move(texels), width, height, levelCount);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_textures.insert(created);
    *texture = created;
    return 0;
}

int CGLDevice::CreateFont(const D3DXFONT_DESC& desc, IFont** font)
{
    if (font == nullptr)
        return -1;
    *font = nullptr;
    CGLFont* created = CGLFont::Create(this, desc);
    if (created == nullptr)
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fonts.insert(created);
    *font = created;
    return 0;
}

int CGLDevice::LockBuffer(CGLVertexBuffer* buffer, void** data)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (buffer->m_locked)
        return -1;
    buffer->m_locked = true;
    *data = buffer->m_data.get();
    return 0;
}

int CGLDevice::UnlockBuffer(CGLVertexBuffer* buffer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!buffer->m_locked)
        return -1;
    buffer->m_locked = false;
    ++buffer->m_generation;
    return 0;
}

void CGLDevice::ReleaseBuffer(CGLVertexBuffer* buffer)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_buffers.erase(buffer);
        if (m_stream == buffer)
            m_stream = nullptr;
        if (buffer->m_glName != 0)
            m_deadBuffers.push_back(buffer->m_glName);
    }
    delete buffer;
}

int CGLDevice::LockTexture(CGLTexture* texture, unsigned level, D3DLOCKED_RECT* locked)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (level >= texture->m_levelCount || (texture->m_lockedLevels & (1u << level)) != 0 ||
        texture->RestoreTexels() != 0)
        return -1;
    texture->m_lockedLevels |= 1u << level;
    locked->pBits = texture->Texels(level);
    locked->Pitch = static_cast<int>(texture->LevelWidth(level) * 4);
    return 0;
}

int CGLDevice::UnlockTexture(CGLTexture* texture, unsigned level)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (level >= texture->m_levelCount || (texture->m_lockedLevels & (1u << level)) == 0)
        return -1;
    texture->m_lockedLevels &= ~(1u << level);
    texture->m_uploadedRows = 0; // new contents: copy all rows again
    return 0;
}

void CGLDevice::ReleaseTexture(CGLTexture* texture)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_textures.erase(texture);
        if (m_texture == texture)
            m_texture = nullptr;
        if (m_lightMap == texture)
            m_lightMap = nullptr;
        if (texture->m_glName != 0)
            m_deadTextures.push_back({texture->m_glName, texture->m_width, texture->m_height, texture->m_levelCount});
    }
    delete texture;
}

bool CGLDevice::TextureArriving(const CGLTexture* texture) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !texture->Locked() && texture->m_texels && texture->m_uploadedRows > 0 &&
           texture->m_uploadedRows < texture->TotalRows();
}

void CGLDevice::ReleaseFont(CGLFont* font)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fonts.erase(font);
}

void CGLDevice::DeleteDeadObjects()
{
    for (unsigned name : m_deadBuffers)
        m_renderer.DeleteBuffer(name);
    for (const DeadTexture& dead : m_deadTextures)
        KeepSpare(dead);
    m_deadBuffers.clear();
    m_deadTextures.clear();
}

std::size_t CGLDevice::UploadTexture(CGLTexture* texture, std::size_t texelBudget)
{
    if (texture->m_width > static_cast<unsigned>(m_renderer.MaxTextureSize()) ||
        texture->m_height > static_cast<unsigned>(m_renderer.MaxTextureSize()))
        return 0; // never drawable; it stays untextured
    const auto sameShape = [texture](const DeadTexture& spare) {
        return spare.width == texture->m_width && spare.height == texture->m_height &&
               spare.levels == texture->m_levelCount;
    };
    if (texture->m_glName == 0) {
        const auto spare = std::find_if(m_spareTextures.begin(), m_spareTextures.end(), sameShape);
        if (spare != m_spareTextures.end()) {
            texture->m_glName = spare->name;
            texture->m_baseLevel = CGLTexture::kNoBaseLevel;
            m_spareTextures.erase(spare);
        }
    }
    if (texture->m_glName == 0) {
        texture->m_glName = m_renderer.CreateTexture(texture->m_width, texture->m_height, texture->m_levelCount);
        texture->m_baseLevel = CGLTexture::kNoBaseLevel;
        // Paging makes the next texture of this shape while this one is
        // still drawn: allocate its storage now, beside the first (at
        // start-up), rather than in a frame of the flight. Released textures
        // then keep the pairs going.
        KeepSpare(DeadTexture{m_renderer.CreateTexture(texture->m_width, texture->m_height, texture->m_levelCount),
                              texture->m_width, texture->m_height, texture->m_levelCount});
    }
    // The rows of all levels, the coarsest level first, so that a texture
    // still arriving can already be drawn from the levels it has.
    std::size_t spent = 0;
    unsigned levelStart = 0;
    for (unsigned k = 0; k < texture->m_levelCount && spent < texelBudget; ++k) {
        const unsigned level = texture->m_levelCount - 1 - k;
        const unsigned height = texture->LevelHeight(level);
        const unsigned width = texture->LevelWidth(level);
        if (texture->m_uploadedRows < levelStart + height) {
            const unsigned first = texture->m_uploadedRows - levelStart;
            const std::size_t rows = std::max<std::size_t>(1, (texelBudget - spent) / width);
            const unsigned count = static_cast<unsigned>(std::min<std::size_t>(rows, height - first));
            m_renderer.UploadTextureRows(texture->m_glName, level, texture->Texels(level), width, first, count);
            texture->m_uploadedRows += count;
            spent += static_cast<std::size_t>(count) * width;
        }
        levelStart += height;
    }
    // Sampling starts at the finest level that is complete.
    const unsigned base = texture->FinestCompleteLevel();
    if (base < texture->m_levelCount && base != texture->m_baseLevel) {
        m_renderer.SetBaseLevel(texture->m_glName, base);
        texture->m_baseLevel = base;
    }
    // Every row is in GL now: the system-memory copy would only double the
    // page texture's memory while it is drawn.
    if (texture->m_uploadedRows >= texture->TotalRows())
        texture->ReleaseTexels();
    return spent;
}

void CGLDevice::KeepSpare(const DeadTexture& dead)
{
    m_spareTextures.push_back(dead);
    if (m_spareTextures.size() > kSpareTextures) {
        m_renderer.DeleteTexture(m_spareTextures.front().name);
        m_spareTextures.erase(m_spareTextures.begin());
    }
}

void CGLDevice::UploadPendingTextures(std::size_t texelBudget)
{
    for (CGLTexture* texture : m_textures) {
        if (texture->Locked() || texture->m_uploadedRows >= texture->TotalRows())
            continue;
        const std::size_t spent = UploadTexture(texture, texelBudget);
        if (spent >= texelBudget)
            return;
        texelBudget -= spent;
    }
}
