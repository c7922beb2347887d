// The horizon sweep: a wall's shadow falls down-light of it, as long as the
// wall's height over the light's slope, fully dark below the penumbra;
// nothing is shadowed by a light from above, from below the horizon, or on
// flat ground.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "terrain/CHorizonShadow.h"

TEST(CHorizonShadow, AWallsShadowFallsDownLightAsLongAsTheLightsSlopeMakesIt)
{
    constexpr int kSide = 41, kWall = 20, kTall = 8;
    const struct {
        float direction[3];
        bool column; // the wall runs along z (a column) or along x (a row)
        int step;    // the shadow falls towards higher (+1) or lower x or z
        float length;
    } cases[] = {
        {{0.7071f, -0.7071f, 0}, true, +1, 8},   {{-0.7071f, -0.7071f, 0}, true, -1, 8},
        {{0, -0.7071f, 0.7071f}, false, +1, 8},  {{0.8944f, -0.4472f, 0}, true, +1, 16}, // a lower sun
        {{0.57735f, -0.57735f, 0.57735f}, true, +1, 8},                                  // diagonal
    };
    for (const auto& c : cases) {
        std::vector<std::int32_t> w(kSide * kSide, 0);
        for (int i = 0; i < kSide; ++i)
            w[c.column ? i * kSide + kWall : kWall * kSide + i] = kTall;
        std::vector<std::uint8_t> sun;
        ASSERT_EQ(CHorizonShadow::Compute(w.data(), kSide, kSide, 1.0f, c.direction, &sun), 0);
        const auto at = [&](int along) { return c.column ? sun[20 * kSide + along] : sun[along * kSide + 20]; };
        for (int d = 1; d < kSide / 2; ++d) {
            const float depth = (c.length - static_cast<float>(d)) * kTall / c.length; // below the shadow line
            const int down = at(kWall + c.step * d);
            if (depth >= CHorizonShadow::kPenumbra)
                EXPECT_EQ(down, 0) << &c - cases << " at " << d;
            else if (depth < 0.0f)
                EXPECT_EQ(down, 255) << &c - cases << " at " << d;
            else
                EXPECT_GT(down, 0) << &c - cases << " at " << d << ": penumbra";
            EXPECT_EQ(at(kWall - c.step * d), 255) << &c - cases << " up-light at " << d;
        }
    }
    std::vector<std::int32_t> flat(kSide * kSide, 5), wall(kSide * kSide, 0);
    for (int z = 0; z < kSide; ++z)
        wall[z * kSide + kWall] = kTall;
    const float above[3] = {0, -1, 0}, below[3] = {0.7f, 0.7f, 0}, grazing[3] = {0.99f, -0.14f, 0};
    std::vector<std::uint8_t> sun;
    for (const float* d : {above, below, grazing}) {
        ASSERT_EQ(CHorizonShadow::Compute(d == grazing ? flat.data() : wall.data(), kSide, kSide, 1.0f, d, &sun), 0);
        EXPECT_EQ(std::count(sun.begin(), sun.end(), 255), kSide * kSide);
    }
    EXPECT_EQ(CHorizonShadow::Compute(nullptr, kSide, kSide, 1.0f, above, &sun), -1);
}
