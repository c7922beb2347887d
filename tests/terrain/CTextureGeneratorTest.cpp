#include <gtest/gtest.h>

#include <vector>

#include "terrain/CTextureGenerator.h"

namespace {

void FillTile(CBitmapEx& tile, int w, int h, std::uint32_t colour)
{
    ASSERT_EQ(tile.CreateBlank(w, h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            tile.WritePixel(x, y, colour);
}

// A generator with the given slots filled by plain tiles, tile count 5 as
// after the five load attempts, bands computed.
void Prepare(CTextureGenerator& gen, std::initializer_list<int> present, std::uint32_t colour = 0xFFFFFF)
{
    for (const int slot : present)
        FillTile(gen.m_tiles[slot], 4, 4, colour);
    gen.m_tileCount = 5;
    gen.ComputeBands();
}

// Paints one texel per level 0..255 and returns the texel for `level`.
std::vector<std::uint32_t> PaintLevels(CTextureGenerator& gen)
{
    std::vector<std::int32_t> window(256);
    for (int v = 0; v < 256; ++v)
        window[static_cast<std::size_t>(v)] = v;
    gen.m_heightWindow = window.data();
    gen.m_width = 256;
    gen.m_height = 1;
    EXPECT_EQ(gen.Synthesize(256, 1), 0);
    std::vector<std::uint32_t> texels(256);
    for (int v = 0; v < 256; ++v)
        texels[static_cast<std::size_t>(v)] = gen.m_output.ReadPixel(v, 0);
    gen.m_heightWindow = nullptr;
    return texels;
}

} // namespace

TEST(CTextureGenerator, BandsWithAllTiles)
{
    CTextureGenerator gen;
    Prepare(gen, {0, 1, 2, 3, 4});
    const std::int32_t expected[5][3] = {{0, 5, 10}, {11, 61, 111}, {62, 112, 162}, {113, 163, 213}, {164, 214, 264}};
    for (int slot = 0; slot < 5; ++slot)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(gen.m_bands[slot][i], expected[slot][i]) << slot << "," << i;
}

TEST(CTextureGenerator, MissingTileMovesLaterBandsDown)
{
    CTextureGenerator gen;
    Prepare(gen, {0, 1, 3, 4}); // no low tile
    EXPECT_EQ(gen.m_bands[3][0], 62);
    EXPECT_EQ(gen.m_bands[3][1], 112);
    EXPECT_EQ(gen.m_bands[4][1], 163);
    EXPECT_EQ(gen.m_bands[4][2], 213);
    const std::vector<std::uint32_t> texels = PaintLevels(gen);
    EXPECT_EQ(texels[212], 0x050505u); // weight 0.02 of the highest band
    for (int v = 213; v < 256; ++v)
        EXPECT_EQ(texels[static_cast<std::size_t>(v)], 0u) << v; // above the last band: black
}

TEST(CTextureGenerator, TileCountSetsTheSpacing)
{
    CTextureGenerator gen;
    FillTile(gen.m_tiles[1], 1, 1, 0xFFFFFF);
    gen.m_tileCount = 10;
    gen.ComputeBands();
    EXPECT_EQ(gen.m_bands[1][1], 10 + 25);
    gen.m_tileCount = 0; // guarded: counts as 1
    gen.ComputeBands();
    EXPECT_EQ(gen.m_bands[1][1], 10 + 255);
}

TEST(CTextureGenerator, WhiteTileLevels)
{
    CTextureGenerator gen;
    Prepare(gen, {0, 1, 2, 3, 4});
    const std::vector<std::uint32_t> texels = PaintLevels(gen);
    const struct {
        int level;
        std::uint32_t grey;
    } cases[] = {
        {0, 0}, {10, 0}, {11, 0}, {5, 255}, {36, 127}, {61, 255}, {112, 255}, {163, 255}, {214, 255}, {62, 249},
        {63, 124}, {87, 124}, {255, 45},
    };
    for (const auto& c : cases)
        EXPECT_EQ(texels[static_cast<std::size_t>(c.level)], c.grey * 0x010101u) << "level " << c.level;
}

TEST(CTextureGenerator, WithoutWaterTheLowestLevelsAreBlack)
{
    CTextureGenerator gen;
    Prepare(gen, {1, 2, 3, 4}, 0x204080);
    const std::vector<std::uint32_t> texels = PaintLevels(gen);
    for (int v = 0; v <= 11; ++v)
        EXPECT_EQ(texels[static_cast<std::size_t>(v)], 0u) << v;
    EXPECT_EQ(texels[61], 0x204080u);
}

TEST(CTextureGenerator, TilesRepeatFromTheTopLeft)
{
    CTextureGenerator gen;
    ASSERT_EQ(gen.m_tiles[0].CreateBlank(64, 64), 0);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            gen.m_tiles[0].WritePixel(x, y, static_cast<std::uint32_t>(x << 16 | y << 8 | 7));
    gen.m_tileCount = 5;
    gen.ComputeBands();
    const int w = 150;
    const int h = 131;
    std::vector<std::int32_t> window(static_cast<std::size_t>(w) * h, 5); // water at its peak
    gen.m_heightWindow = window.data();
    gen.m_width = w;
    gen.m_height = h;
    ASSERT_EQ(gen.Synthesize(w, h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            ASSERT_EQ(gen.m_output.ReadPixel(x, y), gen.m_tiles[0].ReadPixel(x % 64, y % 64)) << x << "," << y;
    EXPECT_EQ(gen.m_output.ReadPixel(64, 0), gen.m_tiles[0].ReadPixel(0, 0));
}

TEST(CTextureGenerator, RefusesMismatchedInput)
{
    CTextureGenerator gen;
    Prepare(gen, {0});
    EXPECT_EQ(gen.Synthesize(4, 4), -1); // no window
    std::vector<std::int32_t> window(16, 300); // levels outside 0..255 are fine
    gen.m_heightWindow = window.data();
    gen.m_width = 4;
    gen.m_height = 4;
    EXPECT_EQ(gen.Synthesize(5, 4), -1);
    EXPECT_EQ(gen.Synthesize(4, 4), 0);
    EXPECT_EQ(gen.m_output.ReadPixel(0, 0), 0u);
}
