// scripts/flight-stats.py on statistics files as a killed program leaves
// them: the cut last row is ignored, frames without terrain are counted.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
    int status = -1;
    std::string output;
};

Outcome Summarise(const std::string& csv)
{
    char path[] = "/tmp/flight-stats-XXXXXX";
    const int fd = ::mkstemp(path);
    Outcome outcome;
    if (fd < 0) {
        return outcome;
    }
    ::close(fd);
    std::ofstream(path, std::ios::binary) << csv;
    const std::string command = std::string("python3 '") + VP_SOURCE_DIR + "/scripts/flight-stats.py' " + path + " 2>&1";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe != nullptr) {
        std::array<char, 4096> buffer;
        std::size_t read = 0;
        while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
            outcome.output.append(buffer.data(), read);
        }
        const int status = ::pclose(pipe);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::unlink(path);
    return outcome;
}

const char* const kHeader = "t_ms,roam_ms,draw_ms,triangles,fps,x,y,z,paging\n";

TEST(FlightStatsScript, IgnoresACutLastRowAndCountsFramesWithoutTerrain)
{
    struct Case {
        const char* name;
        std::string tail;  // what follows the complete rows
        const char* cutRows;
    };
    const std::string complete = std::string(kHeader) +
                                 "100,1,2,0,0,2048.000,200.000,2048.000,0\n"
                                 "1200,3,4,5000,30,2048.000,200.000,2100.000,1\n"
                                 "1230,3,4,0,30,2048.000,200.000,2110.000,1\n"
                                 "1260,3,4,5200,30,2048.000,200.000,2120.000,0\n";
    const Case cases[] = {
        {"whole file", "", "cut_rows: 0"},
        {"cut in a number", "1290,3,4,52", "cut_rows: 1"},
        {"cut after a comma", "1290,3,", "cut_rows: 1"},
        {"cut in the last field", "1290,3,4,5200,30,2048.000,200.000,2130.000,", "cut_rows: 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = Summarise(complete + c.tail);
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        for (const char* line : {"frames: 4\n", "frames_without_terrain: 2\n",
                                 "frames_without_terrain_after_1s: 1\n", "paging_spans: 1\n",
                                 "frame_interval_median_ms: 30\n"}) {
            EXPECT_NE(outcome.output.find(line), std::string::npos) << line << outcome.output;
        }
        EXPECT_NE(outcome.output.find(c.cutRows), std::string::npos) << outcome.output;
    }
}

TEST(FlightStatsScript, EmptyOrHeaderOnlyFilesGiveZeroFrames)
{
    for (const std::string& csv : {std::string(), std::string(kHeader), std::string("t_ms,roam")}) {
        const Outcome outcome = Summarise(csv);
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        EXPECT_NE(outcome.output.find("frames: 0\n"), std::string::npos) << outcome.output;
    }
}

}  // namespace
