// The advisory lock on a terrain folder: one holder at a time, and a second
// terrain run into a folder being written is refused before it touches
// anything (the first run's staged files above all).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "terrain/CFolderLock.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/TerrainFiles.h"

namespace {

std::string MakeFolder(const char* name)
{
    const std::string path = testing::TempDir() + "/vp_lock_" + std::to_string(::getpid()) + "_" + name;
    EXPECT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0);
    EXPECT_EQ(::mkdir(path.c_str(), 0755), 0);
    return path;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(CFolderLock, OneHolderAtATime)
{
    const std::string folder = MakeFolder("holders");
    std::string message;
    CFolderLock first;
    ASSERT_EQ(first.Acquire(folder, &message), 0) << message;
    EXPECT_TRUE(first.Held());

    CFolderLock second;
    EXPECT_EQ(second.Acquire(folder, &message), -1);
    EXPECT_FALSE(second.Held());
    EXPECT_NE(message.find("Otro proceso está escribiendo un terreno en la carpeta " + folder), std::string::npos)
        << message;
    // A trailing slash names the same folder.
    EXPECT_EQ(second.Acquire(folder + "/", &message), -1);

    first.Release();
    EXPECT_EQ(second.Acquire(folder, &message), 0) << message;

    CFolderLock missing;
    EXPECT_EQ(missing.Acquire(folder + "/no-such-folder", &message), -1);
    EXPECT_NE(message.find("No se puede abrir la carpeta"), std::string::npos) << message;
}

TEST(CFolderLock, ASecondRunIntoABusyFolderLeavesTheFirstRunsFilesAlone)
{
    const std::string folder = MakeFolder("busy");
    const std::string heightmap = folder + "/" + TerrainFiles::kHeightmap;
    // The first run's earlier set and the file it is staging right now.
    std::ofstream(heightmap, std::ios::binary) << "earlier set";
    std::ofstream(heightmap + ".new", std::ios::binary) << "staged by the first run";
    CFolderLock firstRun;
    std::string message;
    ASSERT_EQ(firstRun.Acquire(folder, &message), 0) << message;

    CTerrainGenerator::Settings settings;
    settings.folder = folder;
    settings.size = 65;
    settings.seed = 7;
    settings.texturesFolder = std::string(VP_SOURCE_DIR) + "/data/Textures";
    CTerrainGenerator second;
    EXPECT_EQ(second.Run(settings), -1);
    EXPECT_NE(second.Message().find("Otro proceso está escribiendo"), std::string::npos) << second.Message();
    EXPECT_EQ(ReadFile(heightmap), "earlier set");
    EXPECT_EQ(ReadFile(heightmap + ".new"), "staged by the first run");

    // Once the first run is gone its leftovers are fair game, and the run
    // goes through.
    firstRun.Release();
    CTerrainGenerator third;
    ASSERT_EQ(third.Run(settings), 0) << third.Message();
    EXPECT_NE(ReadFile(heightmap), "earlier set");
    EXPECT_FALSE(std::ifstream(heightmap + ".new").good());
}

} // namespace
