#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "terrain/CBitmapEx.h"
#include "terrain/CElevationGrid.h"
#include "terrain/CElevationImporter.h"
#include "terrain/CHeightmap16File.h"
#include "tests/terrain/ElevationTestSupport.h"

using namespace elevation_test;

namespace {

const std::string kSet[3] = {"terrainMdt_8193x8193.bmp", "terrainMdt_8193x8193_16.tif",
    "terrainMdt_8193x8193_Texture.bmp"};

CElevationImporter::Settings Import(const std::string& source, const std::string& folder)
{
    CElevationImporter::Settings settings;
    settings.source = source;
    settings.folder = folder;
    settings.texturesFolder = kTiles;
    return settings;
}

// The three files of an import, read back.
struct Imported {
    CBitmapEx heightmap;
    CBitmapEx texture;
    std::vector<std::uint16_t> codes;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double scale = 0.0;
};

void ReadImported(const std::string& folder, Imported& out)
{
    EXPECT_EQ(Entries(folder), std::vector<std::string>(std::begin(kSet), std::end(kSet)));
    out.heightmap.LoadFromFile((folder + "/" + kSet[0]).c_str());
    out.texture.LoadFromFile((folder + "/" + kSet[2]).c_str());
    ASSERT_TRUE(out.heightmap.HasPixels());
    ASSERT_TRUE(out.texture.HasPixels());
    ASSERT_EQ(CHeightmap16File::Read((folder + "/" + kSet[1]).c_str(), out.codes, out.width, out.height, out.scale), 0);
    ASSERT_EQ(out.heightmap.Width(), out.width);
    ASSERT_EQ(out.heightmap.Height(), out.height);
    ASSERT_EQ(out.texture.Width(), out.width);
    ASSERT_EQ(out.texture.Height(), out.height);
    // Each bitmap level is its code's level, truncated.
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const std::uint32_t pixel = out.heightmap.ReadPixel(x, y);
            const int level = static_cast<int>(pixel & 0xFF);
            ASSERT_EQ(pixel, static_cast<std::uint32_t>(level) * 0x010101u);
            const int code = out.codes[static_cast<std::size_t>(y) * out.width + x];
            ASSERT_GE(code, level * 257 - 1) << x << "," << y;
            ASSERT_LE(code, (level + 1) * 257) << x << "," << y;
        }
}

int CodeAt(const Imported& imported, int x, int y)
{
    return imported.codes[static_cast<std::size_t>(y) * imported.width + x];
}

} // namespace

TEST(CElevationImporter, Imports16BitGeoTiffInTrueProportion)
{
    const std::string folder = MakeFolder("imp_u16");
    // Heights 1000 + 2x + 3y metres on a 30 m grid in UTM.
    Raster raster = MakeValues(65, 65, GDT_UInt16, [](int x, int y) { return 1000 + 2 * x + 3 * y; });
    raster.geoTransform = {500000.0, 30.0, 0.0, 4600000.0, 0.0, -30.0};
    raster.epsg = 32630;
    ASSERT_TRUE(MakeRaster(folder + "/dem.tif", "GTiff", raster));
    const std::string out = MakeFolder("imp_u16_out");
    CElevationImporter importer;
    ASSERT_EQ(importer.Run(Import(folder + "/dem.tif", out)), 0) << importer.Message();
    EXPECT_EQ(importer.Message(), "Terreno importado de " + folder
            + "/dem.tif: 65 x 65 pixeles, alturas de 1000.0 a 1320.0 metros, 30.00 metros por pixel");
    EXPECT_EQ(importer.Progress(), 1.0f);

    Imported imported;
    ReadImported(out, imported);
    // One world unit is one 30 m sample: 320 m of relief over 65535 codes.
    EXPECT_NEAR(imported.scale, 320.0 / 65535.0 / 30.0, 1e-12);
    EXPECT_EQ(CodeAt(imported, 0, 0), 0);
    EXPECT_EQ(CodeAt(imported, 64, 64), 65535);
    EXPECT_EQ(CodeAt(imported, 10, 20), std::lround((20.0 + 60.0) / 320.0 * 65535.0));
    EXPECT_EQ(imported.heightmap.ReadPixel(64, 64) & 0xFF, 255u);

    // The exaggeration multiplies the scale; --size resamples.
    CElevationImporter::Settings settings = Import(folder + "/dem.tif", out);
    settings.verticalScale = 3.0;
    settings.size = 33;
    CElevationImporter second;
    ASSERT_EQ(second.Run(settings), 0) << second.Message();
    Imported resampled;
    ReadImported(out, resampled);
    EXPECT_EQ(resampled.width, 33);
    EXPECT_NEAR(resampled.scale, 3.0 * 320.0 / 65535.0 / 60.0, 1e-12);
    EXPECT_EQ(CodeAt(resampled, 5, 10), CodeAt(imported, 10, 20));
}

