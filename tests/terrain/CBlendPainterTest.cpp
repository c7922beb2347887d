// The soft bands of --blend: full tile colour inside a band, a mix of two
// neighbouring bands in their overlap and across a sharp step, water fading
// into land without black, rock on steep slopes only.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "terrain/CBlendPainter.h"
#include "terrain/CTextureGenerator.h"

namespace {

void FillTile(CBitmapEx& tile, std::uint32_t colour)
{
    ASSERT_EQ(tile.CreateBlank(4, 4), 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            tile.WritePixel(x, y, colour);
}

// Every slot a plain tile of its own colour, bands as after five loads.
constexpr std::uint32_t kColours[5] = {0x0000FF, 0x00FF00, 0xFF0000, 0x808080, 0xFFFFFF};

void Prepare(CTextureGenerator& gen)
{
    for (int slot = 0; slot < 5; ++slot)
        FillTile(gen.m_tiles[slot], kColours[slot]);
    gen.m_tileCount = 5;
    gen.ComputeBands();
}

int Channel(std::uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

std::vector<std::uint32_t> Paint(CTextureGenerator& gen, const std::vector<float>& levels, int width, int height);

// Paints `levels` (width x height) and returns the texels, rows from the top.
std::vector<std::uint32_t> Paint(CTextureGenerator& gen, const std::vector<std::int32_t>& levels, int width,
                                 int height)
{
    return Paint(gen, std::vector<float>(levels.begin(), levels.end()), width, height);
}

std::vector<std::uint32_t> Paint(CTextureGenerator& gen, const std::vector<float>& levels, int width, int height)
{
    gen.m_width = width;
    gen.m_height = height;
    EXPECT_EQ(CBlendPainter::Paint(gen, levels.data()), 0);
    std::vector<std::uint32_t> texels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            texels.push_back(gen.m_output.ReadPixel(x, y));
    return texels;
}

} // namespace

TEST(CBlendPainter, FlatGroundTakesItsBandsWeightedBySum)
{
    CTextureGenerator gen;
    Prepare(gen);
    const struct {
        int level;
        int red, green, blue; // expected colour of flat ground at that level
    } cases[] = {
        {5, 0, 0, 255},     // water at its peak
        {36, 0, 255, 0},    // lowest band alone: full colour, not the plain painting's half
        {61, 0, 255, 0},    // its peak
        {87, 130, 125, 0},  // overlap of lowest (0.48) and low (0.50): shares of their sum
        {112, 255, 0, 0},   // low band's peak
        {255, 255, 255, 255}, // above the last peak: the highest tile alone
    };
    for (const auto& c : cases) {
        const std::vector<std::int32_t> levels(9, c.level);
        const std::uint32_t texel = Paint(gen, levels, 3, 3)[4];
        EXPECT_NEAR(Channel(texel, 16), c.red, 1) << "level " << c.level;
        EXPECT_NEAR(Channel(texel, 8), c.green, 1) << "level " << c.level;
        EXPECT_NEAR(Channel(texel, 0), c.blue, 1) << "level " << c.level;
    }
}

TEST(CBlendPainter, TexelsBetweenTwoBandsMixThemAndNeverGoBlack)
{
    CTextureGenerator gen;
    Prepare(gen);
    // Along a row the ground steps from level 61 (lowest band's peak) to
    // level 112 (low band's peak), gently enough to stay below rock: the
    // texels on the step carry both tiles, and green falls while red rises.
    const int width = 12;
    std::vector<std::int32_t> levels;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < width; ++x)
            levels.push_back(x < 6 ? 61 : 61 + std::min(51, (x - 5) * 10));
    const std::vector<std::uint32_t> texels = Paint(gen, levels, width, 3);
    int mixed = 0;
    for (int x = 1; x < width; ++x) {
        const std::uint32_t left = texels[width + x - 1], here = texels[width + x];
        EXPECT_LE(Channel(here, 8), Channel(left, 8)) << "x " << x;
        EXPECT_GE(Channel(here, 16), Channel(left, 16)) << "x " << x;
        mixed += Channel(here, 16) > 20 && Channel(here, 8) > 20;
        EXPECT_GT(Channel(here, 16) + Channel(here, 8), 200) << "x " << x << ": full brightness";
    }
    EXPECT_GE(mixed, 3) << "a soft edge several texels wide";
    // Water to land: the plain bands leave 10 and 11 black; here they are a
    // blend of blue and green.
    for (int level : {9, 10, 11, 12}) {
        const std::vector<std::int32_t> flat(9, level);
        const std::uint32_t texel = Paint(gen, flat, 3, 3)[4];
        EXPECT_GT(Channel(texel, 0) + Channel(texel, 8), 200) << "level " << level;
    }
}

TEST(CBlendPainter, RockCoversSteepSlopesOnly)
{
    const struct {
        float rise, cover;
    } cases[] = {{0.0f, 0.0f}, {0.45f, 0.0f}, {0.675f, 0.5f}, {0.9f, 1.0f}, {3.0f, 1.0f}};
    for (const auto& c : cases)
        EXPECT_NEAR(CBlendPainter::RockCover(c.rise), c.cover, 1e-5f) << c.rise;

    CTextureGenerator gen;
    Prepare(gen);
    // A slope of 2 levels per sample rises 5 units per unit: rock (grey).
    // One of 0.1 level per sample stays in its band (green).
    std::vector<std::int32_t> steep, gentle;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            steep.push_back(40 + 2 * x);
            gentle.push_back(40);
        }
    EXPECT_EQ(Paint(gen, steep, 5, 3)[5 + 2], 0x808080u);
    EXPECT_EQ(Paint(gen, gentle, 5, 3)[5 + 2], 0x00FF00u);
}

TEST(CBlendPainter, GentleSlopeThroughWholeLevelsPaintsNoContour)
{
    // A slope of 0.1 level per sample (0.25 units per unit) crossing whole
    // levels: from fractional levels no texel reads as steep. The same
    // heights cut to whole levels would rise 1.25 units per unit across
    // each step and draw a rock line there.
    CTextureGenerator gen;
    Prepare(gen);
    const int width = 16;
    std::vector<float> levels;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < width; ++x)
            levels.push_back(40.0f + 0.1f * static_cast<float>(x));
    const std::vector<std::uint32_t> texels = Paint(gen, levels, width, 3);
    for (int x = 0; x < width; ++x)
        EXPECT_EQ(texels[width + x], 0x00FF00u) << "x " << x << ": a level boundary is not a cliff";
    // The same relief at another scale: ten times steeper is rock.
    gen.m_width = width;
    gen.m_height = 3;
    ASSERT_EQ(CBlendPainter::Paint(gen, levels.data(), 25.0f), 0);
    EXPECT_EQ(gen.m_output.ReadPixel(width / 2, 1), 0x808080u);
    EXPECT_EQ(CBlendPainter::Paint(gen, nullptr), -1);
    EXPECT_EQ(CBlendPainter::Paint(gen, levels.data(), 0.0f), -1);
}
