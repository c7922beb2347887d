// The streamed terrain source against the classic folder and on the rasters
// users bring: mosaics of SRTM tiles, degrees, holes, broken files, imagery.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "ElevationTestSupport.h"
#include "terrain/CBitmapEx.h"
#include "terrain/CFolderTerrainSource.h"
#include "terrain/CGdalTerrainSource.h"
#include "terrain/CTerrainModel.h"

using namespace elevation_test;

namespace {

// Reads the w x h window at (x0, z0); the sizes as the source left them.
std::vector<std::int32_t> Window(ITerrainSource& source, std::int32_t x0, std::int32_t z0, std::int32_t* w,
                                 std::int32_t* h, int* status = nullptr)
{
    std::vector<std::int32_t> window(static_cast<std::size_t>(*w) * *h, -7);
    const int read = source.ReadWindow(x0, z0, w, h, window.data());
    if (status != nullptr)
        *status = read;
    window.resize(*w > 0 && *h > 0 ? static_cast<std::size_t>(*w) * *h : 0);
    return window;
}

} // namespace

TEST(CGdalTerrainSourceTest, ClassicFolderAndItsGeoTiffGiveTheSameWindows)
{
    const std::string folder = MakeFolder("classic");
    const std::int32_t w = 67;
    const std::int32_t h = 45;
    CTerrainModel generated;
    ASSERT_EQ(generated.AllocateGrid(w, h), 0);
    for (std::int32_t y = 0; y < h; ++y)
        for (std::int32_t x = 0; x < w; ++x)
            generated.m_grid[x + y * w] = static_cast<float>(127.5 + 127.0 * std::sin(x * 0.21) * std::cos(y * 0.17));
    const std::string bmp = folder + "/h.bmp";
    const std::string tif = folder + "/h16.tif";
    ASSERT_EQ(generated.WriteHeightmapFile(bmp.c_str()), 0);
    ASSERT_EQ(CHeightmap16File::WriteLevels(tif.c_str(), generated.m_grid, w, h, 0.0123), 0);

    CTerrainModel model;
    ASSERT_EQ(model.LoadHeightmap(bmp.c_str()), 0);
    ASSERT_EQ(model.LoadHeights16(tif.c_str()), 0);
    CFolderTerrainSource classic(model, nullptr);
    CGdalTerrainSource streamed;
    ASSERT_EQ(streamed.Open({tif}), 0) << streamed.Message();
    EXPECT_EQ(streamed.Width(), w);
    EXPECT_EQ(streamed.Height(), h);
    EXPECT_FLOAT_EQ(streamed.HeightScale(), classic.HeightScale());

    struct Case {
        std::int32_t x0, z0, w, h;
    };
    // Inside, on both far edges (clamped and exactly on them), before the
    // origin (repeated first column and row), and wholly past the far edge.
    for (const Case& c : {Case{0, 0, 33, 22}, Case{10, 7, 20, 30}, Case{50, 30, 33, 22}, Case{34, 23, 33, 22},
                          Case{-3, -2, 10, 8}, Case{66, 44, 5, 5}, Case{70, 0, 5, 5}}) {
        std::int32_t cw = c.w, ch = c.h, sw = c.w, sh = c.h;
        int classicStatus = 0, streamedStatus = 0;
        const auto expected = Window(classic, c.x0, c.z0, &cw, &ch, &classicStatus);
        const auto actual = Window(streamed, c.x0, c.z0, &sw, &sh, &streamedStatus);
        EXPECT_EQ(streamedStatus, classicStatus);
        EXPECT_EQ(sw, cw) << c.x0 << "," << c.z0;
        EXPECT_EQ(sh, ch) << c.x0 << "," << c.z0;
        EXPECT_EQ(actual, expected) << c.x0 << "," << c.z0;
    }
}

