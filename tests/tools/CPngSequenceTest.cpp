// Numbered PNG frames in a folder: read back with their size and pixels,
// and no folder under the final name unless the recording was finished.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <QImage>
#include <QString>

#include "tools/CPngSequence.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::uint32_t> Frame(int width, int height, int index)
{
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xFF000000u | static_cast<std::uint32_t>(index) << 16 | static_cast<std::uint32_t>(i % 256);
    return pixels;
}

class CPngSequenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("vp-frames-" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // Writes `count` frames of 20 x 10 into `path`; Finish's result.
    int Record(const std::string& path, int count)
    {
        CPngSequence frames;
        std::string error;
        if (frames.Open(path, 20, 10, &error) != 0)
            return -1;
        for (int i = 0; i < count; ++i)
            if (frames.Write(Frame(20, 10, i).data(), &error) != 0)
                return -1;
        return frames.Finish(&error);
    }
    fs::path m_dir;
};

} // namespace

TEST_F(CPngSequenceTest, FramesComeBackNumberedWithTheirSizeAndPixels)
{
    const fs::path out = m_dir / "flight";
    ASSERT_EQ(Record(out.string(), 3), 0);
    int files = 0;
    for (const auto& entry : fs::directory_iterator(out)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 3);
    for (int i = 0; i < 3; ++i) {
        const QImage image(QString::fromStdString((out / CPngSequence::FrameName(i)).string()));
        ASSERT_FALSE(image.isNull()) << i;
        EXPECT_EQ(image.width(), 20);
        EXPECT_EQ(image.height(), 10);
        const std::vector<std::uint32_t> expected = Frame(20, 10, i);
        EXPECT_EQ(image.pixel(7, 3), expected[3 * 20 + 7]);
    }
    EXPECT_EQ(CPngSequence::FrameName(0), "frame_00000.png");
    EXPECT_EQ(CPngSequence::FrameName(123456), "frame_123456.png");
    EXPECT_FALSE(fs::exists(CPngSequence::TemporaryPath(out.string())));
}

TEST_F(CPngSequenceTest, AnEmptyFolderGivesWayAndAFullOneIsKept)
{
    const fs::path empty = m_dir / "empty";
    fs::create_directory(empty);
    EXPECT_EQ(Record(empty.string() + "/", 2), 0);
    EXPECT_TRUE(fs::exists(empty / CPngSequence::FrameName(1)));

    const fs::path full = m_dir / "full";
    fs::create_directory(full);
    std::ofstream(full / "keep.txt") << "mine";
    CPngSequence frames;
    std::string error;
    EXPECT_EQ(frames.Open(full.string(), 20, 10, &error), -1);
    EXPECT_NE(error.find("ya existe"), std::string::npos) << error;
    EXPECT_TRUE(fs::exists(full / "keep.txt"));
    EXPECT_FALSE(fs::exists(full / CPngSequence::FrameName(0)));

    const fs::path file = m_dir / "a-file";
    std::ofstream(file) << "x";
    EXPECT_EQ(frames.Open(file.string(), 20, 10, &error), -1);
}

TEST_F(CPngSequenceTest, UnwritableOrUnfinishedLeavesNothing)
{
    const fs::path nowhere = m_dir / "missing" / "flight";
    CPngSequence frames;
    std::string error;
    EXPECT_EQ(frames.Open(nowhere.string(), 20, 10, &error), -1);
    EXPECT_NE(error.find("no se puede escribir"), std::string::npos) << error;
    EXPECT_EQ(frames.Write(Frame(20, 10, 0).data(), &error), -1);

    const fs::path dropped = m_dir / "dropped";
    {
        CPngSequence unfinished;
        ASSERT_EQ(unfinished.Open(dropped.string(), 20, 10, &error), 0) << error;
        ASSERT_EQ(unfinished.Write(Frame(20, 10, 0).data(), &error), 0) << error;
    }
    EXPECT_TRUE(fs::is_empty(m_dir));
}
