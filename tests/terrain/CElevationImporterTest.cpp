#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>


#include <cpl_conv.h>

#include "terrain/CBitmapEx.h"
#include "terrain/CElevationImporter.h"
#include "terrain/CGdal.h"
#include "terrain/CHeightmap16File.h"
#include "tests/terrain/ElevationTestSupport.h"

using namespace elevation_test;

namespace {

const std::vector<std::string> kSet
    = {"terrainMdt_8193x8193.bmp", "terrainMdt_8193x8193_16.tif", "terrainMdt_8193x8193_Texture.bmp"};

// Imports `source` into a fresh folder and reads the 16-bit heightmap back,
// checking that the three files agree: same size, each bitmap level its
// code's level truncated.
struct Imported {
    std::vector<std::uint16_t> codes;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double scale = 0.0;
    std::string message;
    int Code(int x, int y) const { return codes[static_cast<std::size_t>(y) * width + x]; }
};

Imported Import(const std::string& source, std::int32_t size = 0, double verticalScale = 1.0)
{
    const std::string folder = MakeFolder("imported");
    CElevationImporter importer;
    CElevationImporter::Settings settings{source, folder, size, verticalScale, kTiles};
    Imported out;
    EXPECT_EQ(importer.Run(settings), 0) << importer.Message();
    out.message = importer.Message();
    EXPECT_EQ(Entries(folder), kSet);
    EXPECT_EQ(CHeightmap16File::Read((folder + "/" + kSet[1]).c_str(), out.codes, out.width, out.height, out.scale), 0);
    CBitmapEx heightmap;
    CBitmapEx texture;
    heightmap.LoadFromFile((folder + "/" + kSet[0]).c_str());
    texture.LoadFromFile((folder + "/" + kSet[2]).c_str());
    EXPECT_EQ(heightmap.Width(), out.width);
    EXPECT_EQ(heightmap.Height(), out.height);
    EXPECT_EQ(texture.Width(), out.width);
    EXPECT_EQ(texture.Height(), out.height);
    for (int y = 0; y < out.height && heightmap.HasPixels(); ++y)
        for (int x = 0; x < out.width; ++x) {
            const int level = static_cast<int>(heightmap.ReadPixel(x, y) & 0xFF);
            EXPECT_TRUE(out.Code(x, y) >= level * 257 - 1 && out.Code(x, y) <= (level + 1) * 257) << x << "," << y;
        }
    return out;
}

} // namespace

TEST(CElevationImporter, Imports16BitGeoTiffInTrueProportion)
{
    const std::string folder = MakeFolder("imp_u16");
    // Heights 1000 + 2x + 3y metres on a 30 m grid in UTM.
    Raster raster = MakeValues(513, 513, GDT_UInt16, [](int x, int y) { return 1000 + 2 * x + 3 * y; });
    raster.geoTransform = {500000.0, 30.0, 0.0, 4600000.0, 0.0, -30.0};
    raster.epsg = 32630;
    ASSERT_TRUE(MakeRaster(folder + "/dem.tif", "GTiff", raster));
    const Imported full = Import(folder + "/dem.tif");
    EXPECT_EQ(full.message, "Terreno importado de " + folder
            + "/dem.tif: 513 x 513 pixeles, alturas de 1000.0 a 3560.0 metros, 30.00 metros por pixel");
    EXPECT_NEAR(full.scale, 2560.0 / 65535.0 / 30.0, 1e-12); // a world unit is one 30 m sample
    EXPECT_EQ(full.Code(0, 0), 0);
    EXPECT_EQ(full.Code(512, 512), 65535);
    EXPECT_EQ(full.Code(10, 20), std::lround(80.0 / 2560.0 * 65535.0));

    // --size resamples (the samples now 60 m apart); the exaggeration
    // multiplies the scale.
    const Imported half = Import(folder + "/dem.tif", 257, 3.0);
    EXPECT_EQ(half.width, 257);
    EXPECT_NEAR(half.scale, 3.0 * 2560.0 / 65535.0 / 60.0, 1e-12);
    EXPECT_EQ(half.Code(5, 10), full.Code(10, 20));
}

