#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "terrain/CTerrainFileSet.h"
#include "tests/terrain/ElevationTestSupport.h"

using namespace elevation_test;

// Whichever file cannot be put in place (a folder in its way), every name
// ends with what it held before: earlier files return, a file that is new
// (the texture, in one case) goes, and nothing staged or backed up remains.
TEST(CTerrainFileSet, AFailedRenameRestoresEveryEarlierFile)
{
    const char* const names[3] = {"texture.bmp", "heights16.tif", "heightmap.bmp"};
    for (int blocked = 0; blocked < 3; ++blocked) {
        for (bool textureIsNew : {false, true}) {
            SCOPED_TRACE(testing::Message() << names[blocked] << (textureIsNew ? ", new texture" : ""));
            const std::string folder = MakeFolder("set_fail");
            for (int k = 0; k < 3; ++k) {
                if (k == blocked) {
                    ASSERT_EQ(::mkdir((folder + "/" + names[k]).c_str(), 0755), 0);
                } else if (k != 0 || !textureIsNew) {
                    WriteFile(folder + "/" + names[k], std::string("old ") + names[k]);
                }
            }
            const std::vector<std::string> before = Entries(folder);
            CTerrainFileSet set(folder);
            WriteFile(set.Stage(names[0]), "new");
            set.Drop(names[1]);
            WriteFile(set.Stage(names[2]), "new");
            EXPECT_EQ(set.Commit(), -1);
            EXPECT_EQ(set.FailedName(), names[blocked]);
            EXPECT_EQ(Entries(folder), before);
            for (int k = 0; k < 3; ++k) {
                if (k != blocked && (k != 0 || !textureIsNew)) {
                    EXPECT_EQ(ReadFile(folder + "/" + names[k]), std::string("old ") + names[k]);
                }
            }
        }
    }
}

TEST(CTerrainFileSet, LeftoversOfKilledRunsAreRemoved)
{
    const std::string folder = MakeFolder("set_leftovers");
    const pid_t child = ::fork(); // a pid that is no longer in use
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = std::to_string(child);
    const std::string alive = std::to_string(::getppid());
    const std::vector<std::string> doomed = {"a.bmp.new", "a.bmp.old", "a.bmp.tmp-" + dead + "-0",
        "a.bmp.new.tmp-" + dead + "-12", "b.bmp.new.tmp-" + dead + "-3"};
    const std::vector<std::string> kept = {"a.bmp", "a.bmp.new.tmp-" + alive + "-1", "a.bmp.tmp-" + dead,
        "a.bmp.tmp-x-1", "c.bmp.new", "c.bmp.tmp-" + dead + "-0"};
    for (const std::string& name : doomed)
        WriteFile(folder + "/" + name, "x");
    for (const std::string& name : kept)
        WriteFile(folder + "/" + name, "x");
    CTerrainFileSet(folder).RemoveLeftovers({"a.bmp", "b.bmp"});
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Entries(folder), expected);
}
