#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "terrain/CTerrainFileSet.h"
#include "tests/terrain/ElevationTestSupport.h"

using namespace elevation_test;

namespace {

const char* const kNames[3] = {"texture.bmp", "heights16.tif", "heightmap.bmp"};

// A pid that belonged to a process that has ended.
pid_t DeadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

} // namespace

TEST(CTerrainFileSet, CommitPutsTheWholeSetInPlace)
{
    const std::string folder = MakeFolder("set_commit");
    WriteFile(folder + "/texture.bmp", "old texture");
    WriteFile(folder + "/heights16.tif", "old 16");
    WriteFile(folder + "/heightmap.bmp", "old heightmap");
    CTerrainFileSet set(folder);
    WriteFile(set.Stage("texture.bmp"), "new texture");
    set.Drop("heights16.tif");
    WriteFile(set.Stage("heightmap.bmp"), "new heightmap");
    ASSERT_EQ(set.Commit(), 0);
    EXPECT_EQ(ReadFile(folder + "/texture.bmp"), "new texture");
    EXPECT_EQ(ReadFile(folder + "/heightmap.bmp"), "new heightmap");
    EXPECT_EQ(Entries(folder), (std::vector<std::string>{"heightmap.bmp", "texture.bmp"}));
}

// Whichever file cannot be put in place (a folder in its way), every name
// ends with what it held before, and nothing staged or backed up remains.
TEST(CTerrainFileSet, AFailedRenameRestoresEveryEarlierFile)
{
    for (const char* blocked : kNames) {
        SCOPED_TRACE(blocked);
        const std::string folder = MakeFolder(std::string("set_fail_") + blocked);
        for (const char* name : kNames) {
            if (std::string(name) == blocked)
                ASSERT_EQ(::mkdir((folder + "/" + name).c_str(), 0755), 0);
            else
                WriteFile(folder + "/" + name, std::string("old ") + name);
        }
        CTerrainFileSet set(folder);
        for (const char* name : kNames)
            WriteFile(set.Stage(name), std::string("new ") + name);
        EXPECT_EQ(set.Commit(), -1);
        EXPECT_EQ(set.FailedName(), blocked);
        for (const char* name : kNames) {
            struct stat info {};
            ASSERT_EQ(::stat((folder + "/" + name).c_str(), &info), 0);
            if (std::string(name) == blocked)
                EXPECT_TRUE(S_ISDIR(info.st_mode));
            else
                EXPECT_EQ(ReadFile(folder + "/" + name), std::string("old ") + name);
        }
        EXPECT_EQ(Entries(folder).size(), 3u);
    }
}

TEST(CTerrainFileSet, AFailedCommitRemovesFilesThatWereNew)
{
    const std::string folder = MakeFolder("set_new");
    ASSERT_EQ(::mkdir((folder + "/heightmap.bmp").c_str(), 0755), 0);
    CTerrainFileSet set(folder);
    WriteFile(set.Stage("texture.bmp"), "new texture");
    WriteFile(set.Stage("heightmap.bmp"), "new heightmap");
    EXPECT_EQ(set.Commit(), -1);
    EXPECT_EQ(Entries(folder), (std::vector<std::string>{"heightmap.bmp"}));
}

TEST(CTerrainFileSet, AbandonAndDestructorRemoveStagedFiles)
{
    const std::string folder = MakeFolder("set_abandon");
    {
        CTerrainFileSet set(folder);
        WriteFile(set.Stage("texture.bmp"), "new texture");
        set.Abandon();
        EXPECT_TRUE(Entries(folder).empty());
        WriteFile(set.Stage("heightmap.bmp"), "new heightmap");
    }
    EXPECT_TRUE(Entries(folder).empty());
}

TEST(CTerrainFileSet, LeftoversOfKilledRunsAreRemoved)
{
    const std::string folder = MakeFolder("set_leftovers");
    const std::string dead = std::to_string(DeadPid());
    const std::string alive = std::to_string(::getppid());
    const std::vector<std::string> doomed = {
        "heightmap.bmp.new",
        "heightmap.bmp.old",
        "heightmap.bmp.tmp-" + dead + "-0",
        "heightmap.bmp.new.tmp-" + dead + "-12",
        "texture.bmp.new.tmp-" + dead + "-3",
    };
    const std::vector<std::string> kept = {
        "heightmap.bmp",
        "heightmap.bmp.new.tmp-" + alive + "-1", // a save still going on
        "heightmap.bmp.tmp-" + dead,             // not the pattern
        "heightmap.bmp.tmp-x-1",
        "other.bmp.new",
        "other.bmp.tmp-" + dead + "-0",
    };
    for (const std::string& name : doomed)
        WriteFile(folder + "/" + name, "x");
    for (const std::string& name : kept)
        WriteFile(folder + "/" + name, "x");
    CTerrainFileSet(folder).RemoveLeftovers({"heightmap.bmp", "texture.bmp"});
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(folder), expected);
}
