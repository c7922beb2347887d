#include "terrain/CWindowPainter.h"

#include <algorithm>

#include "terrain/TerrainFiles.h"

int CWindowPainter::LoadTiles(const std::string& folder)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_hasTiles = false;
    m_generator.m_tileCount = 0;
    for (int slot = 0; slot < CTextureGenerator::kSlots; ++slot) {
        const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + TerrainFiles::kTiles[slot];
        m_generator.m_tiles[slot].LoadFromFile(path.c_str());
        ++m_generator.m_tileCount;
        m_hasTiles = m_hasTiles || m_generator.m_tiles[slot].HasPixels();
    }
    m_generator.ComputeBands();
    return m_hasTiles ? 0 : -1;
}

int CWindowPainter::PaintInto(const std::int32_t* window, std::int32_t x0, std::int32_t z0, std::int32_t width,
                              std::int32_t height, std::int32_t lowCode, std::int32_t highCode,
                              std::uint32_t* texels, std::size_t pitch)
{
    if (window == nullptr || texels == nullptr || width <= 0 || height <= 0 ||
        pitch < static_cast<std::size_t>(width))
        return -1;
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_hasTiles)
        return -1;
    m_generator.m_heightWindow = nullptr;
    m_generator.m_codeWindow = window;
    m_generator.m_lowCode = lowCode;
    m_generator.m_highCode = highCode;
    m_generator.m_target = texels;
    m_generator.m_targetPitch = pitch;
    m_generator.m_tileOriginX = std::max(0, x0);
    m_generator.m_tileOriginY = std::max(0, z0);
    m_generator.m_width = width;
    m_generator.m_height = height;
    const int painted = m_generator.Synthesize(width, height);
    m_generator.m_codeWindow = nullptr;
    m_generator.m_target = nullptr;
    return painted == 0 ? 0 : -1;
}
