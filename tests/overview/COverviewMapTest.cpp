// The overview map: downscale, scale factors, rectangles, and what a painted
// control shows (heading line, frames, clipping, drawing order).
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <cstdint>
#include <cstdio>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "overview/COverviewControl.h"
#include "overview/COverviewMap.h"
#include "terrain/TerrainFiles.h"
#include "tests/QtApplicationEnvironment.h"

namespace {

// Writes a 24-bit BMP whose pixel (x, y), y from the top, is grey(x, y).
void WriteBmp(const QString& path, int width, int height,
              const std::function<std::uint8_t(int, int)>& grey)
{
    const int rowBytes = (width * 3 + 3) & ~3;
    std::vector<std::uint8_t> file(54 + static_cast<std::size_t>(rowBytes) * height, 0);
    auto put32 = [&](int offset, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    file[26] = 1;
    file[28] = 24;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = file.data() + 54 + static_cast<std::size_t>(height - 1 - y) * rowBytes;
        for (int x = 0; x < width; ++x) {
            const std::uint8_t g = grey(x, y);
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g;
        }
    }
    FILE* out = std::fopen(path.toLocal8Bit().constData(), "wb");
    ASSERT_NE(out, nullptr);
    ASSERT_EQ(std::fwrite(file.data(), 1, file.size(), out), file.size());
    std::fclose(out);
}

// Runs each test in a fresh working directory, where Build looks for the
// heightmap, with a control whose client area is clientSize x clientSize.
class OverviewMapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    }
    void TearDown() override { QDir::setCurrent(m_previous); }

    void MakeControl(int clientSize)
    {
        m_control.SetMap(&m_map);
        const int frame = m_control.frameWidth();
        m_control.resize(clientSize + 2 * frame, clientSize + 2 * frame);
        ASSERT_EQ(m_control.contentsRect().size(), QSize(clientSize, clientSize));
    }

    // The client area as painted, top row first.
    QImage Client()
    {
        const QImage whole = m_control.grab().toImage().convertToFormat(QImage::Format_RGB32);
        return whole.copy(m_control.contentsRect());
    }

    QTemporaryDir m_dir;
    QString m_previous;
    COverviewMap m_map;
    COverviewControl m_control;
};

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kYellow = qRgb(255, 255, 0);

int CountColour(const QImage& image, QRgb colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF) ? 1 : 0;
    return count;
}

}  // namespace

TEST_F(OverviewMapTest, BuildWithoutHeightmapFailsAndDrawsNothing)
{
    MakeControl(16);
    EXPECT_EQ(m_map.Build(&m_control), -1);
    EXPECT_FALSE(m_map.HasImage());
    EXPECT_EQ(m_map.Draw(&m_control), -1);
    EXPECT_EQ(m_map.Draw(nullptr), 0);
    // A refresh before any image exists neither crashes nor paints marks.
    m_map.Refresh(100.0f, 100.0f, 0.0f, 1.0f, 0.0f, 0.0f, 64, 64, 16, &m_control);
    EXPECT_EQ(CountColour(Client(), kRed), 0);
}

TEST_F(OverviewMapTest, ScaleFactorsAndExtentOfTheStandardWidth)
{
    // Both factors come from the heightmap's width: a 8193 x 2 file scales
    // like the standard 8193 x 8193 one.
    WriteBmp(TerrainFiles::kHeightmap, 8193, 2, [](int, int) { return 7; });
    MakeControl(240);
    ASSERT_EQ(m_map.Build(&m_control), 0);
    EXPECT_NEAR(m_map.ScaleX(), 34.1375f, 1e-4f);
    EXPECT_NEAR(m_map.ScaleY(), 34.1375f, 1e-4f);
    EXPECT_EQ(m_map.ExtentX(), 81930);
    EXPECT_EQ(m_map.ExtentZ(), 20);
    const MapClient client = m_map.Client();
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.right, 240);
    EXPECT_EQ(client.bottom, 240);
}

