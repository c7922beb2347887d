// The normal map: tilted planes give their analytic normal at every sample,
// borders included; the encoding round-trips within a byte's step.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "terrain/CNormalMap.h"

TEST(CNormalMap, TiltedPlanesGiveTheirAnalyticNormalEverywhere)
{
    const struct {
        int perX, perZ; // sample values per sample along x and z
        float scale;    // world units per sample value
    } cases[] = {{0, 0, 2.5f}, {1, 0, 2.5f}, {0, -2, 2.5f}, {3, 1, 1.0f}, {257, 0, 2.5f / 257.0f}, {-40, 25, 0.01f}};
    const int w = 9, h = 7;
    for (const auto& c : cases) {
        std::vector<std::int32_t> window;
        for (int z = 0; z < h; ++z)
            for (int x = 0; x < w; ++x)
                window.push_back(1000 + c.perX * x + c.perZ * z);
        std::vector<std::uint8_t> encoded;
        ASSERT_EQ(CNormalMap::Compute(window.data(), w, h, c.scale, &encoded), 0);
        ASSERT_EQ(encoded.size(), static_cast<std::size_t>(2 * w * h));
        const float a = c.perX * c.scale, b = c.perZ * c.scale;
        const float length = std::sqrt(a * a + 1.0f + b * b);
        const float expected[3] = {-a / length, 1.0f / length, -b / length};
        for (int i : {0, w - 1, w * h / 2, w * h - 1}) {
            float n[3];
            CNormalMap::Decode(encoded[2 * i], encoded[2 * i + 1], n);
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(n[k], expected[k], 0.02f) << c.perX << "," << c.perZ << " sample " << i << " axis " << k;
        }
    }
}

TEST(CNormalMap, RefusesWhatItCannotDifference)
{
    const std::vector<std::int32_t> window(4, 0);
    std::vector<std::uint8_t> encoded;
    EXPECT_EQ(CNormalMap::Compute(nullptr, 2, 2, 1.0f, &encoded), -1);
    EXPECT_EQ(CNormalMap::Compute(window.data(), 1, 4, 1.0f, &encoded), -1);
    EXPECT_EQ(CNormalMap::Compute(window.data(), 4, 1, 1.0f, &encoded), -1);
    EXPECT_TRUE(encoded.empty());
}
