#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainModel.h"
#include "tests/terrain/ElevationTestSupport.h"

using namespace elevation_test;

TEST(CHeightmap16File, CodeIsTheLevelTimes257RoundedAndClamped)
{
    const struct {
        float level;
        int code;
    } cases[] = {
        {0.0f, 0}, {-3.0f, 0}, {NAN, 0}, {0.001f, 0}, {0.002f, 1}, {1.0f, 257}, {127.5f, 32768},
        {254.999f, 65535}, {255.0f, 65535}, {300.0f, 65535},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CHeightmap16File::Code(c.level), c.code) << c.level;
}

TEST(CHeightmap16File, HeightsAndScaleSurviveARoundTrip)
{
    const std::string folder = MakeFolder("h16_roundtrip");
    const std::string path = folder + "/" + CHeightmap16File::kName;
    // Non-square, more rows than one written block, every code reached.
    const std::int32_t width = 257;
    const std::int32_t height = 300;
    std::vector<float> levels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < levels.size(); ++i)
        levels[i] = static_cast<float>(i % 65536) / 257.0f;
    const double transform[6] = {500000.0, 30.0, 0.0, 4600000.0, 0.0, -30.0};
    ASSERT_EQ(CHeightmap16File::WriteLevels(path.c_str(), levels.data(), width, height, 0.0123456789012345,
                  transform, nullptr),
        0);

    std::vector<std::uint16_t> codes;
    std::int32_t w = 0;
    std::int32_t h = 0;
    double scale = 0.0;
    ASSERT_EQ(CHeightmap16File::Read(path.c_str(), codes, w, h, scale), 0);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_EQ(scale, 0.0123456789012345);
    ASSERT_EQ(codes.size(), levels.size());
    for (std::size_t i = 0; i < codes.size(); ++i)
        ASSERT_EQ(codes[i], i % 65536) << i;
    EXPECT_EQ(Entries(folder), std::vector<std::string>{CHeightmap16File::kName}); // no side files
}

TEST(CHeightmap16File, RefusesFilesThatAreNotOurs)
{
    const std::string folder = MakeFolder("h16_refuse");
    Raster bytes = MakeValues(8, 8, GDT_Byte, [](int x, int y) { return x + y; });
    Raster noScale = MakeValues(8, 8, GDT_UInt16, [](int x, int y) { return x * y; });
    ASSERT_TRUE(MakeRaster(folder + "/bytes.tif", "GTiff", bytes));
    ASSERT_TRUE(MakeRaster(folder + "/noscale.tif", "GTiff", noScale));
    WriteFile(folder + "/garbage.tif", "II*\x00 not a tiff at all");
    Raster png = MakeValues(8, 8, GDT_UInt16, [](int x, int y) { return x * y; });
    ASSERT_TRUE(MakeRaster(folder + "/other.png", "PNG", png)); // 16-bit, but not a GeoTIFF

    for (const char* name : {"missing.tif", "bytes.tif", "noscale.tif", "garbage.tif", "other.png"}) {
        SCOPED_TRACE(name);
        std::vector<std::uint16_t> codes = {7};
        std::int32_t w = 3;
        std::int32_t h = 4;
        double scale = 5.0;
        EXPECT_EQ(CHeightmap16File::Read((folder + "/" + name).c_str(), codes, w, h, scale), -1);
        EXPECT_EQ(codes, std::vector<std::uint16_t>{7});
        EXPECT_EQ(w, 3);
        EXPECT_EQ(h, 4);
        EXPECT_EQ(scale, 5.0);
    }
    const std::vector<float> levels(64, 1.0f);
    for (double badScale : {0.0, -1.0, double(NAN), double(INFINITY)})
        EXPECT_EQ(CHeightmap16File::WriteLevels((folder + "/bad.tif").c_str(), levels.data(), 8, 8, badScale), -1);
}

