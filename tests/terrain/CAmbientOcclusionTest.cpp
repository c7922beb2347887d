// Ambient occlusion: a valley's floor sees less sky than its ridges, the
// less the deeper it is; open ground (flat, or a plane slope even at the
// window's edge) sees all of it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "terrain/CAmbientOcclusion.h"

TEST(CAmbientOcclusion, ValleyFloorsSeeLessSkyTheDeeperTheyAreAndOpenGroundSeesAll)
{
    constexpr int kSide = 129;
    const auto sky = [](int depth, int perX, int perZ, int x, int z) {
        std::vector<std::int32_t> w; // V-shaped valleys along z 32 apart (floors at x % 32 == 16), or a plane
        for (int r = 0; r < kSide; ++r)
            for (int c = 0; c < kSide; ++c)
                w.push_back(depth * 2 * std::abs(c % 32 - 16) / 32 + perX * c + perZ * r);
        std::vector<std::uint8_t> out;
        EXPECT_EQ(CAmbientOcclusion::Compute(w.data(), kSide, kSide, 1.0f, &out), 0);
        return static_cast<int>(out.at(static_cast<std::size_t>(z) * kSide + x));
    };
    const struct {
        int depth, floorAtMost;
    } valleys[] = {{8, 240}, {32, 200}, {96, 150}};
    int previous = 256;
    for (const auto& v : valleys) {
        const int floor = sky(v.depth, 0, 0, 80, 64);
        EXPECT_LE(floor, v.floorAtMost) << v.depth;
        EXPECT_LT(floor, previous) << v.depth;
        EXPECT_EQ(sky(v.depth, 0, 0, 64, 64), 255) << v.depth << ": the ridge";
        previous = floor;
    }
    for (int at : {0, 20, 64, 128}) {
        EXPECT_EQ(sky(0, 0, 0, at, at), 255);
        EXPECT_GE(sky(0, 3, 1, at, at), 254) << at;
    }
    std::vector<std::uint8_t> out;
    EXPECT_EQ(CAmbientOcclusion::Compute(nullptr, kSide, kSide, 1.0f, &out), -1);
}
