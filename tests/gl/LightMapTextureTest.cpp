// The light map is kept at half the window's resolution: each channel of
// texel (i, j) is the rounded mean of the full-resolution maps at samples
// 2i..2i + 1 by 2j..2j + 1, the last column and row repeated on odd sides.
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

TEST(LightMapTextureTest, TexelsAreTheRoundedMeansOfTwoByTwoSamples)
{
    CEglContext context; // never made current: creating and filling needs no GL
    CGLDevice device(&context, 16, 16);
    const D3DXVECTOR3 light = LightDirection();
    const float direction[3] = {light.x, light.y, light.z};
    for (const auto& [w, h] : {std::pair{64, 64}, std::pair{65, 33}, std::pair{3, 2}}) {
        std::vector<std::int32_t> heights;
        for (int i = 0; i < w * h; ++i)
            heights.push_back(
                static_cast<std::int32_t>(std::lround(40 * std::sin(i % w * 0.3) * std::cos(i / w * 0.2))));
        std::vector<std::uint8_t> sky, normals, sun;
        ASSERT_EQ(CAmbientOcclusion::Compute(heights.data(), w, h, 0.5f, &sky), 0);
        ASSERT_EQ(CNormalMap::Compute(heights.data(), w, h, 0.5f, &normals), 0);
        ASSERT_EQ(CHorizonShadow::Compute(heights.data(), w, h, 0.5f, direction, &sun), 0);
        const auto channel = [&](int x, int z, int c) { // c: blue, green, red, alpha
            const std::size_t k = static_cast<std::size_t>(std::min(z, h - 1)) * w + std::min(x, w - 1);
            return c == 0 ? sun[k] : c == 3 ? sky[k] : normals[2 * k + (c == 1 ? 1 : 0)];
        };
        ITexture* map = CreateLightMapTexture(&device, heights.data(), w, h, 0.5f);
        ASSERT_NE(map, nullptr);
        EXPECT_TRUE(map->Width() == static_cast<unsigned>(w / 2) && map->Height() == static_cast<unsigned>(h / 2)) << w;
        D3DLOCKED_RECT locked;
        ASSERT_EQ(map->LockRect(0, &locked, 0), 0);
        int mismatches = 0;
        for (int j = 0; j < h / 2; ++j)
            for (int i = 0; i < w / 2; ++i)
                for (int c = 0; c < 4; ++c) {
                    const int sum = channel(2 * i, 2 * j, c) + channel(2 * i + 1, 2 * j, c) +
                                    channel(2 * i, 2 * j + 1, c) + channel(2 * i + 1, 2 * j + 1, c);
                    const std::uint32_t texel =
                        static_cast<const std::uint32_t*>(locked.pBits)[j * (locked.Pitch / 4) + i];
                    mismatches += static_cast<int>(texel >> (8 * c) & 0xFF) != (sum + 2) / 4;
                }
        map->UnlockRect(0);
        map->Release();
        EXPECT_EQ(mismatches, 0) << w << "x" << h;
    }
}