namespace {

// A model with an 8-bit heightmap of w x h and, beside it, a 16-bit file of
// codes (x * 100 + y) with scale 0.01.
void MakeTerrain(CTerrainModel& model, const std::string& folder, int w, int h)
{
    ASSERT_EQ(model.m_image.CreateBlank(w, h), 0);
    std::vector<float> levels(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int code = x * 100 + y;
            model.m_image.WritePixel(x, y, static_cast<std::uint32_t>(code / 257) * 0x010101u);
            levels[static_cast<std::size_t>(y) * w + x] = static_cast<float>(code) / 257.0f;
        }
    model.m_gridWidth = w;
    model.m_gridHeight = h;
    ASSERT_EQ(CHeightmap16File::WriteLevels((folder + "/" + CHeightmap16File::kName).c_str(), levels.data(), w, h,
                  0.01),
        0);
}

} // namespace

TEST(CTerrainModel16, WindowsHoldCodesOnceTheFileIsLoaded)
{
    const std::string folder = MakeFolder("model16");
    CTerrainModel model;
    MakeTerrain(model, folder, 40, 25);
    const std::string path = folder + "/" + CHeightmap16File::kName;

    std::vector<std::int32_t> window(10 * 10, -1);
    std::int32_t w = 10;
    std::int32_t h = 10;
    ASSERT_EQ(model.ExtractWindow(35, 20, w, h, window.data()), 0);
    EXPECT_EQ(model.HeightScale(), 2.5f);
    EXPECT_EQ(window[0], (35 * 100 + 20) / 257); // classic: levels

    ASSERT_EQ(model.LoadHeights16(path.c_str()), 0);
    ASSERT_TRUE(model.HasHeights16());
    EXPECT_FLOAT_EQ(model.HeightScale(), 0.01f);
    // Clamped at the far edge like the classic windows, negative origins
    // repeat the first column.
    const struct {
        std::int32_t x0, y0, w, h, clampedW, clampedH;
    } cases[] = {{35, 20, 10, 10, 5, 5}, {0, 0, 40, 25, 40, 25}, {-2, 3, 4, 2, 4, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x0 << "," << c.y0);
        std::int32_t cw = c.w;
        std::int32_t ch = c.h;
        std::vector<std::int32_t> out(static_cast<std::size_t>(c.w) * c.h, -1);
        ASSERT_EQ(model.ExtractWindow(c.x0, c.y0, cw, ch, out.data()), 0);
        ASSERT_EQ(cw, c.clampedW);
        ASSERT_EQ(ch, c.clampedH);
        for (int k = 0; k < ch; ++k)
            for (int i = 0; i < cw; ++i)
                ASSERT_EQ(out[static_cast<std::size_t>(k) * cw + i], std::max(0, c.x0 + i) * 100 + c.y0 + k);
    }
}

TEST(CTerrainModel16, StaysClassicWithoutAUsableFile)
{
    const std::string folder = MakeFolder("model16_classic");
    CTerrainModel model;
    MakeTerrain(model, folder, 40, 25);
    const std::string path = folder + "/" + CHeightmap16File::kName;
    ASSERT_EQ(model.LoadHeights16(path.c_str()), 0);

    // No file: loaded heights are dropped, the model is classic, no error.
    EXPECT_EQ(model.LoadHeights16((folder + "/none.tif").c_str()), 0);
    EXPECT_FALSE(model.HasHeights16());
    EXPECT_EQ(model.HeightScale(), 2.5f);

    // A file of another size than the heightmap, or a broken one: error.
    std::vector<float> levels(20 * 25, 3.0f);
    ASSERT_EQ(CHeightmap16File::WriteLevels((folder + "/small.tif").c_str(), levels.data(), 20, 25, 0.01), 0);
    WriteFile(folder + "/broken.tif", "broken");
    for (const char* name : {"small.tif", "broken.tif"}) {
        ASSERT_EQ(model.LoadHeights16(path.c_str()), 0);
        EXPECT_EQ(model.LoadHeights16((folder + "/" + name).c_str()), -1) << name;
        EXPECT_FALSE(model.HasHeights16());
        EXPECT_EQ(model.HeightScale(), 2.5f);
    }

    // Without the 8-bit heightmap there is nothing to pair the file with.
    CTerrainModel empty;
    EXPECT_EQ(empty.LoadHeights16(path.c_str()), -1);
}