TEST(CElevationImporter, FillsNoDataHolesOfAFloatGeoTiff)
{
    const std::string folder = MakeFolder("imp_float");
    // A smooth dome with a block of no-data and scattered NaNs.
    Raster raster = MakeValues(80, 60, GDT_Float32, [](int x, int y) {
        if (x >= 30 && x < 40 && y >= 20 && y < 30)
            return -9999.0;
        if ((x * 7 + y * 13) % 41 == 0)
            return std::nan("");
        return 500.0 + 0.25 * x * y - 0.05 * x * x;
    });
    raster.hasNoData = true;
    raster.noData = -9999.0;
    ASSERT_TRUE(MakeRaster(folder + "/dem.tif", "GTiff", raster));
    const std::string out = MakeFolder("imp_float_out");
    CElevationImporter importer;
    ASSERT_EQ(importer.Run(Import(folder + "/dem.tif", out)), 0) << importer.Message();
    Imported imported;
    ReadImported(out, imported);
    ASSERT_EQ(imported.width, 80);
    ASSERT_EQ(imported.height, 60);
    // Filled samples lie within the codes of the rim around them; the
    // -9999 value never enters the height range.
    int rimLow = 65535;
    int rimHigh = 0;
    for (int y = 19; y <= 30; ++y)
        for (int x = 29; x <= 40; ++x)
            if (x == 29 || x == 40 || y == 19 || y == 30) {
                rimLow = std::min(rimLow, CodeAt(imported, x, y));
                rimHigh = std::max(rimHigh, CodeAt(imported, x, y));
            }
    for (int y = 20; y < 30; ++y)
        for (int x = 30; x < 40; ++x) {
            EXPECT_GE(CodeAt(imported, x, y), rimLow);
            EXPECT_LE(CodeAt(imported, x, y), rimHigh);
        }
    int lowest = 65535;
    for (std::uint16_t code : imported.codes)
        lowest = std::min<int>(lowest, code);
    EXPECT_EQ(lowest, 0);
    EXPECT_GT(rimLow, 1000); // far above the bottom of the range
    // No georeferencing: 10 m per sample.
    EXPECT_NE(importer.Message().find("10.00 metros por pixel"), std::string::npos) << importer.Message();
}

TEST(CElevationImporter, ImportsABigEndianSrtmTile)
{
    const std::string folder = MakeFolder("imp_hgt");
    // A 3-arc-second tile: 1201 x 1201 signed 16-bit, voids at -32768.
    Raster raster = MakeValues(1201, 1201, GDT_Int16, [](int x, int y) {
        if (x > 600 && x < 610 && y > 300 && y < 320)
            return -32768.0;
        return 200.0 + x + 2.0 * y;
    });
    raster.geoTransform = {6.0 - 1.0 / 2400, 1.0 / 1200, 0.0, 46.0 + 1.0 / 2400, 0.0, -1.0 / 1200};
    raster.epsg = 4326;
    const std::string tile = folder + "/N45E006.hgt";
    ASSERT_TRUE(MakeRaster(tile, "SRTMHGT", raster));
    // Big-endian on disk: sample (1, 0) is 201 = 0x00C9.
    const std::string bytes = ReadFile(tile);
    ASSERT_EQ(bytes.size(), 1201u * 1201u * 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[2]), 0x00);
    EXPECT_EQ(static_cast<unsigned char>(bytes[3]), 0xC9);

    const std::string out = MakeFolder("imp_hgt_out");
    CElevationImporter::Settings settings = Import(tile, out);
    settings.size = 257;
    CElevationImporter importer;
    ASSERT_EQ(importer.Run(settings), 0) << importer.Message();
    Imported imported;
    ReadImported(out, imported);
    ASSERT_EQ(imported.width, 257);
    ASSERT_EQ(imported.height, 257);
    // 3" at 45.5 degrees north: about 65 m across and 92 m along the
    // meridian; resampled 1200 / 256 times coarser.
    const double spacing = (111320.0 * std::cos(45.5 * M_PI / 180.0) + 110574.0) / 2.0 / 1200.0 * 1200.0 / 256.0;
    EXPECT_NEAR(imported.scale, 3600.0 / 65535.0 / spacing, 1e-3 * imported.scale);
    EXPECT_EQ(CodeAt(imported, 0, 0), 0);
    EXPECT_EQ(CodeAt(imported, 256, 256), 65535);
}

TEST(CElevationImporter, ImportsANonSquareAsciiGrid)
{
    const std::string folder = MakeFolder("imp_asc");
    Raster raster = MakeValues(70, 33, GDT_Float32, [](int x, int y) { return std::sin(x * 0.2) * 50.0 + y; });
    raster.geoTransform = {0.0, 25.0, 0.0, 825.0, 0.0, -25.0};
    ASSERT_TRUE(MakeRaster(folder + "/dem.asc", "AAIGrid", raster));
    const std::string out = MakeFolder("imp_asc_out");
    CElevationImporter importer;
    ASSERT_EQ(importer.Run(Import(folder + "/dem.asc", out)), 0) << importer.Message();
    Imported imported;
    ReadImported(out, imported);
    EXPECT_EQ(imported.width, 70);
    EXPECT_EQ(imported.height, 33);
    EXPECT_EQ(importer.Width(), 70);
    EXPECT_EQ(importer.Height(), 33);
}

