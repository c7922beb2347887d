#include "terrain/CFolderTerrainSource.h"

#include <algorithm>

#include "terrain/CBitmapEx.h"
#include "terrain/CTerrainModel.h"

CFolderTerrainSource::CFolderTerrainSource(const CTerrainModel& terrain, const CBitmapEx* colours)
    : m_terrain(terrain)
    , m_colours(colours)
{
}

std::int32_t CFolderTerrainSource::Width() const { return m_terrain.m_gridWidth; }

std::int32_t CFolderTerrainSource::Height() const { return m_terrain.m_gridHeight; }

float CFolderTerrainSource::HeightScale() const { return m_terrain.HeightScale(); }

void CFolderTerrainSource::CodeRange(std::int32_t* low, std::int32_t* high) const
{
    *low = 0;
    *high = m_terrain.HasHeights16() ? 65535 : 255;
}

int CFolderTerrainSource::ReadWindow(std::int32_t x0, std::int32_t z0, std::int32_t* width, std::int32_t* height,
                                     std::int32_t* window)
{
    return m_terrain.ExtractWindow(x0, z0, *width, *height, window);
}

int CFolderTerrainSource::ReadColours(std::int32_t x0, std::int32_t z0, std::int32_t width, std::int32_t height,
                                      CBitmapEx* colours)
{
    if (m_colours == nullptr || !m_colours->HasPixels() || width <= 0 || height <= 0
        || colours->CreateBlank(width, height) != 0 || !colours->HasPixels())
        return -1;
    const std::int64_t w = m_colours->Width();
    const std::int64_t h = m_colours->Height();
    const std::uint32_t* in = m_colours->Pixels32();
    std::uint32_t* out = colours->Pixels32();
    for (std::int32_t k = 0; k < height; ++k) {
        const std::int64_t y = std::clamp<std::int64_t>(static_cast<std::int64_t>(z0) + k, 0, h - 1);
        const std::uint32_t* row = in + static_cast<std::size_t>(h - 1 - y) * static_cast<std::size_t>(w);
        std::uint32_t* dst = out + static_cast<std::size_t>(height - 1 - k) * static_cast<std::size_t>(width);
        for (std::int32_t i = 0; i < width; ++i)
            dst[i] = row[std::clamp<std::int64_t>(static_cast<std::int64_t>(x0) + i, 0, w - 1)];
    }
    return 0;
}
