#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <csignal>
#include <string>
#include <thread>
#include <set>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "terrain/CBitmapEx.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/TerrainFiles.h"

#if defined(VP_HAVE_QT)
#include <QImage>
#endif

namespace {

const std::string kTiles = std::string(VP_SOURCE_DIR) + "/data/Textures";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// A fresh empty folder for one test.
std::string MakeFolder(const char* name)
{
    const std::string path = testing::TempDir() + "/vp_gen_" + std::to_string(::getpid()) + "_" + name;
    std::string command = "rm -rf '" + path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(::mkdir(path.c_str(), 0755), 0);
    return path;
}

int CountEntries(const std::string& folder)
{
    int count = 0;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir))
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                ++count;
        ::closedir(dir);
    }
    return count;
}

CTerrainGenerator::Settings SmallRun(const std::string& folder, std::uint32_t seed = 7)
{
    CTerrainGenerator::Settings settings;
    settings.folder = folder;
    settings.size = 65;
    settings.seed = seed;
    settings.texturesFolder = kTiles;
    return settings;
}

std::string Heightmap(const std::string& folder)
{
    return folder + "/" + TerrainFiles::kHeightmap;
}

std::string Texture(const std::string& folder)
{
    return folder + "/" + TerrainFiles::kTexture;
}

} // namespace

TEST(CTerrainGenerator, SeededRunIsRepeatableAndSpansAllLevels)
{
    const std::string a = MakeFolder("a");
    const std::string b = MakeFolder("b");
    CTerrainGenerator first;
    ASSERT_EQ(first.Run(SmallRun(a)), 0) << first.Message();
    EXPECT_EQ(first.Message(), "Tiempo en generar un terreno de 65 x 65 pixeles y su textura:0 minutos");
    EXPECT_EQ(first.Progress(), 1.0f);
    EXPECT_TRUE(first.MissingTiles().empty());
    CTerrainGenerator second;
    ASSERT_EQ(second.Run(SmallRun(b)), 0) << second.Message();

    const std::string heightmap = ReadFile(Heightmap(a));
    const std::string texture = ReadFile(Texture(a));
    // 54 bytes of headers and 65 rows of 195 + 1 padding bytes.
    EXPECT_EQ(heightmap.size(), 54u + 65u * 196u);
    EXPECT_EQ(texture.size(), heightmap.size());
    EXPECT_EQ(heightmap, ReadFile(Heightmap(b)));
    EXPECT_EQ(texture, ReadFile(Texture(b)));
    EXPECT_EQ(CountEntries(a), 2); // no temporary files left

    CBitmapEx image;
    image.LoadFromFile(Heightmap(a).c_str());
    ASSERT_TRUE(image.HasPixels());
    EXPECT_EQ(image.m_infoHeader.biBitCount, 32); // held in 32-bit form, read from a 24-bit file
    EXPECT_EQ(heightmap[28], 24);
    std::uint32_t low = 255;
    std::uint32_t high = 0;
    for (int y = 0; y < 65; ++y)
        for (int x = 0; x < 65; ++x) {
            const std::uint32_t p = image.ReadPixel(x, y);
            const std::uint32_t level = p & 0xFF;
            ASSERT_EQ(p, level * 0x010101u);
            low = std::min(low, level);
            high = std::max(high, level);
        }
    EXPECT_EQ(low, 0u);
    EXPECT_EQ(high, 255u);
#if defined(VP_HAVE_QT)
    QImage qt(QString::fromStdString(Texture(a)));
    CBitmapEx ours;
    ours.LoadFromFile(Texture(a).c_str());
    ASSERT_FALSE(qt.isNull());
    ASSERT_EQ(qt.width(), 65);
    for (int y = 0; y < 65; y += 7)
        for (int x = 0; x < 65; x += 5)
            EXPECT_EQ(qt.pixel(x, y) & 0xFFFFFFu, ours.ReadPixel(x, y));
#endif

    CTerrainGenerator other;
    const std::string c = MakeFolder("c");
    ASSERT_EQ(other.Run(SmallRun(c, 8)), 0);
    EXPECT_NE(ReadFile(Heightmap(c)), heightmap);
}

