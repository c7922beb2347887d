#pragma once
// A terrain folder for the tools' tests: 1025 x 1025 rolling hills with a
// texture banded by height, written under the fixed file names.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>

#include "terrain/CBitmapEx.h"
#include "terrain/TerrainFiles.h"

namespace hills_terrain {

constexpr int kSide = 1025;

inline bool Write(const std::filesystem::path& dir)
{
    CBitmapEx heights, colours;
    if (heights.CreateBlank(kSide, kSide) != 0 || colours.CreateBlank(kSide, kSide) != 0)
        return false;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const double v = 60 + 50 * std::sin(x / 40.0) * std::cos(y / 55.0) + 40 * std::sin((x + y) / 90.0);
            const auto h = static_cast<std::uint32_t>(std::clamp(static_cast<int>(v), 0, 255));
            heights.WritePixel(x, y, h << 16 | h << 8 | h);
            colours.WritePixel(x, y, h < 60 ? 0x3C8C32u : (h < 110 ? 0x786E3Cu : 0xE6E6E6u));
        }
    return heights.SaveToFile((dir / TerrainFiles::kHeightmap).c_str()) == 0 &&
           colours.SaveToFile((dir / TerrainFiles::kTexture).c_str()) == 0;
}

} // namespace hills_terrain
