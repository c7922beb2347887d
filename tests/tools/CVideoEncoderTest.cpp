// H.264 video in MP4 through FFmpeg: frames written and read back (codec,
// size, count, rate), and no file under the final name unless the video was
// finished.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/tools/VideoProbe.h"
#include "tools/CVideoEncoder.h"

namespace fs = std::filesystem;

namespace {

// A frame whose colour and a moving bar change with `index`.
std::vector<std::uint32_t> Frame(int width, int height, int index)
{
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool bar = (x + index * 3) % width < 8;
            pixels[static_cast<std::size_t>(y) * width + x] =
                bar ? 0xFFFFFFFFu : 0xFF000000u | static_cast<std::uint32_t>(index * 20 % 256) << 16 | 0x4080u;
        }
    return pixels;
}

class CVideoEncoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("vp-video-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

} // namespace

TEST_F(CVideoEncoderTest, FramesComeBackAsH264OfTheirSizeAndNumber)
{
    struct Case {
        int width, height, fps, frames;
    } cases[] = {{64, 48, 24, 12}, {160, 90, 30, 45}, {2, 2, 1, 1}};
    for (const Case& c : cases) {
        const std::string path = (m_dir / ("clip-" + std::to_string(c.width) + ".mp4")).string();
        std::string error;
        {
            CVideoEncoder encoder;
            ASSERT_EQ(encoder.Open(path, c.width, c.height, c.fps, &error), 0) << error;
            EXPECT_FALSE(fs::exists(path)) << "nothing under the final name while writing";
            for (int i = 0; i < c.frames; ++i)
                ASSERT_EQ(encoder.Write(Frame(c.width, c.height, i).data(), &error), 0) << error;
            ASSERT_EQ(encoder.Finish(&error), 0) << error;
            EXPECT_EQ(encoder.FramesWritten(), c.frames);
        }
        const VideoProbe probe = ProbeVideo(path);
        ASSERT_TRUE(probe.ok) << path;
        EXPECT_EQ(probe.codec, AV_CODEC_ID_H264);
        EXPECT_EQ(probe.width, c.width);
        EXPECT_EQ(probe.height, c.height);
        EXPECT_EQ(probe.frames, c.frames);
        EXPECT_NEAR(probe.framesPerSecond, c.fps, 0.01);
        EXPECT_FALSE(fs::exists(CVideoEncoder::TemporaryPath(path)));
    }
}

TEST_F(CVideoEncoderTest, AnUnwritablePlaceIsAClearErrorAndLeavesNothing)
{
    const std::string path = (m_dir / "no-such-folder" / "clip.mp4").string();
    CVideoEncoder encoder;
    std::string error;
    EXPECT_EQ(encoder.Open(path, 64, 48, 30, &error), -1);
    EXPECT_NE(error.find("no se puede escribir"), std::string::npos) << error;
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(CVideoEncoder::TemporaryPath(path)));
    EXPECT_EQ(encoder.Write(Frame(64, 48, 0).data(), &error), -1);
    EXPECT_EQ(encoder.Finish(&error), -1);
}

TEST_F(CVideoEncoderTest, AnUnfinishedVideoLeavesNoFile)
{
    const std::string path = (m_dir / "dropped.mp4").string();
    std::string error;
    {
        CVideoEncoder aborted;
        ASSERT_EQ(aborted.Open(path, 64, 48, 30, &error), 0) << error;
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(aborted.Write(Frame(64, 48, i).data(), &error), 0);
        aborted.Abort();
        EXPECT_TRUE(fs::is_empty(m_dir));
    }
    {
        CVideoEncoder forgotten;
        ASSERT_EQ(forgotten.Open(path, 64, 48, 30, &error), 0) << error;
        ASSERT_EQ(forgotten.Write(Frame(64, 48, 0).data(), &error), 0);
    }
    EXPECT_TRUE(fs::is_empty(m_dir)) << "destroyed before Finish: nothing left";
}

TEST_F(CVideoEncoderTest, AFolderInTheVideosPlaceLeavesNoPartBehind)
{
    const fs::path path = m_dir / "d.mp4";
    std::string error;
    CVideoEncoder encoder;
    fs::create_directory(path);
    EXPECT_EQ(encoder.Open(path.string(), 64, 48, 30, &error), -1) << "refused before anything is written";
    EXPECT_NE(error.find("es una carpeta"), std::string::npos) << error;
    // A folder made while recording: the rename fails and the video goes.
    fs::remove(path);
    ASSERT_EQ(encoder.Open(path.string(), 64, 48, 30, &error), 0) << error;
    ASSERT_EQ(encoder.Write(Frame(64, 48, 0).data(), &error), 0) << error;
    fs::create_directories(path / "kept");
    EXPECT_EQ(encoder.Finish(&error), -1);
    EXPECT_FALSE(fs::exists(CVideoEncoder::TemporaryPath(path.string())));
    EXPECT_TRUE(fs::exists(path / "kept"));
}