TEST(CElevationImporter, FillsTheHolesOfAFloatGeoTiff)
{
    const std::string folder = MakeFolder("imp_float");
    // A dome with a block of no-data (-9999) and scattered NaNs.
    Raster raster = MakeValues(300, 280, GDT_Float32, [](int x, int y) {
        if (x >= 130 && x < 140 && y >= 120 && y < 130)
            return -9999.0;
        return (x * 7 + y * 13) % 41 == 0 ? std::nan("") : 500.0 + 0.25 * x * y - 0.05 * x * x;
    });
    raster.hasNoData = true;
    raster.noData = -9999.0;
    ASSERT_TRUE(MakeRaster(folder + "/dem.tif", "GTiff", raster));
    const Imported imported = Import(folder + "/dem.tif");
    EXPECT_NE(imported.message.find("10.00 metros por pixel"), std::string::npos); // no georeferencing
    // The filled block lies within the codes of its rim, far above the
    // bottom of the range (-9999 is no height).
    int rimLow = 65535;
    int rimHigh = 0;
    for (int k = 0; k < 12; ++k)
        for (int code : {imported.Code(129 + k, 119), imported.Code(129 + k, 130), imported.Code(129, 119 + k),
                 imported.Code(140, 119 + k)}) {
            rimLow = std::min(rimLow, code);
            rimHigh = std::max(rimHigh, code);
        }
    EXPECT_GT(rimLow, 1000);
    for (int y = 120; y < 130; ++y)
        for (int x = 130; x < 140; ++x)
            EXPECT_TRUE(imported.Code(x, y) >= rimLow && imported.Code(x, y) <= rimHigh) << x << "," << y;
}

TEST(CElevationImporter, ImportsABigEndianSrtmTileAndANonSquareGrid)
{
    const std::string folder = MakeFolder("imp_hgt");
    // A 3-arc-second tile, signed 16-bit with voids at -32768.
    Raster tile = MakeValues(1201, 1201, GDT_Int16, [](int x, int y) {
        return x > 600 && x < 610 && y > 300 && y < 320 ? -32768.0 : 200.0 + x + 2.0 * y;
    });
    tile.geoTransform = {6.0 - 1.0 / 2400, 1.0 / 1200, 0.0, 46.0 + 1.0 / 2400, 0.0, -1.0 / 1200};
    tile.epsg = 4326;
    ASSERT_TRUE(MakeRaster(folder + "/N45E006.hgt", "SRTMHGT", tile));
    const std::string bytes = ReadFile(folder + "/N45E006.hgt");
    ASSERT_EQ(bytes.size(), 1201u * 1201u * 2u);
    EXPECT_EQ(bytes.substr(2, 2), std::string("\x00\xC9", 2)); // sample (1, 0) = 201, big-endian
    const Imported imported = Import(folder + "/N45E006.hgt", 257);
    ASSERT_EQ(imported.width, 257);
    ASSERT_EQ(imported.height, 257);
    // 3" at 45.5 degrees north: about 65 m across and 92 m along the
    // meridian, resampled 1200 / 256 times coarser.
    const double spacing = (111320.0 * std::cos(45.5 * M_PI / 180.0) + 110574.0) / 2.0 / 256.0;
    EXPECT_NEAR(imported.scale, 3600.0 / 65535.0 / spacing, 1e-3 * imported.scale);
    EXPECT_EQ(imported.Code(256, 256), 65535);

    // Wider than high, an ASCII grid: the size stays, and --size scales the
    // longer side with the other in proportion.
    ASSERT_TRUE(MakeRaster(folder + "/dem.asc", "AAIGrid",
        MakeValues(300, 260, GDT_Float32, [](int x, int y) { return std::sin(x * 0.2) * 50.0 + y; })));
    EXPECT_EQ(Import(folder + "/dem.asc").width, 300);
    const Imported wide = Import(folder + "/dem.asc", 599);
    EXPECT_EQ(wide.width, 599);
    EXPECT_EQ(wide.height, 519);
}

// A VRT of one raw band reading `file` as width x height bytes.
std::string RawVrt(const std::string& file, int width, int height)
{
    return "<VRTDataset rasterXSize=\"" + std::to_string(width) + "\" rasterYSize=\"" + std::to_string(height)
        + "\"><VRTRasterBand dataType=\"Byte\" band=\"1\" subClass=\"VRTRawRasterBand\"><SourceFilename>" + file
        + "</SourceFilename></VRTRasterBand></VRTDataset>";
}

