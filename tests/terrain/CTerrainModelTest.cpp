#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

#include "terrain/CTerrainModel.h"

#if defined(VP_HAVE_QT)
#include <QImage>
#endif

namespace {

// A model whose image is w x h with level (x * 7 + y * 3) % 256 at (x, y).
void MakeImage(CTerrainModel& model, int w, int h)
{
    ASSERT_EQ(model.m_image.CreateBlank(w, h), 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            model.m_image.WritePixel(x, y, static_cast<std::uint32_t>((x * 7 + y * 3) % 256) * 0x010101u);
    model.m_gridWidth = w;
    model.m_gridHeight = h;
}

int Level(int x, int y)
{
    return (x * 7 + y * 3) % 256;
}

std::string TempPath(const char* name)
{
    return testing::TempDir() + "/" + std::to_string(::getpid()) + "_" + name;
}

} // namespace

TEST(ExtractWindow, WithoutImageReturnsMinusOneAndKeepsSizes)
{
    CTerrainModel model;
    std::int32_t x0 = 0;
    std::int32_t y0 = 0;
    std::int32_t w = 5;
    std::int32_t h = 4;
    std::vector<std::int32_t> window(20, -7);
    EXPECT_EQ(model.ExtractWindow(x0, y0, w, h, window.data()), -1);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(window[0], -7);
}

TEST(ExtractWindow, ClampsAtTheFarEdgeOnly)
{
    CTerrainModel model;
    MakeImage(model, 40, 30);
    struct Case {
        std::int32_t x0, y0, w, h;     // request
        std::int32_t expectW, expectH; // after clamping
    };
    const Case cases[] = {
        {37, 0, 10, 5, 3, 5},    // like (8190, 0) with width 10 on 8193: columns 37..39
        {0, 0, 40, 30, 40, 30},  // whole image
        {30, 20, 10, 10, 10, 10}, // far edge exactly on the image edge keeps its size
        {31, 25, 10, 10, 9, 5},
        {-2, 0, 6, 3, 6, 3},     // near side is not clamped
        {0, -3, 4, 5, 4, 5},
        {40, 0, 5, 5, 0, 5},     // origin on the far edge: nothing to copy
        {45, 0, 5, 5, -5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x0 << "," << c.y0 << " " << c.w << "x" << c.h);
        std::int32_t x0 = c.x0;
        std::int32_t y0 = c.y0;
        std::int32_t w = c.w;
        std::int32_t h = c.h;
        std::vector<std::int32_t> window(static_cast<std::size_t>(c.w) * c.h, -1);
        EXPECT_NE(model.ExtractWindow(x0, y0, w, h, window.data()), -1);
        EXPECT_EQ(x0, c.x0);
        EXPECT_EQ(y0, c.y0);
        ASSERT_EQ(w, c.expectW);
        ASSERT_EQ(h, c.expectH);
        if (w <= 0 || h <= 0) {
            for (const std::int32_t v : window)
                EXPECT_EQ(v, -1);
            continue;
        }
        for (int k = 0; k < h; ++k)
            for (int i = 0; i < w; ++i) {
                const int x = std::min(std::max(c.x0 + i, 0), 39);
                const int y = std::min(std::max(c.y0 + k, 0), 29);
                ASSERT_EQ(window[static_cast<std::size_t>(i + k * w)], Level(x, y)) << i << "," << k;
            }
    }
}

TEST(ExtractWindow, SampleIndexFollowsRowsOfTheClampedWidth)
{
    CTerrainModel model;
    MakeImage(model, 10, 6);
    std::int32_t x0 = 0;
    std::int32_t y0 = 0;
    std::int32_t w = 10;
    std::int32_t h = 6;
    std::vector<std::int32_t> window(60);
    ASSERT_EQ(model.ExtractWindow(x0, y0, w, h, window.data()), 0);
    EXPECT_EQ(window[10], Level(0, 1)); // sample `width` is pixel (0, 1)
    // Only the red channel counts.
    model.m_image.WritePixel(3, 2, 0x00AB1234u);
    ASSERT_EQ(model.ExtractWindow(x0, y0, w, h, window.data()), 0);
    EXPECT_EQ(window[3 + 2 * 10], 0xAB);
}

// Small grids and grids on large pages (2 MB and more) start zeroed, also
// when they replace a grid that held data; a size below 1 leaves no grid.
TEST(AllocateGrid, ReplacesAnyGridWithAZeroedOne)
{
    CTerrainModel model;
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{3, 2}, {1100, 1000}, {1100, 1000}, {5, 7}}) {
        SCOPED_TRACE(testing::Message() << w << " x " << h);
        ASSERT_EQ(model.AllocateGrid(w, h), 0);
        const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
        std::size_t nonZero = 0;
        for (std::size_t i = 0; i < count; ++i)
            nonZero += model.m_grid[i] != 0.0f;
        EXPECT_EQ(nonZero, 0u);
        for (std::size_t i = 0; i < count; ++i)
            model.m_grid[i] = 1.0f; // the next allocation must not see these
    }
    EXPECT_EQ(model.AllocateGrid(0, 5), -1);
    EXPECT_EQ(model.m_grid, nullptr);
}

