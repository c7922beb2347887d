// vantapeak-snapshot --record on a small generated terrain folder: a flight
// recorded to MP4 and to a folder of PNG frames and read back (frame count,
// size, codec), the figures it prints, and an unwritable or refused output
// or a recording stopped by signals leaving nothing behind.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QString>
#include <gtest/gtest.h>

#include "terrain/CBitmapEx.h"
#include "tests/gl/HillsTerrain.h"
#include "tests/tools/VideoProbe.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ToolRun RunTool(const std::string& arguments, const fs::path& dir)
{
    const fs::path errFile = dir / "stderr.txt";
    const std::string command =
        std::string(VP_SNAPSHOT_TOOL) + " --dir " + dir.string() + " " + arguments + " 2>" + errFile.string();
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        run.out += buffer;
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    FILE* err = std::fopen(errFile.c_str(), "r");
    if (err != nullptr) {
        while (std::fgets(buffer, sizeof buffer, err) != nullptr)
            run.err += buffer;
        std::fclose(err);
    }
    fs::remove(errFile);
    return run;
}

// The entries of `dir` other than the terrain files.
std::vector<std::string> Leftovers(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("terrainMdt_", 0) != 0)
            names.push_back(name);
    }
    return names;
}

} // namespace

class RecordToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("vp-record-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
        ASSERT_TRUE(hills_terrain::Write(m_dir));
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

TEST_F(RecordToolTest, RecordsAnMp4ThatReadsBackAsH264)
{
    const fs::path video = m_dir / "flight.mp4";
    const ToolRun run = RunTool("--record " + video.string() +
                                " --seconds 1.5 --fps 12 --size 160x120 --speed 400 --turn 15 --clearance 40",
                            m_dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("frames: 18\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("record_fps: "), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("100% 18/18"), std::string::npos) << "the progress bar ends full";
    const VideoProbe probe = ProbeVideo(video.string());
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.codec, AV_CODEC_ID_H264);
    EXPECT_EQ(probe.width, 160);
    EXPECT_EQ(probe.height, 120);
    EXPECT_EQ(probe.frames, 18);
    EXPECT_EQ(Leftovers(m_dir), std::vector<std::string>{"flight.mp4"});
}

TEST_F(RecordToolTest, RecordsNumberedPngFramesOfTheAskedSize)
{
    const fs::path folder = m_dir / "frames";
    const ToolRun run = RunTool("--record " + folder.string() + " --seconds 0.5 --fps 8 --size 96x64 --no-overlay", m_dir);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("frames: 4\n"), std::string::npos) << run.out;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const QImage image(QString::fromStdString(entry.path().string()));
        ASSERT_FALSE(image.isNull()) << entry.path();
        EXPECT_EQ(image.size(), QSize(96, 64));
        ++count;
    }
    EXPECT_EQ(count, 4);
    // The frames show the terrain, not an empty picture.
    const QImage first(QString::fromStdString((folder / "frame_00000.png").string()));
    int lit = 0;
    for (int y = first.height() / 2; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x)
            lit += (first.pixel(x, y) & 0xFFFFFF) != 0 ? 1 : 0;
    EXPECT_GT(lit, first.width() * first.height() / 4);
}

TEST_F(RecordToolTest, AnUnwritableOutputIsAClearErrorAndLeavesNothing)
{
    const fs::path nowhere = m_dir / "missing" / "flight.mp4";
    struct Case {
        std::string arguments;
        int exitCode;
        const char* message; // part of the error
    } cases[] = {
        {"--record " + nowhere.string() + " --seconds 1", 1, "no se puede escribir"},
        {"--record " + (m_dir / "missing" / "frames").string() + " --seconds 1", 1, "no se puede escribir"},
        {"--record " + (m_dir / "odd.mp4").string() + " --size 161x120 --seconds 1", 1, "pares"},
        {"--record " + (m_dir / "x.mp4").string() + " --fps 0", 2, "--fps"},
        {"--record " + (m_dir / "x.mp4").string() + " --seconds -1", 2, "--seconds"},
        {"--record " + (m_dir / "x.mp4").string() + " --clearance abc", 2, "--clearance"},
    };
    for (const Case& c : cases) {
        const ToolRun run = RunTool(c.arguments, m_dir);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.arguments << ": " << run.err;
        EXPECT_TRUE(Leftovers(m_dir).empty()) << c.arguments;
    }
}

TEST_F(RecordToolTest, SignalsStopTheRecordingAndLeaveNoPart)
{
    for (const std::string out : {"flight.mp4", "frames"}) {
        SCOPED_TRACE(out);
        const std::string part = (m_dir / (out + ".part")).string();
        // Two signals once the part exists, as `timeout` sends them.
        const std::string script = std::string(VP_SNAPSHOT_TOOL) + " --dir " + m_dir.string() + " --record " +
                                   (m_dir / out).string() + " --seconds 60 2>" + (m_dir / "err").string() +
                                   " & until [ -e " + part + " ]; do sleep 0.1; done; sleep 1; kill $!; kill -INT $!; wait $!";
        const int status = std::system(("timeout -s KILL 120 bash -c '" + script + "'").c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
        std::ifstream err(m_dir / "err");
        EXPECT_NE(std::string(std::istreambuf_iterator<char>(err), {}).find("grabación interrumpida"), std::string::npos);
        fs::remove(m_dir / "err");
        EXPECT_TRUE(Leftovers(m_dir).empty());
    }
}
