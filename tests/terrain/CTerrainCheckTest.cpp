// Whether a terrain folder can be used, from headers and sizes alone, and
// the file and reason when not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <unistd.h>

#include <gdal.h>

#include "ElevationTestSupport.h"
#include "terrain/CBitmapEx.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainCheck.h"
#include "terrain/TerrainFiles.h"

namespace {

TEST(CTerrainCheck, DamagedFilesMakeTheSetUnusableWithTheFileAndReasonNamed)
{
    const std::string dir = elevation_test::MakeFolder("check");
    const std::string heightmap = dir + "/" + TerrainFiles::kHeightmap;
    const std::string texture = dir + "/" + TerrainFiles::kTexture;
    const std::string heights16 = dir + "/" + TerrainFiles::kHeights16;
    CBitmapEx bitmap;
    ASSERT_EQ(bitmap.CreateBlank(33, 17), 0); // 24-bit rows of 100 bytes
    const std::vector<float> levels(33 * 17, 10.0f); // enough for either width
    const struct Case {
        std::string file;
        long size; // cut to this size, or -1: a 32 x 17 16-bit file
        const char* reason;
    } cases[] = {
        {heightmap, 1753, "terrainMdt_8193x8193.bmp: está cortado: mide 1753 bytes y su cabecera pide 1754"},
        {texture, 20, "terrainMdt_8193x8193_Texture.bmp: está cortado: mide 20 bytes"},
        {heights16, 600, "terrainMdt_8193x8193_16.tif: está cortado: mide 600 bytes y sus alturas ocupan 1122"},
        {heights16, -1, "terrainMdt_8193x8193_16.tif: mide 32 x 17 y el mapa de alturas 33 x 17"},
        {heights16, 3, "terrainMdt_8193x8193_16.tif: no es un GeoTIFF"},
    };
    std::string reason;
    EXPECT_EQ(CTerrainCheck::CheckFolder(dir, &reason), CTerrainCheck::State::Missing);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        ASSERT_EQ(bitmap.SaveToFile(heightmap.c_str()), 0);
        ASSERT_EQ(bitmap.SaveToFile(texture.c_str()), 0);
        ASSERT_EQ(CHeightmap16File::WriteLevels(heights16.c_str(), levels.data(), c.size < 0 ? 32 : 33, 17, 0.01), 0);
        if (c.size >= 0) {
            ASSERT_EQ(CTerrainCheck::CheckFolder(dir, &reason), CTerrainCheck::State::Usable) << reason;
            ASSERT_EQ(::truncate(c.file.c_str(), c.size), 0);
        }
        EXPECT_EQ(CTerrainCheck::CheckFolder(dir, &reason), CTerrainCheck::State::Unusable);
        EXPECT_EQ(reason.rfind(c.reason, 0), 0u) << reason;
    }
    // A scale the viewer refuses (the camera would fly at infinity).
    ASSERT_EQ(CHeightmap16File::WriteLevels(heights16.c_str(), levels.data(), 32, 17, 0.01), 0);
    ASSERT_EQ(bitmap.CreateBlank(32, 17), 0);
    ASSERT_EQ(bitmap.SaveToFile(heightmap.c_str()), 0);
    ASSERT_EQ(bitmap.SaveToFile(texture.c_str()), 0);
    GDALDatasetH dataset = GDALOpen(heights16.c_str(), GA_Update);
    ASSERT_NE(dataset, nullptr);
    GDALSetMetadataItem(dataset, CHeightmap16File::kScaleItem, "1e300", nullptr);
    GDALClose(dataset);
    EXPECT_EQ(CTerrainCheck::CheckFolder(dir, &reason), CTerrainCheck::State::Unusable);
    EXPECT_EQ(reason, "terrainMdt_8193x8193_16.tif: su escala de alturas 1e+300 no está entre 1e-12 y 16");
}

} // namespace
