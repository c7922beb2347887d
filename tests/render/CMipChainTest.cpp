// The mip chain's level sizes and the 2 x 2 box filter that makes each level.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "render/CMipChain.h"

TEST(CMipChainTest, LevelCountAndSizesRunDownToOneTexel)
{
    const struct {
        unsigned width, height, levels;
    } cases[] = {{1, 1, 1}, {2, 2, 2}, {4096, 4096, 13}, {512, 512, 10}, {8, 2, 4}, {5, 3, 3}, {0, 4, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(CMipChain::LevelCount(c.width, c.height), c.levels) << c.width << "x" << c.height;
    const struct {
        unsigned size, level, expected;
    } sizes[] = {{4096, 0, 4096}, {4096, 1, 2048}, {4096, 12, 1}, {8, 3, 1}, {8, 5, 1}, {5, 1, 2}, {7, 40, 1}};
    for (const auto& s : sizes)
        EXPECT_EQ(CMipChain::LevelSize(s.size, s.level), s.expected) << s.size << " level " << s.level;
}

TEST(CMipChainTest, EachTexelIsTheRoundedMeanOfItsFourTexelsPerChannel)
{
    // 4 x 2: two output texels. The first averages distinct channel values
    // (including the alpha byte and a rounding case), the second saturated
    // and zero texels.
    const std::vector<std::uint32_t> src = {
        0xFF102030u, 0xFF112233u, 0xFFFFFFFFu, 0x00000000u, // row 0
        0x01000000u, 0x00FFFFFFu, 0xFFFFFFFFu, 0x00000000u, // row 1
    };
    std::vector<std::uint32_t> dst(2, 0xDEADBEEFu);
    CMipChain::Reduce(src.data(), 4, 2, 4, dst.data(), 2);
    // alpha: (255 + 255 + 1 + 0 + 2) / 4 = 128; red (16 + 17 + 0 + 255 + 2) / 4 = 72;
    // green (32 + 34 + 0 + 255 + 2) / 4 = 80; blue (48 + 51 + 0 + 255 + 2) / 4 = 89.
    EXPECT_EQ(dst[0], 0x80485059u);
    // two white and two black texels: (510 + 2) / 4 = 128 in every channel.
    EXPECT_EQ(dst[1], 0x80808080u);
}

TEST(CMipChainTest, OddSizesRepeatTheLastColumnAndRowAndPitchesAreKept)
{
    // 3 x 3 grey levels in the blue channel, rows of pitch 5 (two padding
    // texels that must not be read).
    const std::uint32_t pad = 0xFFFFFFFFu;
    const std::vector<std::uint32_t> src = {
        0, 4, 8, pad, pad, //
        12, 16, 20, pad, pad, //
        24, 28, 32, pad, pad,
    };
    std::vector<std::uint32_t> dst(3, 0x12345678u);
    CMipChain::Reduce(src.data(), 3, 3, 5, dst.data(), 3);
    EXPECT_EQ(dst[0], (0u + 4 + 12 + 16 + 2) / 4);
    EXPECT_EQ(dst[2], 0x12345678u) << "a 3 x 3 image reduces to 1 x 1: nothing past it is written";
    // A 1 x 2 column reduces to 1 x 1, the lone column counted twice.
    const std::vector<std::uint32_t> column = {0x000000FFu, 0x00000001u};
    std::uint32_t one = 0;
    CMipChain::Reduce(column.data(), 1, 2, 1, &one, 1);
    EXPECT_EQ(one, (255u + 255 + 1 + 1 + 2) / 4);
}
