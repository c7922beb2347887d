#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainModel.h"
#include "tests/terrain/ElevationTestSupport.h"
#include "terrain/TerrainFiles.h"

using namespace elevation_test;

TEST(CHeightmap16File, CodeIsTheLevelTimes257RoundedAndClamped)
{
    const struct {
        float level;
        int code;
    } cases[] = {{0.0f, 0}, {-3.0f, 0}, {NAN, 0}, {0.002f, 1}, {1.0f, 257}, {127.5f, 32768}, {254.999f, 65535},
        {300.0f, 65535}};
    for (const auto& c : cases)
        EXPECT_EQ(CHeightmap16File::Code(c.level), c.code) << c.level;
}

TEST(CHeightmap16File, HeightsAndScaleSurviveARoundTrip)
{
    const std::string folder = MakeFolder("h16_roundtrip");
    const std::string path = folder + "/" + TerrainFiles::kHeights16;
    // Non-square, more rows than one written block, every code reached.
    std::vector<float> levels(257 * 300);
    for (std::size_t i = 0; i < levels.size(); ++i)
        levels[i] = static_cast<float>(i % 65536) / 257.0f;
    ASSERT_EQ(CHeightmap16File::WriteLevels(path.c_str(), levels.data(), 257, 300, 0.0123456789012345), 0);
    std::vector<std::uint16_t> codes;
    std::int32_t w = 0;
    std::int32_t h = 0;
    double scale = 0.0;
    ASSERT_EQ(CHeightmap16File::Read(path.c_str(), codes, w, h, scale), 0);
    EXPECT_EQ(w, 257);
    EXPECT_EQ(h, 300);
    EXPECT_EQ(scale, 0.0123456789012345);
    ASSERT_EQ(codes.size(), levels.size());
    for (std::size_t i = 0; i < codes.size(); ++i)
        ASSERT_EQ(codes[i], i % 65536) << i;
    EXPECT_EQ(Entries(folder), std::vector<std::string>{TerrainFiles::kHeights16}); // no side files

    // Files that are not a 16-bit heightmap of ours leave the outputs alone.
    ASSERT_TRUE(MakeRaster(folder + "/bytes.tif", "GTiff", MakeValues(8, 8, GDT_Byte, [](int x, int) { return x; })));
    ASSERT_TRUE(MakeRaster(folder + "/noscale.tif", "GTiff", MakeValues(8, 8, GDT_UInt16, [](int x, int) { return x; })));
    ASSERT_TRUE(MakeRaster(folder + "/other.png", "PNG", MakeValues(8, 8, GDT_UInt16, [](int x, int) { return x; })));
    WriteFile(folder + "/garbage.tif", "II*\x00 not a tiff");
    for (const char* name : {"missing.tif", "bytes.tif", "noscale.tif", "other.png", "garbage.tif"}) {
        EXPECT_EQ(CHeightmap16File::Read((folder + "/" + name).c_str(), codes, w, h, scale), -1) << name;
        EXPECT_EQ(codes.size(), levels.size());
        EXPECT_EQ(scale, 0.0123456789012345);
    }
    // Scales outside the sane range are refused; its ends are taken.
    for (double badScale : {0.0, -1.0, double(NAN), double(INFINITY), 1e300, 16.5, 1e-13})
        EXPECT_EQ(CHeightmap16File::WriteLevels(path.c_str(), levels.data(), 257, 300, badScale), -1) << badScale;
    for (double edge : {CHeightmap16File::kMinHeightScale, CHeightmap16File::kMaxHeightScale})
        EXPECT_EQ(CHeightmap16File::WriteLevels(path.c_str(), levels.data(), 257, 300, edge), 0) << edge;
}

// The viewer's path: the 8-bit heightmap, then the 16-bit file beside it.
TEST(CHeightmap16File, ModelWindowsHoldCodesOnlyWithAMatchingFile)
{
    const std::string folder = MakeFolder("h16_model");
    const int w = 40;
    const int h = 25;
    CTerrainModel model;
    ASSERT_EQ(model.m_image.CreateBlank(w, h), 0);
    std::vector<float> levels(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            model.m_image.WritePixel(x, y, static_cast<std::uint32_t>((x * 100 + y) / 257) * 0x010101u);
            levels[static_cast<std::size_t>(y) * w + x] = static_cast<float>(x * 100 + y) / 257.0f;
        }
    model.m_gridWidth = w;
    model.m_gridHeight = h;
    const std::string path = folder + "/" + TerrainFiles::kHeights16;
    ASSERT_EQ(CHeightmap16File::WriteLevels(path.c_str(), levels.data(), w, h, 0.01), 0);
    ASSERT_EQ(CHeightmap16File::WriteLevels((folder + "/small.tif").c_str(), levels.data(), w - 1, h, 0.01), 0);
    WriteFile(folder + "/broken.tif", "broken");
    // Scales that would put the camera at infinity or beyond any terrain,
    // written past WriteLevels, which refuses them.
    for (const char* scale : {"1e300", "1e30", "17", "0"}) {
        const std::string file = folder + "/scale" + scale + ".tif";
        ASSERT_EQ(CHeightmap16File::WriteLevels(file.c_str(), levels.data(), w, h, 0.01), 0);
        GDALDatasetH dataset = GDALOpen(file.c_str(), GA_Update);
        ASSERT_NE(dataset, nullptr);
        GDALSetMetadataItem(dataset, CHeightmap16File::kScaleItem, scale, nullptr);
        GDALClose(dataset);
    }
    // 40000 x 40000 codes that take no room on disk: refused from the header,
    // before its 3 GB of samples are read.
    ASSERT_TRUE(MakeSparse(folder + "/big.tif", 40000, 40000, GDT_UInt16, CHeightmap16File::kScaleItem, "0.01"));

    const struct {
        const char* file;
        int result;
        bool codes;
    } cases[] = {{TerrainFiles::kHeights16, 0, true}, {"none.tif", 0, false}, {"small.tif", -1, false},
        {"broken.tif", -1, false}, {"scale1e300.tif", -1, false}, {"scale1e30.tif", -1, false},
        {"scale17.tif", -1, false}, {"scale0.tif", -1, false}, {"big.tif", -1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(model.LoadHeights16(path.c_str()), 0); // each case replaces loaded heights
        EXPECT_LT(PeakGrowthMegabytes([&] {
            EXPECT_EQ(model.LoadHeights16((folder + "/" + c.file).c_str()), c.result);
        }), 100.0);
        EXPECT_EQ(model.HasHeights16(), c.codes);
        EXPECT_FLOAT_EQ(model.HeightScale(), c.codes ? 0.01f : 2.5f);
        // Clamped at the far edge and repeated at a negative origin, as
        // classic windows are.
        std::int32_t cw = 10;
        std::int32_t ch = 10;
        std::vector<std::int32_t> window(100, -1);
        ASSERT_EQ(model.ExtractWindow(-2, 20, cw, ch, window.data()), 0);
        ASSERT_EQ(cw, 10);
        ASSERT_EQ(ch, 5);
        for (int k = 0; k < ch; ++k)
            for (int i = 0; i < cw; ++i) {
                const int code = std::max(0, i - 2) * 100 + 20 + k;
                ASSERT_EQ(window[static_cast<std::size_t>(k) * cw + i], c.codes ? code : code / 257);
            }
    }
    CTerrainModel empty; // nothing to pair the file with
    EXPECT_EQ(empty.LoadHeights16(path.c_str()), -1);
}
