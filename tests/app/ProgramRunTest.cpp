// The real program flown over a small terrain under the display the tests
// run with (make test uses Xvfb; without a display these are skipped), as a
// script would run it: start/close cycles that must all end cleanly, two
// termination signals at once, a statistics file on a full disk, and an
// unusable 16-bit heightmap in a scripted flight.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/gl/HillsTerrain.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCycles = 10;

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The statistics rows after the header, each checked to be whole.
int WholeRows(const std::string& text, std::string* problem)
{
    std::istringstream lines(text);
    std::string line;
    int rows = -1;
    while (std::getline(lines, line)) {
        if (rows >= 0 && std::count(line.begin(), line.end(), ',') != 9) {
            *problem = "cut row: " + line;
        }
        ++rows;
    }
    if (!text.empty() && text.back() != '\n') {
        *problem = "the last row has no end";
    }
    return rows;
}

class ProgramRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs a display (make test runs the tests under Xvfb)";
        }
        m_dir = fs::temp_directory_path() / ("vp-run-" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        ASSERT_TRUE(hills_terrain::Write(m_dir));
    }
    void TearDown() override
    {
        if (!m_dir.empty()) {
            fs::remove_all(m_dir);
        }
    }

    // Starts the program in the terrain folder, standard error to err.txt.
    pid_t Launch(const std::vector<std::string>& arguments)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(m_dir.c_str()) != 0) {
                ::_exit(126);
            }
            std::freopen("err.txt", "w", stderr);
            std::freopen("/dev/null", "w", stdout);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(VP_APP_PROGRAM));
            for (const std::string& argument : arguments) {
                argv.push_back(const_cast<char*>(argument.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(VP_APP_PROGRAM, argv.data());
            ::_exit(127);
        }
        return pid;
    }

    // The exit status, or 128 + the signal that ended it; a program still
    // running after `seconds` is killed and counts as 999.
    static int Wait(pid_t pid, int seconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return 999;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    int Run(const std::vector<std::string>& arguments) { return Wait(Launch(arguments), 60); }
    std::string Errors() const { return ReadFile(m_dir / "err.txt"); }

    fs::path m_dir;
};

TEST_F(ProgramRunTest, StartCloseCyclesEndCleanlyWithWholeStatistics)
{
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        SCOPED_TRACE(cycle);
        EXPECT_EQ(Run({"--start", "--speed", "1000", "--turn", "30", "--quit-after", "1.5", "--stats", "s.csv"}), 0)
            << Errors();
        std::string problem;
        EXPECT_GT(WholeRows(ReadFile(m_dir / "s.csv"), &problem), 0);
        EXPECT_TRUE(problem.empty()) << problem;
    }
}

TEST_F(ProgramRunTest, TwoSignalsAtOnceCloseAsExitDoes)
{
    for (const int signalNumber : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signalNumber);
        fs::remove(m_dir / "s.csv");
        const pid_t pid = Launch({"--start", "--speed", "1000", "--stats", "s.csv"});
        std::string problem;
        for (int i = 0; i < 600 && WholeRows(ReadFile(m_dir / "s.csv"), &problem) < 5; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        // As `timeout` does: one to the program, one to its group.
        // (A moment apart, so that the first is delivered before the second
        // is sent rather than merged with it.)
        ::kill(pid, signalNumber);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::kill(pid, signalNumber);
        EXPECT_EQ(Wait(pid, 60), 0) << Errors();
        problem.clear();
        EXPECT_GE(WholeRows(ReadFile(m_dir / "s.csv"), &problem), 5);
        EXPECT_TRUE(problem.empty()) << problem;
    }
}

TEST_F(ProgramRunTest, StatisticsThatCannotBeWrittenAreReportedAndFailTheRun)
{
    EXPECT_EQ(Run({"--start", "--quit-after", "1", "--stats", "/dev/full"}), 1);
    const std::string errors = Errors();
    EXPECT_NE(errors.find("vantapeak: no se pudo escribir la estadística en /dev/full: No space left on device"),
              std::string::npos)
        << errors;
    // Said once, not once per frame.
    EXPECT_EQ(errors.find("estadística", errors.find("estadística") + 1), std::string::npos) << errors;
}

TEST_F(ProgramRunTest, AnUnusableSixteenBitFileDoesNotHoldAScriptedFlight)
{
    std::ofstream(m_dir / "terrainMdt_8193x8193_16.tif", std::ios::binary) << "not a tiff";
    EXPECT_EQ(Run({"--start", "--speed", "500", "--quit-after", "2", "--stats", "s.csv"}), 0);
    const std::string errors = Errors();
    EXPECT_NE(errors.find("vantapeak: Error en leer el fichero terrainMdt_8193x8193_16.tif\n"
                          "vantapeak: Motivo: no es un GeoTIFF"),
              std::string::npos)
        << errors;
    std::string problem;
    EXPECT_GT(WholeRows(ReadFile(m_dir / "s.csv"), &problem), 10) << "the flight went on with the 8-bit levels";
}

} // namespace