TEST(CGdalTerrainSourceTest, FourHgtTilesMosaicWithoutSeams)
{
    const std::string folder = MakeFolder("mosaic");
    constexpr std::int32_t kSide = 1201;
    // One height per global sample: tiles share their edge samples.
    const auto height = [](std::int32_t gx, std::int32_t gy) { return (gx * 3 + gy * 5) % 3000; };
    std::vector<std::string> tiles;
    for (int lat = 46; lat <= 47; ++lat) {
        for (int lon = 6; lon <= 7; ++lon) {
            const std::int32_t ox = (lon - 6) * (kSide - 1);
            const std::int32_t oy = (47 - lat) * (kSide - 1);
            const std::string path = folder + "/N" + std::to_string(lat) + "E00" + std::to_string(lon) + ".hgt";
            Raster tile = MakeValues(kSide, kSide, GDT_Int16, [&](std::int32_t x, std::int32_t y) {
                return height(ox + x, oy + y);
            });
            const double step = 1.0 / (kSide - 1);
            tile.geoTransform = {lon - step / 2, step, 0.0, lat + 1 + step / 2, 0.0, -step};
            tile.epsg = 4326;
            ASSERT_TRUE(MakeRaster(path, "SRTMHGT", tile));
            tiles.push_back(path);
        }
    }
    CGdalTerrainSource source;
    ASSERT_EQ(source.Open(tiles), 0) << source.Message();
    ASSERT_EQ(source.Width(), 2 * kSide - 1);
    ASSERT_EQ(source.Height(), 2 * kSide - 1);
    EXPECT_NEAR(source.Spacing(), (92.7 * std::cos(46.5 * M_PI / 180.0) + 92.1) / 2.0, 2.0);
    // A window across both seams, and one along the far corner.
    for (const std::int32_t x0 : {1100, 2300}) {
        std::int32_t w = 150, h = 150;
        const auto window = Window(source, x0, x0, &w, &h);
        ASSERT_EQ(w, std::min(150, 2 * kSide - 1 - x0));
        for (std::int32_t k = 0; k < h; ++k)
            for (std::int32_t i = 0; i < w; ++i)
                ASSERT_EQ(window[i + k * w], height(x0 + i, x0 + k)) << i << "," << k;
    }
}

TEST(CGdalTerrainSourceTest, NonSquareRasterInDegreesStretchesItsHeights)
{
    const std::string path = MakeFolder("degrees") + "/dem.tif";
    Raster raster = MakeValues(300, 200, GDT_Float32, [](std::int32_t x, std::int32_t y) { return 100.0 + x + 0.5 * y; });
    raster.geoTransform = {10.0, 0.001, 0.0, 60.1, 0.0, -0.001};
    raster.epsg = 4326;
    ASSERT_TRUE(MakeRaster(path, "GTiff", raster));
    CGdalTerrainSource source;
    ASSERT_EQ(source.Open({path}, 2.0), 0) << source.Message();
    EXPECT_EQ(source.Width(), 300);
    EXPECT_EQ(source.Height(), 200);
    const double spacing = (111320.0 * std::cos(60.0 * M_PI / 180.0) * 0.001 + 110574.0 * 0.001) / 2.0;
    EXPECT_NEAR(source.Spacing(), spacing, 1e-6);
    // 100 .. 498.5 metres over 0..65535, times 2, in samples.
    EXPECT_NEAR(source.HeightScale(), 398.5 / 65535.0 / spacing * 2.0, 1e-9);
    std::int32_t w = 300, h = 200;
    const auto window = Window(source, 0, 0, &w, &h);
    EXPECT_EQ(window.front(), 0);
    EXPECT_EQ(window.back(), 65535);
    EXPECT_EQ(window[150 + 100 * 300], std::lround((150 + 50) * 65535.0 / 398.5));
}

// Holes, tagged as no-data or an untagged float fill value, take heights
// between their rims and stay out of the code range: every other sample keeps
// its own code (integers one a metre, floats stretched over all the codes).
TEST(CGdalTerrainSourceTest, HolesTaggedOrNotAreFilledFromTheirNeighbours)
{
    const struct {
        GDALDataType type;
        bool tagged;
        double fill;
        std::int32_t side, first, end; // the hole: [first, end) on both axes
        double codesPerMetre;
    } cases[] = {
        {GDT_Int16, true, -32768.0, 20, 8, 12, 1.0},
        {GDT_Float32, false, -3.4e38, 30, 0, 3, 65535.0 / 29.0}, // 200 .. 229 m
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fill);
        const auto hole = [&](std::int32_t x, std::int32_t y) { return x >= c.first && x < c.end && y >= c.first && y < c.end; };
        Raster raster = MakeValues(c.side, c.side, c.type, [&](std::int32_t x, std::int32_t y) { return hole(x, y) ? c.fill : 200.0 + x; });
        raster.hasNoData = c.tagged;
        raster.noData = c.fill;
        const std::string path = MakeFolder(c.tagged ? "holes" : "fill") + "/dem.tif";
        ASSERT_TRUE(MakeRaster(path, "GTiff", raster));
        CGdalTerrainSource source;
        ASSERT_EQ(source.Open({path}), 0) << source.Message();
        std::int32_t w = c.side, h = c.side;
        const auto window = Window(source, 0, 0, &w, &h);
        const long rimLow = std::lround(std::max(c.first - 1, 0) * c.codesPerMetre), rimHigh = std::lround(c.end * c.codesPerMetre);
        for (std::int32_t z = 0; z < c.side; ++z) {
            for (std::int32_t x = 0; x < c.side; ++x) {
                const std::int32_t code = window[x + z * c.side];
                if (!hole(x, z))
                    EXPECT_EQ(code, std::lround(x * c.codesPerMetre)) << x << "," << z;
                else if (code < rimLow || code > rimHigh)
                    ADD_FAILURE() << "hole sample " << x << "," << z << " outside its rims: " << code;
            }
        }
    }
}