// Nothing the user feeds in writes anything: the earlier set stays, and a
// file refused for its size is refused before its samples cost memory.
TEST(CElevationImporter, BadInputLeavesTheFolderAsItWas)
{
    const std::string folder = MakeFolder("imp_bad");
    WriteFile(folder + "/garbage.tif", std::string("II*\0", 4) + std::string(5000, 'Z'));
    ASSERT_TRUE(MakeRaster(folder + "/cut.tif", "GTiff", MakeValues(300, 300, GDT_UInt16, [](int x, int) { return x; })));
    WriteFile(folder + "/cut.tif", ReadFile(folder + "/cut.tif").substr(0, 60000));
    Raster voids = MakeValues(257, 257, GDT_Int16, [](int, int) { return -32768.0; });
    voids.hasNoData = true;
    voids.noData = -32768.0;
    ASSERT_TRUE(MakeRaster(folder + "/voids.tif", "GTiff", voids));
    const auto ramp = [](int x, int) { return x; };
    ASSERT_TRUE(MakeRaster(folder + "/ok.tif", "GTiff", MakeValues(257, 257, GDT_UInt16, ramp)));
    ASSERT_TRUE(MakeRaster(folder + "/g3.asc", "AAIGrid", MakeValues(3, 3, GDT_Float32, ramp)));
    Raster tiny = MakeValues(257, 257, GDT_UInt16, ramp);
    tiny.geoTransform = {0.0, 1e-30, 0.0, 0.0, 0.0, -1e-30};
    tiny.epsg = 32630;
    ASSERT_TRUE(MakeRaster(folder + "/tiny.tif", "GTiff", tiny));
    ASSERT_TRUE(MakeSparse(folder + "/big.tif", 20000, 20000, GDT_Float32));
    // Raw bands wherever a VRT can hide them: itself, a VRT it reads by name
    // or as text; a VRT that names itself ends the search.
    WriteFile(folder + "/raw.vrt", RawVrt("/etc/passwd", 40, 20));
    const auto reading = [](const std::string& source) {
        return "<VRTDataset rasterXSize=\"40\" rasterYSize=\"20\"><VRTRasterBand dataType=\"Byte\" band=\"1\">"
               "<SimpleSource><SourceFilename relativeToVRT=\"1\">" + source + "</SourceFilename><SourceBand>1"
               "</SourceBand></SimpleSource></VRTRasterBand></VRTDataset>";
    };
    WriteFile(folder + "/nested.vrt", reading("raw.vrt"));
    WriteFile(folder + "/self.vrt", reading("self.vrt"));
    WriteFile(folder + "/inline.vrt", reading(" &lt;VRTDataset rasterXSize=\"40\" rasterYSize=\"20\"&gt;&lt;VRTRasterBand "
        "dataType=\"Byte\" band=\"1\" subClass=\"VRTRawRasterBand\"&gt;&lt;SourceFilename&gt;/etc/passwd&lt;/SourceFilename&gt;"
        "&lt;/VRTRasterBand&gt;&lt;/VRTDataset&gt;"));
    const std::string out = MakeFolder("imp_bad_out");
    for (const std::string& name : kSet)
        WriteFile(out + "/" + name, "old " + name);
    const std::string empty = MakeFolder("imp_bad_notiles");
    const std::string f = folder + "/";
    const std::string rawRefused = ": lee otro fichero como datos en bruto (banda VRTRawRasterBand), lo que no se "
                                   "admite salvo con GDAL_VRT_ENABLE_RAWRASTERBAND=YES";
    const struct {
        std::string source, message, textures;
        double verticalScale;
        std::int32_t size;
    } cases[] = {
        {f + "none.tif", "No existe el fichero " + f + "none.tif", kTiles, 1.0, 0},
        {folder, "No se pudo leer el fichero " + folder + ": no es un fichero", kTiles, 1.0, 0},
        {f + "garbage.tif", "No se pudo leer el fichero " + f + "garbage.tif: formato no admitido o fichero dañado",
            kTiles, 1.0, 0},
        {f + "cut.tif", "No se pudo leer el fichero " + f + "cut.tif: fichero dañado", kTiles, 1.0, 0},
        {f + "voids.tif", "El fichero " + f + "voids.tif no contiene ninguna altura válida", kTiles, 1.0, 0},
        {f + "ok.tif", "No se pudo leer ninguna textura en la carpeta " + empty, empty, 1.0, 0},
        {f + "ok.tif", "Escala vertical no válida: -2 (debe ser mayor que 0)", kTiles, -2.0, 0},
        {f + "ok.tif", "Importación del terreno cancelada", kTiles, 1.0, 0},
        {f + "g3.asc", "El terreno de " + f + "g3.asc mediría 3 x 3 pixeles; el terreno necesita al menos 257 por lado "
            "(use --size)", kTiles, 1.0, 0},
        {f + "ok.tif", "Tamaño de terreno no válido: 2 (debe estar entre 257 y 16385)", kTiles, 1.0, 2},
        {f + "tiny.tif", "El fichero " + f + "tiny.tif tiene un tamaño de pixel no admitido: 1e-30 x 1e-30 metros "
            "(debe estar entre 0.001 y 1e+06)", kTiles, 1.0, 0},
        {f + "ok.tif", "El fichero " + f + "ok.tif da una escala de alturas no admitida: 390.631 unidades por código "
            "(debe estar entre 1e-12 y 16); revise su georreferenciación o --vertical-scale", kTiles, 1e6, 0},
        {f + "big.tif", "El fichero " + f + "big.tif mide 20000 x 20000 pixeles; el terreno admite hasta 16385 por lado "
            "(use --size)", kTiles, 1.0, 0},
        {f + "raw.vrt", "No se pudo leer el fichero " + f + "raw.vrt" + rawRefused, kTiles, 1.0, 0},
        {f + "nested.vrt", "No se pudo leer el fichero " + f + "nested.vrt" + rawRefused, kTiles, 1.0, 0},
        {f + "self.vrt", "No se pudo leer el fichero " + f + "self.vrt" + rawRefused, kTiles, 1.0, 0},
        {f + "inline.vrt", "No se pudo leer el fichero " + f + "inline.vrt" + rawRefused, kTiles, 1.0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        CElevationImporter importer;
        if (c.message.find("cancelada") != std::string::npos)
            importer.Cancel();
        EXPECT_LT(PeakGrowthMegabytes([&] {
            EXPECT_EQ(importer.Run({c.source, out, c.size, c.verticalScale, c.textures}), -1);
        }), 100.0);
        EXPECT_EQ(importer.Message(), c.message);
        EXPECT_EQ(Entries(out), kSet);
        for (const std::string& name : kSet)
            EXPECT_EQ(ReadFile(out + "/" + name), "old " + name);
    }
}

// Float rasters written without a no-data tag fill their holes with the
// lowest float or its kin; those are holes, not heights.
TEST(CElevationImporter, UntaggedFillValuesAreHoles)
{
    const std::string folder = MakeFolder("imp_fill");
    const struct {
        double fill;
        GDALDataType type;
    } cases[] = {{-3.4028234663852886e38, GDT_Float32}, {3.4e38, GDT_Float32}, {-1.7976931348623157e308, GDT_Float64}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fill);
        ASSERT_TRUE(MakeRaster(folder + "/dem.tif", "GTiff", MakeValues(257, 257, c.type, [&](int x, int y) {
            return x < 40 || (y > 100 && y < 120) ? c.fill : 100.0 + x;
        })));
        const Imported imported = Import(folder + "/dem.tif");
        EXPECT_NE(imported.message.find("alturas de 140.0 a 356.0 metros"), std::string::npos) << imported.message;
        EXPECT_EQ(imported.Code(40, 0), 0);
        EXPECT_EQ(imported.Code(256, 0), 65535);
    }
}

// With GDAL's own option the user may allow raw bands.
TEST(CElevationImporter, RawVrtBandsWhenAllowed)
{
    const std::string folder = MakeFolder("imp_raw");
    std::string bytes;
    for (int i = 0; i < 257 * 257; ++i)
        bytes.push_back(static_cast<char>(i % 257 % 200));
    WriteFile(folder + "/heights.raw", bytes);
    WriteFile(folder + "/raw.vrt", RawVrt(folder + "/heights.raw", 257, 257));
    CPLSetConfigOption(CGdal::kRawVrtOption, "YES");
    const Imported imported = Import(folder + "/raw.vrt");
    CPLSetConfigOption(CGdal::kRawVrtOption, "NO");
    EXPECT_EQ(imported.Code(199, 0), 65535);
}
