#include "flight/PageTexture.h"

#include <algorithm>
#include <cstdint>

#include "render/CMipChain.h"
#include "terrain/CBitmapEx.h"

PageWindow ComputePageWindow(int mapWidth, int mapHeight)
{
    PageWindow page;
    page.width = std::max(mapWidth, 0) / 2;
    page.height = std::max(mapHeight, 0) / 2;
    page.margin = std::max(page.width / 4, page.height / 4);
    return page;
}

namespace {

// Fills one texel row from the raster row `src` (Width() pixels): columns
// before the raster repeat its first pixel, columns past it its last one.
void FillRow(std::uint32_t* dst, const std::uint32_t* src, std::int64_t rasterWidth, std::int64_t x0, int width)
{
    const std::int64_t left = std::clamp<std::int64_t>(-x0, 0, width);                 // texels before column 0
    const std::int64_t right = std::clamp<std::int64_t>(rasterWidth - x0, left, width); // texels before the end
    const std::uint32_t first = 0xFF000000u | (src[0] & 0x00FFFFFFu);
    const std::uint32_t last = 0xFF000000u | (src[rasterWidth - 1] & 0x00FFFFFFu);
    std::int64_t i = 0;
    for (; i < left; ++i)
        dst[i] = first;
    for (; i < right; ++i)
        dst[i] = 0xFF000000u | (src[x0 + i] & 0x00FFFFFFu);
    for (; i < width; ++i)
        dst[i] = last;
}

// Levels 1 and up of `texture`, whose level 0 (`level0`, rows of `pitch`
// texels) is filled and still locked, each box-filtered from the one above.
// 0, or -1 when a level cannot be locked. Every level stays locked until the
// whole chain is written; on failure the levels locked so far are unlocked.
int FillMipLevels(ITexture* texture, const std::uint32_t* level0, std::size_t pitch)
{
    const unsigned levels = texture->LevelCount();
    unsigned locked = 1;
    int result = 0;
    const std::uint32_t* above = level0;
    std::size_t abovePitch = pitch;
    for (unsigned level = 1; level < levels; ++level) {
        D3DLOCKED_RECT rect;
        const unsigned aboveWidth = CMipChain::LevelSize(texture->Width(), level - 1);
        const unsigned width = CMipChain::LevelSize(texture->Width(), level);
        if (texture->LockRect(level, &rect, D3DLOCK_DISCARD) != 0 || rect.pBits == nullptr ||
            rect.Pitch < static_cast<int>(width * 4)) {
            result = -1;
            break;
        }
        locked = level + 1;
        auto* texels = static_cast<std::uint32_t*>(rect.pBits);
        const unsigned rowPitch = static_cast<unsigned>(rect.Pitch) / 4;
        CMipChain::Reduce(above, aboveWidth, CMipChain::LevelSize(texture->Height(), level - 1),
                          static_cast<unsigned>(abovePitch), texels, rowPitch);
        above = texels;
        abovePitch = rowPitch;
    }
    for (unsigned level = 1; level < locked; ++level)
        texture->UnlockRect(level);
    return result;
}

} // namespace

ITexture* CreateTextureFilledBy(IDevice* device, int width, int height,
                                const std::function<int(std::uint32_t* texels, std::size_t pitch)>& fill)
{
    if (device == nullptr || width <= 0 || height <= 0)
        return nullptr;
    ITexture* texture = nullptr;
    if (device->CreateTexture(static_cast<unsigned>(width), static_cast<unsigned>(height), D3DX_DEFAULT_MIPLEVELS,
                              D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture) != 0 ||
        texture == nullptr)
        return nullptr;
    D3DLOCKED_RECT locked;
    if (texture->LockRect(0, &locked, D3DLOCK_DISCARD) != 0 || locked.pBits == nullptr ||
        locked.Pitch < width * 4) {
        texture->Release();
        return nullptr;
    }
    const std::size_t pitch = static_cast<std::size_t>(locked.Pitch) / 4;
    auto* texels = static_cast<std::uint32_t*>(locked.pBits);
    if (fill(texels, pitch) != 0 || (texture->LevelCount() > 1 && FillMipLevels(texture, texels, pitch) != 0)) {
        texture->UnlockRect(0);
        texture->Release();
        return nullptr;
    }
    texture->UnlockRect(0);
    return texture;
}

ITexture* CreateFilledTexture(IDevice* device, int width, int height,
                              const std::function<void(std::uint32_t* row, int j)>& fillRow)
{
    return CreateTextureFilledBy(device, width, height, [&](std::uint32_t* texels, std::size_t pitch) {
        for (int j = 0; j < height; ++j)
            fillRow(texels + static_cast<std::size_t>(j) * pitch, j);
        return 0;
    });
}

ITexture* CreatePageTexture(IDevice* device, const CBitmapEx& raster, int x0, int z0, int width, int height)
{
    const std::int32_t rasterWidth = raster.Width();
    const std::int32_t rasterHeight = raster.Height();
    const bool direct = raster.HasPixels() && raster.m_bytesPerPixel == 4 && rasterWidth > 0 && rasterHeight > 0 &&
                        static_cast<std::int64_t>(rasterWidth) * rasterHeight * 4 <= raster.m_imageBytes;
    // Row by row in memory order of both the texture and the raster.
    return CreateFilledTexture(device, width, height, [&](std::uint32_t* row, int j) {
        if (direct) {
            const std::int64_t y = std::clamp<std::int64_t>(static_cast<std::int64_t>(z0) + j, 0, rasterHeight - 1);
            const std::uint32_t* src = raster.Pixels32() + (rasterHeight - 1 - y) * rasterWidth;
            FillRow(row, src, rasterWidth, x0, width);
        } else {
            for (int i = 0; i < width; ++i)
                row[i] = 0xFF000000u | (raster.ReadPixel(x0 + i, z0 + j) & 0x00FFFFFFu);
        }
    });
}