// Nothing the user feeds in writes anything: the earlier set stays.
TEST(CElevationImporter, BadInputLeavesTheFolderAsItWas)
{
    const std::string folder = MakeFolder("imp_bad");
    WriteFile(folder + "/garbage.tif", std::string("II*\0", 4) + std::string(5000, '\x5a'));
    Raster big = MakeValues(300, 300, GDT_UInt16, [](int x, int y) { return x + y; });
    ASSERT_TRUE(MakeRaster(folder + "/truncated.tif", "GTiff", big));
    const std::string whole = ReadFile(folder + "/truncated.tif");
    WriteFile(folder + "/truncated.tif", whole.substr(0, whole.size() / 3));
    Raster voids = MakeValues(10, 10, GDT_Int16, [](int, int) { return -32768.0; });
    voids.hasNoData = true;
    voids.noData = -32768.0;
    ASSERT_TRUE(MakeRaster(folder + "/voids.tif", "GTiff", voids));
    ASSERT_TRUE(MakeRaster(folder + "/ok.tif", "GTiff", MakeValues(10, 10, GDT_UInt16, [](int x, int) { return x; })));

    const std::string out = MakeFolder("imp_bad_out");
    for (const std::string& name : kSet)
        WriteFile(out + "/" + name, "old " + name);
    const std::string empty = MakeFolder("imp_bad_notiles");
    const struct {
        const char* name;
        std::string source;
        std::string message;
        std::string textures;
        double verticalScale;
    } cases[] = {
        {"missing", folder + "/none.tif", "No existe el fichero " + folder + "/none.tif", kTiles, 1.0},
        {"folder", folder, "No se pudo leer el fichero " + folder + ": no es un fichero", kTiles, 1.0},
        {"garbage", folder + "/garbage.tif",
            "No se pudo leer el fichero " + folder + "/garbage.tif: formato no admitido o fichero dañado", kTiles, 1.0},
        {"truncated", folder + "/truncated.tif",
            "No se pudo leer el fichero " + folder + "/truncated.tif: fichero dañado", kTiles, 1.0},
        {"voids only", folder + "/voids.tif",
            "El fichero " + folder + "/voids.tif no contiene ninguna altura válida", kTiles, 1.0},
        {"no tiles", folder + "/ok.tif", "No se pudo leer ninguna textura en la carpeta " + empty, empty, 1.0},
        {"scale", folder + "/ok.tif", "Escala vertical no válida: -2 (debe ser mayor que 0)", kTiles, -2.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CElevationImporter::Settings settings = Import(c.source, out);
        settings.texturesFolder = c.textures;
        settings.verticalScale = c.verticalScale;
        CElevationImporter importer;
        EXPECT_EQ(importer.Run(settings), -1);
        EXPECT_EQ(importer.Message(), c.message);
        EXPECT_EQ(Entries(out), std::vector<std::string>(std::begin(kSet), std::end(kSet)));
        for (const std::string& name : kSet)
            EXPECT_EQ(ReadFile(out + "/" + name), "old " + name);
    }
    CElevationImporter cancelled;
    cancelled.Cancel();
    EXPECT_EQ(cancelled.Run(Import(folder + "/ok.tif", out)), -1);
    EXPECT_EQ(cancelled.Message(), "Importación del terreno cancelada");
    EXPECT_EQ(ReadFile(out + "/" + kSet[0]), "old " + kSet[0]);
}

TEST(CElevationImporter, TargetSizeScalesTheLongerSide)
{
    const struct {
        std::int32_t width, height, size, outWidth, outHeight;
    } cases[] = {
        {3601, 3601, 0, 3601, 3601},  // own size
        {3601, 3601, 1025, 1025, 1025},
        {1201, 601, 257, 257, 129},   // proportion of the sample spans: 600 / 1200
        {601, 1201, 257, 129, 257},
        {1000, 3, 101, 101, 2},       // never below 2
        {100, 50, 8193, 8193, 4056},  // enlarging: 49 x 8192 / 99, rounded, + 1
    };
    for (const auto& c : cases) {
        std::int32_t w = 0;
        std::int32_t h = 0;
        CElevationImporter::TargetSize(c.width, c.height, c.size, w, h);
        EXPECT_EQ(w, c.outWidth) << c.width << "x" << c.height << " " << c.size;
        EXPECT_EQ(h, c.outHeight) << c.width << "x" << c.height << " " << c.size;
    }
}
