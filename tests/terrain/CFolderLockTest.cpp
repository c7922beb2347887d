// The advisory lock on a terrain folder: a second run into a folder being
// written is refused before it touches anything, the first run's staged
// files above all; once the first run is gone, the folder is free again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "terrain/CFolderLock.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/TerrainFiles.h"

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(CFolderLock, ASecondRunIntoABusyFolderIsRefusedAndTouchesNothing)
{
    const std::string folder = testing::TempDir() + "/vp_lock_" + std::to_string(::getpid());
    ASSERT_EQ(std::system(("rm -rf " + folder + " && mkdir " + folder).c_str()), 0);
    const std::string heightmap = folder + "/" + TerrainFiles::kHeightmap;
    std::ofstream(heightmap) << "earlier set";
    std::ofstream(heightmap + ".new") << "staged by the first run";
    CFolderLock firstRun;
    std::string message;
    ASSERT_EQ(firstRun.Acquire(folder + "/", &message), 0) << message;

    const CTerrainGenerator::Settings settings{folder, 65, 7, std::string(VP_SOURCE_DIR) + "/data/Textures"};
    CTerrainGenerator second;
    EXPECT_EQ(second.Run(settings), -1);
    EXPECT_EQ(second.Message(), "Otro proceso está escribiendo un terreno en la carpeta " + folder +
                                    "; espere a que termine o elija otra carpeta");
    EXPECT_EQ(ReadFile(heightmap), "earlier set");
    EXPECT_EQ(ReadFile(heightmap + ".new"), "staged by the first run");

    firstRun.Release();
    CTerrainGenerator third;
    ASSERT_EQ(third.Run(settings), 0) << third.Message();
    EXPECT_NE(ReadFile(heightmap), "earlier set");
    EXPECT_FALSE(std::ifstream(heightmap + ".new").good()) << "a dead run's leftovers are removed";
}

} // namespace
