// Whether a terrain folder can be used, from headers and sizes: bitmaps cut
// short or not bitmaps at all, and 16-bit heightmaps of the wrong shape,
// size or without their scale, each with the reason it is refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gdal.h>

#include "terrain/CBitmapEx.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainCheck.h"
#include "terrain/TerrainFiles.h"

namespace {

using State = CTerrainCheck::State;

std::string MakeFolder(const char* name)
{
    const std::string path = testing::TempDir() + "/vp_check_" + std::to_string(::getpid()) + "_" + name;
    EXPECT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0);
    EXPECT_EQ(::mkdir(path.c_str(), 0755), 0);
    return path;
}

void WriteBitmap(const std::string& path, int width, int height)
{
    CBitmapEx bitmap;
    ASSERT_EQ(bitmap.CreateBlank(width, height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bitmap.WritePixel(x, y, 0x101010u * static_cast<std::uint32_t>((x + y) % 16));
    ASSERT_EQ(bitmap.SaveToFile(path.c_str()), 0);
}

// A GeoTIFF of `bands` bands of `type`, with the scale item unless empty.
void WriteTiff(const std::string& path, int width, int height, int bands, GDALDataType type, const char* scale)
{
    CHeightmap16File::InitialiseGdal();
    GDALDatasetH dataset = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), width, height, bands, type, nullptr);
    ASSERT_NE(dataset, nullptr);
    if (scale != nullptr)
        GDALSetMetadataItem(dataset, CHeightmap16File::kScaleItem, scale, nullptr);
    GDALClose(dataset);
}

void Patch32(const std::string& path, long offset, std::uint32_t value)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.write(reinterpret_cast<const char*>(&value), sizeof value);
}