TEST(CTerrainGenerator, FailuresLeaveEarlierFilesUntouched)
{
    const std::string folder = MakeFolder("fail");
    WriteFile(Heightmap(folder), "old heightmap");
    WriteFile(Texture(folder), "old texture");
    const std::string empty = MakeFolder("notiles");

    struct Case {
        const char* name;
        CTerrainGenerator::Settings settings;
        const char* blocker; // a folder in the way of this temporary file
        std::string message;
    };
    CTerrainGenerator::Settings noTiles = SmallRun(folder);
    noTiles.texturesFolder = empty;
    CTerrainGenerator::Settings badSize = SmallRun(folder);
    badSize.size = 1;
    CTerrainGenerator::Settings noFolder = SmallRun(folder + "/missing");
    const Case cases[] = {
        {"no tiles", noTiles, nullptr, "No se pudo leer ninguna textura en la carpeta " + empty},
        {"size", badSize, nullptr, "Tamaño de terreno no válido: 1 (debe estar entre 2 y 16385)"},
        {"no folder", noFolder, nullptr, "No existe la carpeta " + folder + "/missing"},
        {"heightmap not written", SmallRun(folder), "terrainMdt_8193x8193.bmp.new",
            "Error en escribir el fichero terrainMdt_8193x8193.bmp"},
        {"texture not written", SmallRun(folder), "terrainMdt_8193x8193_Texture.bmp.new",
            "Error en escribir el fichero terrainMdt_8193x8193_Texture.bmp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string blocker = c.blocker != nullptr ? folder + "/" + c.blocker : std::string();
        if (!blocker.empty()) {
            ASSERT_EQ(::mkdir(blocker.c_str(), 0755), 0);
        }
        CTerrainGenerator generator;
        EXPECT_EQ(generator.Run(c.settings), -1);
        EXPECT_EQ(generator.Message(), c.message);
        EXPECT_EQ(ReadFile(Heightmap(folder)), "old heightmap");
        EXPECT_EQ(ReadFile(Texture(folder)), "old texture");
        if (!blocker.empty())
            ::rmdir(blocker.c_str());
        EXPECT_EQ(CountEntries(folder), 2);
    }
}

TEST(CTerrainGenerator, MissingTilesAreSkippedAndNamed)
{
    const std::string tiles = MakeFolder("sometiles");
    for (const char* name : {"water1.bmp", "lowestTile.bmp", "HighTile.bmp", "highestTile.bmp"})
        WriteFile(tiles + "/" + name, ReadFile(kTiles + "/" + name));
    const std::string folder = MakeFolder("partial");
    CTerrainGenerator::Settings settings = SmallRun(folder);
    settings.texturesFolder = tiles;
    CTerrainGenerator generator;
    ASSERT_EQ(generator.Run(settings), 0) << generator.Message();
    ASSERT_EQ(generator.MissingTiles().size(), 1u);
    EXPECT_EQ(generator.MissingTiles()[0], tiles + "/lowTile.bmp");
}

TEST(CTerrainGenerator, CancelKeepsEarlierFiles)
{
    const std::string folder = MakeFolder("cancel");
    WriteFile(Heightmap(folder), "old heightmap");
    WriteFile(Texture(folder), "old texture");

    CTerrainGenerator early;
    early.Cancel();
    EXPECT_EQ(early.Run(SmallRun(folder)), -1);
    EXPECT_EQ(early.Message(), "Generación del terreno cancelada");

    // Cancelled from another thread while the faults run.
    CTerrainGenerator generator;
    CTerrainGenerator::Settings settings = SmallRun(folder);
    settings.size = 300;
    std::thread canceller([&] {
        while (generator.Progress() < 0.05f)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        generator.Cancel();
    });
    EXPECT_EQ(generator.Run(settings), -1);
    canceller.join();
    EXPECT_EQ(generator.Message(), "Generación del terreno cancelada");
    EXPECT_LT(generator.Progress(), 0.85f);
    EXPECT_EQ(ReadFile(Heightmap(folder)), "old heightmap");
    EXPECT_EQ(ReadFile(Texture(folder)), "old texture");
    EXPECT_EQ(CountEntries(folder), 2);
}

// The heightmap cannot be put in place (a folder in its way) after the
// texture already could: the texture must go back to the earlier one.
TEST(CTerrainGenerator, FailedFinalRenameKeepsTheEarlierTexture)
{
    const std::string folder = MakeFolder("finalrename");
    WriteFile(Texture(folder), "old texture");
    WriteFile(folder + "/terrainMdt_8193x8193_16.tif", "old 16-bit heightmap");
    ASSERT_EQ(::mkdir(Heightmap(folder).c_str(), 0755), 0);
    CTerrainGenerator generator;
    CTerrainGenerator::Settings settings = SmallRun(folder);
    settings.heights16 = true;
    EXPECT_EQ(generator.Run(settings), -1);
    EXPECT_EQ(generator.Message(), "Error en escribir el fichero terrainMdt_8193x8193.bmp");
    EXPECT_EQ(ReadFile(Texture(folder)), "old texture");
    EXPECT_EQ(ReadFile(folder + "/terrainMdt_8193x8193_16.tif"), "old 16-bit heightmap");
    EXPECT_EQ(CountEntries(folder), 3);
}

// A run killed while it writes leaves staged and temporary files; the next
// run into the folder removes them.
TEST(CTerrainGenerator, NextRunRemovesTheLeftoversOfAKilledRun)
{
    const std::string folder = MakeFolder("killed");
    const std::string tool = VP_TERRAIN_TOOL;
    const pid_t child = ::fork();
    if (child == 0) {
        ::execl(tool.c_str(), tool.c_str(), "--out", folder.c_str(), "--size", "1025", "--seed", "3", "--textures",
            kTiles.c_str(), "--heights16", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    while (CountEntries(folder) == 0 && ::waitpid(child, &status, WNOHANG) == 0)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it could be killed";
    ASSERT_GT(CountEntries(folder), 0);

    CTerrainGenerator generator;
    ASSERT_EQ(generator.Run(SmallRun(folder)), 0) << generator.Message();
    EXPECT_EQ(CountEntries(folder), 2);
}

TEST(CTerrainGenerator, Heights16LeavesTheBitmapsAsTheyAre)
{
    const std::string plain = MakeFolder("plain");
    const std::string with16 = MakeFolder("with16");
    CTerrainGenerator first;
    ASSERT_EQ(first.Run(SmallRun(plain)), 0);
    CTerrainGenerator second;
    CTerrainGenerator::Settings settings = SmallRun(with16);
    settings.heights16 = true;
    ASSERT_EQ(second.Run(settings), 0) << second.Message();
    EXPECT_EQ(ReadFile(Heightmap(plain)), ReadFile(Heightmap(with16)));
    EXPECT_EQ(ReadFile(Texture(plain)), ReadFile(Texture(with16)));

    std::vector<std::uint16_t> codes;
    std::int32_t width = 0;
    std::int32_t height = 0;
    double scale = 0.0;
    ASSERT_EQ(CHeightmap16File::Read((with16 + "/" + TerrainFiles::kHeights16).c_str(), codes, width, height, scale), 0);
    ASSERT_EQ(width, 65);
    ASSERT_EQ(height, 65);
    EXPECT_DOUBLE_EQ(scale, 2.5 / 257.0);
    // The codes hold what the levels cut off.
    CBitmapEx image;
    image.LoadFromFile(Heightmap(plain).c_str());
    EXPECT_EQ(codes[64 * 65 + 64] / 257, static_cast<int>(image.ReadPixel(64, 64) & 0xFF));
    EXPECT_GT(std::set<std::uint16_t>(codes.begin(), codes.end()).size(), 1000u);

    // A run without 16-bit heights removes the earlier 16-bit file with the
    // set, so it never goes with other bitmaps than its own.
    CTerrainGenerator third;
    ASSERT_EQ(third.Run(SmallRun(with16, 9)), 0);
    EXPECT_EQ(CountEntries(with16), 2);
}