TEST(NormaliseHeights, SpansZeroTo255AndLeavesFlatGrids)
{
    CTerrainModel model;
    ASSERT_EQ(model.AllocateGrid(3, 2), 0);
    const float values[] = {-20.0f, 5.0f, 1000.0f, 490.0f, 3.0f, 17.5f};
    std::copy(std::begin(values), std::end(values), model.m_grid);
    model.NormaliseHeights();
    EXPECT_EQ(model.m_grid[0], 0.0f);
    EXPECT_NEAR(model.m_grid[2], 255.0f, 1e-4f);
    EXPECT_FLOAT_EQ(model.m_grid[3], 127.5f);

    for (int i = 0; i < 6; ++i)
        model.m_grid[i] = 42.0f;
    model.NormaliseHeights();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(model.m_grid[i], 42.0f);
}

TEST(WriteHeightmapFile, TruncatesLevelsAndReadsBack)
{
    CTerrainModel model;
    ASSERT_EQ(model.AllocateGrid(5, 3), 0);
    const float samples[] = {0.0f, 0.99f, 254.99f, 255.0f, 255.00002f, 17.5f, 100.0f, 1.0f, 2.5f, 200.7f, 3.0f, 4.0f,
        5.0f, 6.0f, 256.0f};
    const int levels[] = {0, 0, 254, 255, 255, 17, 100, 1, 2, 200, 3, 4, 5, 6, 0};
    std::copy(std::begin(samples), std::end(samples), model.m_grid);
    const std::string path = TempPath("heightmap.bmp");
    ASSERT_EQ(model.WriteHeightmapFile(path.c_str()), 0);

    CBitmapEx image;
    image.LoadFromFile(path.c_str());
    ASSERT_TRUE(image.HasPixels());
    ASSERT_EQ(image.Width(), 5);
    ASSERT_EQ(image.Height(), 3);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(image.ReadPixel(i % 5, i / 5), static_cast<std::uint32_t>(levels[i]) * 0x010101u) << i;
#if defined(VP_HAVE_QT)
    QImage qt(QString::fromStdString(path));
    ASSERT_FALSE(qt.isNull());
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(qRed(qt.pixel(i % 5, i / 5)), levels[i]) << i;
#endif
    CTerrainModel loaded;
    EXPECT_EQ(loaded.LoadHeightmap(path.c_str()), 0);
    EXPECT_EQ(loaded.m_gridWidth, 5);
    EXPECT_EQ(loaded.m_gridHeight, 3);
    std::remove(path.c_str());

    CTerrainModel empty;
    EXPECT_EQ(empty.WriteHeightmapFile(path.c_str()), -1);
    EXPECT_EQ(model.WriteHeightmapFile("/nonexistent-folder/x.bmp"), -1);
    EXPECT_EQ(empty.LoadHeightmap("/nonexistent-folder/x.bmp"), -1);
}