TEST(CTerrainCheck, BitmapsTheLoaderCannotReadWhollyAreRefusedWithTheirReason)
{
    const std::string folder = MakeFolder("bitmaps");
    const std::string good = folder + "/good.bmp";
    WriteBitmap(good, 33, 17);
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string reason;
    ASSERT_EQ(CTerrainCheck::CheckBitmap(good, width, height, &reason), 0) << reason;
    EXPECT_EQ(width, 33);
    EXPECT_EQ(height, 17);

    struct Case {
        const char* name;
        void (*spoil)(const std::string& path);
        const char* reason;
    } cases[] = {
        {"cut short", [](const std::string& p) { ::truncate(p.c_str(), 54 + 100); }, "está cortado: mide 154 bytes"},
        {"one byte short", [](const std::string& p) { ::truncate(p.c_str(), 54 + 100 * 17 - 1); }, "está cortado"},
        {"cut inside the header", [](const std::string& p) { ::truncate(p.c_str(), 20); }, "menos que la cabecera"},
        {"empty", [](const std::string& p) { ::truncate(p.c_str(), 0); }, "está cortado: mide 0 bytes"},
        {"not a bitmap", [](const std::string& p) { std::ofstream(p, std::ios::binary) << std::string(400, 'x'); },
         "no es un BMP"},
        {"compressed", [](const std::string& p) { Patch32(p, 14 + 16, 1); }, "no es un BMP"},
        {"pixels inside the header", [](const std::string& p) { Patch32(p, 10, 20); }, "empiezan dentro"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder + "/spoilt.bmp";
        WriteBitmap(path, 33, 17); // rows of 100 bytes
        c.spoil(path);
        reason.clear();
        EXPECT_EQ(CTerrainCheck::CheckBitmap(path, width, height, &reason), -1);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
    EXPECT_EQ(CTerrainCheck::CheckBitmap(folder + "/absent.bmp", width, height, &reason), -1);
    EXPECT_NE(reason.find("no se puede abrir"), std::string::npos) << reason;
    EXPECT_EQ(CTerrainCheck::CheckBitmap(folder, width, height, &reason), -1);
    EXPECT_EQ(reason, "no es un fichero");
}

TEST(CTerrainCheck, SixteenBitHeightmapsOfTheWrongShapeSizeOrScaleAreRefused)
{
    const std::string folder = MakeFolder("heights16");
    const std::string path = folder + "/h16.tif";
    const std::vector<float> levels(40 * 30, 100.0f);
    ASSERT_EQ(CHeightmap16File::WriteLevels(path.c_str(), levels.data(), 40, 30, 2.5 / 257.0), 0);
    std::string reason;
    EXPECT_EQ(CTerrainCheck::CheckHeights16(path, 40, 30, &reason), 0) << reason;

    EXPECT_EQ(CTerrainCheck::CheckHeights16(path, 41, 30, &reason), -1);
    EXPECT_EQ(reason, "mide 40 x 30 y el mapa de alturas 41 x 30");

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    ASSERT_EQ(::truncate(path.c_str(), info.st_size - 1000), 0);
    EXPECT_EQ(CTerrainCheck::CheckHeights16(path, 40, 30, &reason), -1);
    EXPECT_NE(reason.find("está cortado"), std::string::npos) << reason;

    struct Case {
        const char* name;
        int bands;
        GDALDataType type;
        const char* scale;
        const char* reason;
    } cases[] = {
        {"no scale", 1, GDT_UInt16, nullptr, "le falta la escala de alturas VANTAPEAK_HEIGHT_SCALE"},
        {"zero scale", 1, GDT_UInt16, "0", "le falta la escala"},
        {"scale not a number", 1, GDT_UInt16, "1e3x", "le falta la escala"},
        {"two bands", 2, GDT_UInt16, "1", "una sola banda"},
        {"floats", 1, GDT_Float32, "1", "una sola banda"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteTiff(path, 40, 30, c.bands, c.type, c.scale);
        reason.clear();
        EXPECT_EQ(CTerrainCheck::CheckHeights16(path, 40, 30, &reason), -1);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
    std::ofstream(path, std::ios::binary) << "not a tiff at all";
    EXPECT_EQ(CTerrainCheck::CheckHeights16(path, 40, 30, &reason), -1);
    EXPECT_NE(reason.find("no es un GeoTIFF"), std::string::npos) << reason;
}

TEST(CTerrainCheck, AFolderIsMissingUsableOrUnusableWithTheFileNamed)
{
    const std::string folder = MakeFolder("folder");
    const std::string heightmap = folder + "/" + TerrainFiles::kHeightmap;
    const std::string texture = folder + "/" + TerrainFiles::kTexture;
    std::string reason;
    EXPECT_EQ(CTerrainCheck::CheckFolder(folder, &reason), State::Missing);
    WriteBitmap(heightmap, 65, 65);
    EXPECT_EQ(CTerrainCheck::CheckFolder(folder, &reason), State::Missing) << "no texture yet";
    WriteBitmap(texture, 65, 65);
    EXPECT_EQ(CTerrainCheck::CheckFolder(folder, &reason), State::Usable) << reason;

    ASSERT_EQ(::truncate(texture.c_str(), 1000), 0);
    EXPECT_EQ(CTerrainCheck::CheckFolder(folder + "/", &reason), State::Unusable);
    EXPECT_EQ(reason.rfind(std::string(TerrainFiles::kTexture) + ": está cortado", 0), 0u) << reason;
    WriteBitmap(texture, 65, 65);

    const std::string heights16 = folder + "/" + TerrainFiles::kHeights16;
    const std::vector<float> levels(64 * 64, 10.0f);
    ASSERT_EQ(CHeightmap16File::WriteLevels(heights16.c_str(), levels.data(), 64, 64, 0.01), 0);
    EXPECT_EQ(CTerrainCheck::CheckFolder(folder, &reason), State::Unusable);
    EXPECT_EQ(reason, std::string(TerrainFiles::kHeights16) + ": mide 64 x 64 y el mapa de alturas 65 x 65");
}

} // namespace
