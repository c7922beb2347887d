// The light map is kept at half the window's resolution: texel (i, j) is the
// rounded mean of the full-resolution maps at samples 2i..2i + 1 by
// 2j..2j + 1, the last column and row repeated on odd sides.
#include <algorithm>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "flight/LightMapTexture.h"
#include "render/DeviceSetup.h"
#include "render/gl/CEglContext.h"
#include "render/gl/CGLDevice.h"
#include "terrain/CAmbientOcclusion.h"
#include "terrain/CHorizonShadow.h"
#include "terrain/CNormalMap.h"

namespace {

// Channel c (0 blue .. 3 alpha) of the full-resolution map at (x, z).
struct FullMaps {
    std::vector<std::uint8_t> sky, normals, sun;
    int width = 0;
    int Channel(int x, int z, int c) const
    {
        const std::size_t k = static_cast<std::size_t>(z) * width + x;
        switch (c) {
        case 0:
            return sun[k];
        case 1:
            return normals[2 * k + 1];
        case 2:
            return normals[2 * k];
        }
        return sky[k];
    }
};

} // namespace

TEST(LightMapTextureTest, TexelsAreTheRoundedMeansOfTwoByTwoSamples)
{
    CEglContext context; // never made current: creating and filling needs no GL
    CGLDevice device(&context, 16, 16);
    const struct {
        int width, height;
    } windows[] = {{64, 64}, {65, 33}, {3, 2}, {2, 5}};
    const float scale = 0.5f;
    for (const auto& w : windows) {
        std::vector<std::int32_t> heights;
        for (int z = 0; z < w.height; ++z)
            for (int x = 0; x < w.width; ++x)
                heights.push_back(static_cast<std::int32_t>(std::lround(40 * std::sin(x * 0.3) * std::cos(z * 0.2))) + 100);
        FullMaps full;
        full.width = w.width;
        const D3DXVECTOR3 light = LightDirection();
        const float direction[3] = {light.x, light.y, light.z};
        ASSERT_EQ(CAmbientOcclusion::Compute(heights.data(), w.width, w.height, scale, &full.sky), 0);
        ASSERT_EQ(CNormalMap::Compute(heights.data(), w.width, w.height, scale, &full.normals), 0);
        ASSERT_EQ(CHorizonShadow::Compute(heights.data(), w.width, w.height, scale, direction, &full.sun), 0);

        ITexture* map = CreateLightMapTexture(&device, heights.data(), w.width, w.height, scale);
        ASSERT_NE(map, nullptr);
        const int mapWidth = std::max(1, w.width / 2), mapHeight = std::max(1, w.height / 2);
        EXPECT_EQ(map->Width(), static_cast<unsigned>(mapWidth)) << w.width;
        EXPECT_EQ(map->Height(), static_cast<unsigned>(mapHeight)) << w.height;
        D3DLOCKED_RECT locked;
        ASSERT_EQ(map->LockRect(0, &locked, 0), 0);
        int mismatches = 0;
        for (int j = 0; j < mapHeight; ++j)
            for (int i = 0; i < mapWidth; ++i) {
                const std::uint32_t texel = static_cast<const std::uint32_t*>(locked.pBits)[j * (locked.Pitch / 4) + i];
                const int x0 = std::min(2 * i, w.width - 1), x1 = std::min(2 * i + 1, w.width - 1);
                const int z0 = std::min(2 * j, w.height - 1), z1 = std::min(2 * j + 1, w.height - 1);
                for (int c = 0; c < 4; ++c) {
                    const int sum = full.Channel(x0, z0, c) + full.Channel(x1, z0, c) + full.Channel(x0, z1, c) +
                                    full.Channel(x1, z1, c);
                    mismatches += static_cast<int>((texel >> (8 * c)) & 0xFF) != (sum + 2) / 4;
                }
            }
        map->UnlockRect(0);
        map->Release();
        EXPECT_EQ(mismatches, 0) << w.width << "x" << w.height;
    }
}
