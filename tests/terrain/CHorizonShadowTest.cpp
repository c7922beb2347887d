// The horizon sweep: a wall's shadow falls where the light's direction puts
// it and is as long as the wall's height over the light's slope; nothing is
// shadowed by a light from straight above or from below the horizon.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "terrain/CHorizonShadow.h"

namespace {

constexpr int kSide = 41;
constexpr int kWall = 20;         // the wall's column (or row)
constexpr std::int32_t kTall = 8; // its height in sample values, at scale 1

// Flat ground at 0 with a wall of height kTall along column kWall
// (alongX) or row kWall.
std::vector<std::int32_t> Wall(bool column)
{
    std::vector<std::int32_t> w(kSide * kSide, 0);
    for (int i = 0; i < kSide; ++i)
        w[column ? i * kSide + kWall : kWall * kSide + i] = kTall;
    return w;
}

} // namespace

TEST(CHorizonShadow, AWallsShadowFallsDownLightAsLongAsTheLightsSlopeMakesIt)
{
    const float r2 = std::sqrt(0.5f);
    const struct {
        float direction[3];
        bool column;    // the wall runs along z (a column) or along x (a row)
        int step;       // +1: the shadow falls towards higher x (or z)
        float length;   // of the shadow, world units
    } cases[] = {
        {{r2, -r2, 0.0f}, true, +1, 8.0f},    // 45 degrees along +x: as long as the wall is tall
        {{-r2, -r2, 0.0f}, true, -1, 8.0f},   // along -x
        {{0.0f, -r2, r2}, false, +1, 8.0f},   // along +z
        {{0.8944f, -0.4472f, 0.0f}, true, +1, 16.0f}, // a lower sun (rise 1 in 2): twice as long
        {{0.57735f, -0.57735f, 0.57735f}, true, +1, 8.0f}, // diagonal: 8 along x (and 8 along z)
    };
    for (const auto& c : cases) {
        const std::vector<std::int32_t> window = Wall(c.column);
        std::vector<std::uint8_t> sun;
        ASSERT_EQ(CHorizonShadow::Compute(window.data(), kSide, kSide, 1.0f, c.direction, &sun), 0);
        ASSERT_EQ(sun.size(), static_cast<std::size_t>(kSide * kSide));
        const int across = kSide / 2; // the middle row (or column)
        const auto at = [&](int along) { return c.column ? sun[across * kSide + along] : sun[along * kSide + across]; };
        for (int d = 1; d < kSide / 2; ++d) {
            const int along = kWall + c.step * d;
            // Deeper than the penumbra below the shadow line: dark; past the
            // shadow's end: lit. Up-light of the wall: lit.
            const float depth = (c.length - static_cast<float>(d)) * static_cast<float>(kTall) / c.length;
            if (depth >= CHorizonShadow::kPenumbra) {
                EXPECT_EQ(at(along), 0) << "case " << &c - cases << " at " << d << " down-light";
            } else if (depth < 0.0f) {
                EXPECT_EQ(at(along), 255) << "case " << &c - cases << " at " << d << " down-light";
            } else {
                EXPECT_GT(at(along), 0) << "case " << &c - cases << " at " << d << ": the penumbra";
            }
            EXPECT_EQ(at(kWall - c.step * d), 255) << "case " << &c - cases << " at " << d << " up-light";
        }
        EXPECT_EQ(at(kWall), 255) << "the wall's top is lit";
    }
}

TEST(CHorizonShadow, NoShadowFromAboveOrBelowTheHorizonOrOnFlatGround)
{
    const std::vector<std::int32_t> wall = Wall(true);
    const std::vector<std::int32_t> flat(kSide * kSide, 5);
    const float above[3] = {0.0f, -1.0f, 0.0f};
    const float below[3] = {0.7f, 0.7f, 0.0f};
    const float low[3] = {0.99f, -0.14f, 0.0f};
    std::vector<std::uint8_t> sun;
    for (const float* d : {above, below}) {
        ASSERT_EQ(CHorizonShadow::Compute(wall.data(), kSide, kSide, 1.0f, d, &sun), 0);
        for (std::uint8_t s : sun)
            ASSERT_EQ(s, 255);
    }
    ASSERT_EQ(CHorizonShadow::Compute(flat.data(), kSide, kSide, 1.0f, low, &sun), 0);
    for (std::uint8_t s : sun)
        ASSERT_EQ(s, 255) << "a grazing light on flat ground";
    EXPECT_EQ(CHorizonShadow::Compute(nullptr, kSide, kSide, 1.0f, low, &sun), -1);
}