TEST(CGdalTerrainSourceTest, BrokenFilesAreRefusedOrFailToReadWithoutCrashing)
{
    const std::string folder = MakeFolder("broken");
    CGdalTerrainSource missing;
    EXPECT_EQ(missing.Open({folder + "/none.tif"}), -1);
    EXPECT_NE(missing.Message().find("No existe el fichero"), std::string::npos);

    const std::string corrupt = folder + "/corrupt.tif";
    WriteFile(corrupt, std::string("II*\0", 4) + std::string(3000, '\x7f'));
    CGdalTerrainSource refused;
    EXPECT_EQ(refused.Open({corrupt}), -1);
    EXPECT_NE(refused.Message().find(corrupt), std::string::npos);

    const std::string whole = folder + "/whole.tif";
    ASSERT_TRUE(MakeRaster(whole, "GTiff", MakeValues(512, 512, GDT_UInt16, [](std::int32_t x, std::int32_t y) {
        return static_cast<double>((x * 7919 + y * 104729) % 65536);
    })));
    const std::string content = ReadFile(whole);
    const std::string truncated = folder + "/truncated.tif";
    WriteFile(truncated, content.substr(0, content.size() / 2));
    CGdalTerrainSource cut;
    if (cut.Open({truncated}) == 0) {
        std::int32_t w = 512, h = 512;
        int status = 0;
        Window(cut, 0, 0, &w, &h, &status);
        EXPECT_EQ(status, -1);
    } else {
        EXPECT_FALSE(cut.Message().empty());
    }
    CGdalTerrainSource mosaic;
    EXPECT_EQ(mosaic.Open({whole, corrupt}), -1);
    EXPECT_NE(mosaic.Message().find(corrupt), std::string::npos);
}

TEST(CGdalTerrainSourceTest, ImageryIsPlacedByItsGeoreferencing)
{
    const std::string folder = MakeFolder("imagery");
    Raster dem = MakeValues(40, 40, GDT_Int16, [](std::int32_t x, std::int32_t) { return x; });
    dem.geoTransform = {1000.0, 10.0, 0.0, 5000.0, 0.0, -10.0};
    dem.epsg = 32632;
    ASSERT_TRUE(MakeRaster(folder + "/dem.tif", "GTiff", dem));
    // Twice as fine, covering the right half of the terrain only: red grows
    // east, green south.
    CGdal::Initialise();
    GDALDatasetH image = GDALCreate(GDALGetDriverByName("GTiff"), (folder + "/rgb.tif").c_str(), 40, 80, 3, GDT_Byte, nullptr);
    double transform[6] = {1200.0, 5.0, 0.0, 5000.0, 0.0, -5.0};
    GDALSetGeoTransform(image, transform);
    std::vector<std::uint8_t> band(40 * 80);
    for (int b = 1; b <= 3; ++b) {
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 40; ++x)
                band[x + y * 40] = static_cast<std::uint8_t>(b == 1 ? x * 6 : b == 2 ? y * 3 : 77);
        ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(image, b), GF_Write, 0, 0, 40, 80, band.data(), 40, 80, GDT_Byte, 0, 0), CE_None);
    }
    GDALClose(image);

    CGdalTerrainSource source;
    ASSERT_EQ(source.Open({folder + "/dem.tif"}), 0) << source.Message();
    CBitmapEx colours;
    EXPECT_EQ(source.ReadColours(0, 0, 40, 40, &colours), -1); // no imagery: painted instead
    ASSERT_EQ(source.OpenImagery(folder + "/rgb.tif"), 0) << source.Message();
    ASSERT_EQ(source.ReadColours(10, 4, 20, 20, &colours), 0);
    ASSERT_EQ(colours.Width(), 20);
    // Left half of the window: outside the imagery, black.
    EXPECT_EQ(colours.ReadPixel(5, 5) & 0xFFFFFFu, 0u);
    // Sample (25, 14) of the terrain is imagery pixels (10..11, 28..29).
    const std::uint32_t pixel = colours.ReadPixel(15, 10);
    EXPECT_NEAR(static_cast<int>((pixel >> 16) & 0xFF), 63, 4);
    EXPECT_NEAR(static_cast<int>((pixel >> 8) & 0xFF), 85, 3);
    EXPECT_EQ(pixel & 0xFF, 77u);
}