TEST_F(OverviewMapTest, PageAndInnerRectanglesTruncateNearEdgesFirst)
{
    WriteBmp(TerrainFiles::kHeightmap, 8193, 2, [](int, int) { return 7; });
    MakeControl(240);
    ASSERT_EQ(m_map.Build(&m_control), 0);
    struct Case {
        int x, z, width, height;
        MapRect expected;
    };
    const Case cases[] = {
        {0, 0, 4096, 4096, {0, 0, 119, 119}},           // a page window is about 120 px
        {1000, 2000, 4096, 4096, {29, 58, 148, 177}},   // far edges from truncated near edges
        {1024, 1024, 2048, 2048, {29, 29, 88, 88}},     // the zone inside a 1024 margin
        {8192, 8192, 4096, 4096, {239, 239, 358, 358}}, // beyond the control
        {0, 0, 0, 0, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        m_map.SetPageRect(c.x, c.z, c.width, c.height);
        m_map.SetInnerRect(c.x, c.z, c.width, c.height);
        for (const MapRect& r : {m_map.PageRect(), m_map.InnerRect()}) {
            EXPECT_EQ(r.x0, c.expected.x0) << c.x;
            EXPECT_EQ(r.z0, c.expected.z0) << c.z;
            EXPECT_EQ(r.x1, c.expected.x1) << c.width;
            EXPECT_EQ(r.z1, c.expected.z1) << c.height;
        }
    }
}

TEST_F(OverviewMapTest, NearestSampleImageShowsTheFirstRowAtTheBottom)
{
    // Pixel (x, y) of the heightmap has grey 16 y + x; on a 4 x 4 map of an
    // 8 x 8 heightmap the map pixel at column i, row j from the bottom is
    // heightmap pixel (2 i, 2 j).
    WriteBmp(TerrainFiles::kHeightmap, 8, 8,
             [](int x, int y) { return static_cast<std::uint8_t>(16 * y + x); });
    MakeControl(4);
    ASSERT_EQ(m_map.Build(&m_control), 0);
    // Marks out of the way: camera far outside, frames outside the control.
    m_map.Refresh(-1000.0f, -1000.0f, 0.0f, -1.0f, 100.0f, 100.0f, 8, 8, 0, &m_control);
    const QImage client = Client();
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            const int grey = 16 * (2 * j) + 2 * i;
            EXPECT_EQ(client.pixel(i, 3 - j) & 0xFFFFFF, static_cast<QRgb>(qRgb(grey, grey, grey)) & 0xFFFFFF)
                << "column " << i << " row from bottom " << j;
        }
    }
}

TEST_F(OverviewMapTest, HeadingLineRunsTwentyPixelsUpFromTheOriginCorner)
{
    WriteBmp(TerrainFiles::kHeightmap, 64, 64, [](int, int) { return 0; });
    MakeControl(64);
    ASSERT_EQ(m_map.Build(&m_control), 0);
    // Frames outside the control so that only the heading line is red.
    m_map.Refresh(0.0f, 0.0f, 0.0f, 1.0f, 1000.0f, 1000.0f, 16, 16, 0, &m_control);
    EXPECT_EQ(m_map.CameraX(), 0);
    EXPECT_EQ(m_map.CameraY(), 0);
    const QImage client = Client();
    EXPECT_EQ(client.pixel(0, 63 - 10) & 0xFFFFFF, kRed & 0xFFFFFF);
    EXPECT_EQ(client.pixel(0, 64 - 19) & 0xFFFFFF, kRed & 0xFFFFFF);
    EXPECT_NE(client.pixel(0, 64 - 23) & 0xFFFFFF, kRed & 0xFFFFFF);
    EXPECT_NE(client.pixel(4, 63 - 10) & 0xFFFFFF, kRed & 0xFFFFFF);
    // Clipped at the control's left edge: at most half of the 2-pixel pen.
    const int red = CountColour(client, kRed);
    EXPECT_GE(red, 18);
    EXPECT_LE(red, 24);
}

TEST_F(OverviewMapTest, HeadingFollowsTheLookVectorFromTheCameraMark)
{
    WriteBmp(TerrainFiles::kHeightmap, 128, 128, [](int, int) { return 0; });
    MakeControl(64);  // scale 2
    ASSERT_EQ(m_map.Build(&m_control), 0);
    // Camera at heightmap (64, 32): map (32, 16 from the bottom); looking +x.
    m_map.Refresh(64.9f, 32.5f, 1.0f, 0.0f, 1000.0f, 1000.0f, 16, 16, 0, &m_control);
    EXPECT_EQ(m_map.CameraX(), 32);
    EXPECT_EQ(m_map.CameraY(), 16);
    const QImage client = Client();
    const int row = 64 - 16;
    EXPECT_EQ(client.pixel(42, row) & 0xFFFFFF, kRed & 0xFFFFFF);
    EXPECT_EQ(client.pixel(50, row) & 0xFFFFFF, kRed & 0xFFFFFF);
    EXPECT_NE(client.pixel(56, row) & 0xFFFFFF, kRed & 0xFFFFFF);
    EXPECT_NE(client.pixel(28, row) & 0xFFFFFF, kRed & 0xFFFFFF);
}

