// Ambient occlusion: a valley's floor sees less sky than its ridges, more
// the deeper the valley; open ground (flat or a plane slope) sees all of it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "terrain/CAmbientOcclusion.h"

namespace {

constexpr int kSide = 129;

// Parallel valleys along z, `period` samples apart, `depth` world units
// deep (V-shaped), at scale 1.
std::vector<std::int32_t> Valleys(int period, int depth)
{
    std::vector<std::int32_t> w(kSide * kSide);
    for (int z = 0; z < kSide; ++z)
        for (int x = 0; x < kSide; ++x) {
            const int phase = std::abs((x % period) - period / 2); // 0 on the floor
            w[z * kSide + x] = depth * 2 * phase / period;
        }
    return w;
}

int Sky(const std::vector<std::int32_t>& window, int x, int z)
{
    std::vector<std::uint8_t> sky;
    EXPECT_EQ(CAmbientOcclusion::Compute(window.data(), kSide, kSide, 1.0f, &sky), 0);
    return sky.at(static_cast<std::size_t>(z) * kSide + x);
}

} // namespace

TEST(CAmbientOcclusion, ValleyFloorsAreDarkerThanRidgesAndDeeperOnesDarkerStill)
{
    const struct {
        int depth;
        int floorAtMost; // sky seen on the floor, of 255
    } cases[] = {{8, 240}, {32, 200}, {96, 150}};
    int previous = 256;
    for (const auto& c : cases) {
        const std::vector<std::int32_t> window = Valleys(32, c.depth);
        const int floor = Sky(window, 64 + 16, 64); // x % 32 == 16: a floor
        const int ridge = Sky(window, 64, 64);      // x % 32 == 0: a ridge
        EXPECT_LE(floor, c.floorAtMost) << "depth " << c.depth;
        EXPECT_EQ(ridge, 255) << "depth " << c.depth;
        EXPECT_LT(floor, previous) << "depth " << c.depth;
        previous = floor;
    }
}

TEST(CAmbientOcclusion, OpenGroundSeesTheWholeSky)
{
    std::vector<std::int32_t> flat(kSide * kSide, 40), slope(kSide * kSide);
    for (int z = 0; z < kSide; ++z)
        for (int x = 0; x < kSide; ++x)
            slope[z * kSide + x] = 3 * x + z;
    for (int at : {20, 64, 100}) {
        EXPECT_EQ(Sky(flat, at, at), 255);
        EXPECT_GE(Sky(slope, at, at), 253) << "a plane is above the mean of its neighbourhood nowhere";
    }
    std::vector<std::uint8_t> sky;
    EXPECT_EQ(CAmbientOcclusion::Compute(nullptr, kSide, kSide, 1.0f, &sky), -1);
}
