// Elevation rasters rewritten as one cloud-optimised GeoTIFF with overviews.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ElevationTestSupport.h"
#include "terrain/CCogWriter.h"
#include "terrain/CGdalTerrainSource.h"

using namespace elevation_test;

TEST(CCogWriterTest, TwoTilesBecomeOneTiledFileWithOverviewsAndTheSameSamples)
{
    const std::string folder = MakeFolder("cog");
    const auto height = [](std::int32_t gx, std::int32_t gy) { return (gx * 7 + gy * 3) % 4000; };
    std::vector<std::string> tiles;
    for (int t = 0; t < 2; ++t) {
        Raster tile = MakeValues(1100, 900, GDT_Int16, [&](std::int32_t x, std::int32_t y) { return height(x + t * 1100, y); });
        tile.geoTransform = {500000.0 + t * 1100 * 30.0, 30.0, 0.0, 4000000.0, 0.0, -30.0};
        tile.epsg = 32630;
        tiles.push_back(folder + "/tile" + std::to_string(t) + ".tif");
        ASSERT_TRUE(MakeRaster(tiles.back(), "GTiff", tile));
    }
    CCogWriter writer;
    ASSERT_EQ(writer.Run({tiles, folder + "/out.tif"}), 0) << writer.Message();
    EXPECT_EQ(Entries(folder), (std::vector<std::string>{"out.tif", "tile0.tif", "tile1.tif"}));

    CGdal::CDataset cog(GDALOpen((folder + "/out.tif").c_str(), GA_ReadOnly));
    ASSERT_TRUE(cog);
    GDALRasterBandH band = GDALGetRasterBand(cog.Get(), 1);
    EXPECT_GE(GDALGetOverviewCount(band), 1);
    int blockX = 0, blockY = 0;
    GDALGetBlockSize(band, &blockX, &blockY);
    EXPECT_EQ(blockX, 512);
    EXPECT_EQ(blockY, 512);

    CGdalTerrainSource source;
    ASSERT_EQ(source.Open({folder + "/out.tif"}), 0) << source.Message();
    ASSERT_EQ(source.Width(), 2200);
    std::int32_t w = 40, h = 5;
    std::vector<std::int32_t> window(static_cast<std::size_t>(w) * h);
    ASSERT_EQ(source.ReadWindow(1080, 100, &w, &h, window.data()), 0); // across the seam
    for (std::int32_t i = 0; i < w; ++i)
        EXPECT_EQ(window[i], height(1080 + i, 100));
}

TEST(CCogWriterTest, AFailedRunLeavesTheOutputAsItWas)
{
    const std::string folder = MakeFolder("cogfail");
    const std::string out = folder + "/out.tif";
    WriteFile(out, "before");
    CCogWriter unreadable;
    WriteFile(folder + "/bad.tif", "not a raster");
    EXPECT_EQ(unreadable.Run({{folder + "/bad.tif"}, out}), -1);
    EXPECT_NE(unreadable.Message().find("bad.tif"), std::string::npos);
    EXPECT_EQ(ReadFile(out), "before");

    ASSERT_TRUE(MakeRaster(folder + "/dem.tif", "GTiff", MakeValues(64, 64, GDT_UInt16, [](std::int32_t x, std::int32_t) { return x; })));
    CCogWriter cancelled;
    cancelled.Cancel();
    EXPECT_EQ(cancelled.Run({{folder + "/dem.tif"}, out}), -1);
    EXPECT_EQ(ReadFile(out), "before");
    EXPECT_EQ(Entries(folder), (std::vector<std::string>{"bad.tif", "dem.tif", "out.tif"}));
}