TEST_F(OverviewMapTest, FramesAreClippedToTheControlAndPaintedInOrder)
{
    WriteBmp(TerrainFiles::kHeightmap, 64, 64, [](int, int) { return 128; });
    MakeControl(64);  // scale 1
    ASSERT_EQ(m_map.Build(&m_control), 0);
    // Page at (32, 32) 64 x 64 and, with margin 8, the inner zone at (40, 40)
    // 48 x 48: both run past the top and right edges of the control.
    m_map.Refresh(48.0f, 48.0f, 0.0f, -1.0f, 32.0f, 32.0f, 64, 64, 8, &m_control);
    const QImage client = Client();
    // Blue page frame: left side at x 32, bottom side at map row 32 (screen
    // row 31); clipped, it closes along the control's top and right border.
    EXPECT_EQ(client.pixel(32, 10) & 0xFFFFFF, kBlue & 0xFFFFFF);
    EXPECT_EQ(client.pixel(50, 31) & 0xFFFFFF, kBlue & 0xFFFFFF);
    EXPECT_EQ(client.pixel(35, 0) & 0xFFFFFF, kBlue & 0xFFFFFF);
    EXPECT_EQ(client.pixel(63, 28) & 0xFFFFFF, kBlue & 0xFFFFFF);
    // Yellow inner frame at x 40 and screen row 23; where it shares the
    // border with the blue frame it is drawn over it.
    EXPECT_EQ(client.pixel(40, 10) & 0xFFFFFF, kYellow & 0xFFFFFF);
    EXPECT_EQ(client.pixel(50, 23) & 0xFFFFFF, kYellow & 0xFFFFFF);
    EXPECT_EQ(client.pixel(50, 0) & 0xFFFFFF, kYellow & 0xFFFFFF);
    EXPECT_EQ(client.pixel(63, 10) & 0xFFFFFF, kYellow & 0xFFFFFF);
    // The heading line runs from map (48, 48) (screen row 16) 20 pixels down
    // and is drawn before both frames, which cover it where they cross.
    EXPECT_EQ(client.pixel(48, 20) & 0xFFFFFF, kRed & 0xFFFFFF);
    EXPECT_EQ(client.pixel(48, 23) & 0xFFFFFF, kYellow & 0xFFFFFF);
    EXPECT_EQ(client.pixel(48, 28) & 0xFFFFFF, kRed & 0xFFFFFF);
    EXPECT_EQ(client.pixel(48, 31) & 0xFFFFFF, kBlue & 0xFFFFFF);
    // The map's grey shows elsewhere.
    EXPECT_EQ(client.pixel(5, 50) & 0xFFFFFF, static_cast<QRgb>(qRgb(128, 128, 128)) & 0xFFFFFF);
}

TEST_F(OverviewMapTest, FrameEntirelyOutsideIsNotDrawnAndRepaintShowsTheSamePicture)
{
    WriteBmp(TerrainFiles::kHeightmap, 64, 64, [](int x, int) { return static_cast<std::uint8_t>(x); });
    MakeControl(32);
    ASSERT_EQ(m_map.Build(&m_control), 0);
    m_map.Refresh(-500.0f, -500.0f, 0.0f, 1.0f, 2000.0f, 2000.0f, 64, 64, 8, &m_control);
    const QImage first = Client();
    EXPECT_EQ(CountColour(first, kBlue), 0);
    EXPECT_EQ(CountColour(first, kYellow), 0);
    // Painting again (as after the control was covered) gives the same image.
    EXPECT_EQ(Client(), first);
}

TEST_F(OverviewMapTest, RefreshFromTheRenderThreadRepaintsOnTheUserInterfaceThread)
{
    WriteBmp(TerrainFiles::kHeightmap, 64, 64, [](int, int) { return 0; });
    MakeControl(64);
    ASSERT_EQ(m_map.Build(&m_control), 0);
    m_control.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_control));
    std::atomic<bool> done{false};
    std::thread render([&] {
        for (int i = 0; i < 200; ++i) {
            const float x = static_cast<float>(i % 60);
            m_map.Refresh(x, 30.0f, 0.0f, 1.0f, 1000.0f, 1000.0f, 16, 16, 0, &m_control);
        }
        m_map.Refresh(50.0f, 10.0f, 0.0f, 1.0f, 1000.0f, 1000.0f, 16, 16, 0, &m_control);
        done = true;
    });
    // Paint while the marks change underneath.
    while (!done) {
        QApplication::processEvents();
        Client();
    }
    render.join();
    QApplication::processEvents();
    const QImage client = Client();
    EXPECT_EQ(client.pixel(50, 64 - 10 - 5) & 0xFFFFFF, kRed & 0xFFFFFF);
    EXPECT_EQ(m_map.CameraX(), 50);
}
