// The real program over a small terrain, as scripts run it, under the tests'
// display (make test runs them under Xvfb; skipped without one): start/close
// cycles, two termination signals, statistics on a full disk, an unusable
// 16-bit heightmap in a scripted flight.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/gl/HillsTerrain.h"
#include "tests/terrain/ElevationTestSupport.h"

namespace fs = std::filesystem;

namespace {

class ProgramRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs a display";
        }
        fs::create_directories(m_dir);
        ASSERT_TRUE(hills_terrain::Write(m_dir));
    }
    void TearDown() override { fs::remove_all(m_dir); }
    // Runs `script` (no single quotes; $P is the program) in the terrain
    // folder, standard error to err.txt; its exit status, 137 after a minute.
    int Shell(const std::string& script)
    {
        const std::string command = "cd " + m_dir.string() + " && export P=" VP_APP_PROGRAM
                                    " && timeout -s KILL 60 bash -c '" + script + "' 2>err.txt";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Read(const char* name) const { return elevation_test::ReadFile(m_dir / name); }
    // The statistics rows after the header; -1 when one is cut short.
    int Rows() const
    {
        std::istringstream lines(Read("s.csv"));
        int rows = -1;
        for (std::string line; std::getline(lines, line); ++rows) {
            if (rows >= 0 && (std::count(line.begin(), line.end(), ',') != 9 || lines.eof())) {
                return -1;
            }
        }
        return rows;
    }
    const fs::path m_dir = fs::temp_directory_path() / ("vp-run-" + std::to_string(::getpid()));
};

TEST_F(ProgramRunTest, StartCloseCyclesEndCleanlyWithWholeStatistics)
{
    for (int cycle = 0; cycle < 10; ++cycle) {
        SCOPED_TRACE(cycle);
        ASSERT_EQ(Shell("$P --start --speed 1000 --turn 30 --quit-after 1.5 --stats s.csv"), 0) << Read("err.txt");
        EXPECT_GT(Rows(), 0);
    }
}

TEST_F(ProgramRunTest, TwoSignalsCloseAsExitDoesOnce)
{
    for (const std::string signal : {"TERM", "INT"}) {
        SCOPED_TRACE(signal);
        fs::remove(m_dir / "s.csv");
        // As `timeout` sends them: one to the program, one to its group.
        EXPECT_EQ(Shell("$P --start --speed 1000 --stats s.csv & p=$!; "
                        "until [ \"$(wc -l < s.csv)\" -gt 5 ] 2>/dev/null; do sleep 0.05; done; "
                        "kill -" + signal + " $p; sleep 0.01; kill -" + signal + " $p; wait $p"),
                  0);
        EXPECT_GE(Rows(), 5);
    }
}

TEST_F(ProgramRunTest, StatisticsThatCannotBeWrittenAreReportedOnceAndFailTheRun)
{
    EXPECT_EQ(Shell("$P --start --quit-after 1 --stats /dev/full"), 1);
    const std::string errors = Read("err.txt");
    const std::string message = "no se pudo escribir la estadística en /dev/full: No space left on device";
    ASSERT_NE(errors.find(message), std::string::npos) << errors;
    EXPECT_EQ(errors.find(message, errors.find(message) + 1), std::string::npos) << errors;
}

TEST_F(ProgramRunTest, AnUnusableSixteenBitFileDoesNotHoldAScriptedFlight)
{
    elevation_test::WriteFile(m_dir / "terrainMdt_8193x8193_16.tif", "not a tiff");
    EXPECT_EQ(Shell("$P --start --speed 500 --quit-after 2 --stats s.csv"), 0);
    EXPECT_NE(Read("err.txt").find("vantapeak: Error en leer el fichero terrainMdt_8193x8193_16.tif\n"
                                   "vantapeak: Motivo: no es un GeoTIFF"),
              std::string::npos)
        << Read("err.txt");
    EXPECT_GT(Rows(), 10) << "the flight went on with the 8-bit levels";
}

} // namespace
