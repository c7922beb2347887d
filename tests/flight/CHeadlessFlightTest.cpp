// The headless flight on the recording device: simulated time (every frame
// moves the flight by exactly 1/fps seconds), plugged-in steering, terrain
// following, synchronous paging as the camera nears the window's edge, and
// stopping when the frame consumer asks.
#include <gtest/gtest.h>

#include <memory>

#include <cmath>
#include <cstdint>
#include <vector>

#include "flight/CHeadlessFlight.h"
#include "flight/CTerrainPager.h"
#include "terrain/CFolderTerrainSource.h"
#include "landscape/CLandscape.h"
#include "render/CCamera.h"
#include "terrain/CTerrainModel.h"
#include "tests/support/CRecordingDevice.h"

namespace {

// A terrain of side x side whose level rises eastwards: (x / 4) % 200.
void MakeTerrain(CTerrainModel* terrain, int side)
{
    terrain->m_image.CreateBlank(side, side);
    for (int z = 0; z < side; ++z)
        for (int x = 0; x < side; ++x) {
            const std::uint32_t level = static_cast<std::uint32_t>(x / 4 % 200);
            terrain->m_image.WritePixel(x, z, level << 16 | level << 8 | level);
        }
    terrain->m_gridWidth = side;
    terrain->m_gridHeight = side;
}

struct Frame {
    D3DXVECTOR3 eye;
    float ground;
};

class CHeadlessFlightTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeTerrain(&m_terrain, 257); // window 128 x 128, margin 32
        m_pager = std::make_unique<CTerrainPager>(&m_device, m_source, nullptr);
        m_device.SetRecording(false);
        m_camera.SetDevice(&m_device);
    }

    std::vector<Frame> Fly(CHeadlessFlight::Settings settings, CHeadlessFlight* flight, int stopAt = -1)
    {
        std::vector<Frame> frames;
        m_result = flight->Fly(settings, [&](int index) {
            frames.push_back({m_camera.Position(), flight->Ground()});
            return index == stopAt ? -1 : 0;
        });
        return frames;
    }

    CTerrainModel m_terrain;
    CRecordingDevice m_device{320, 240};
    CFolderTerrainSource m_source{m_terrain, nullptr};
    std::unique_ptr<CTerrainPager> m_pager;
    CCamera m_camera;
    int m_result = 0;
};

} // namespace

TEST_F(CHeadlessFlightTest, EveryFrameMovesTheFlightByOneStepOfSimulatedTime)
{
    struct Case {
        int fps;
        float speedKmh;
    } cases[] = {{30, 360.0f}, {10, 36.0f}, {60, 0.0f}};
    for (const Case& c : cases) {
        CHeadlessFlight flight(&m_device, *m_pager, false, m_camera);
        CHeadlessFlight::Settings settings;
        settings.frames = 12;
        settings.fps = c.fps;
        settings.speedKmh = c.speedKmh;
        const std::vector<Frame> frames = Fly(settings, &flight);
        ASSERT_EQ(m_result, 0);
        ASSERT_EQ(frames.size(), 12u);
        // The start command's place: over the middle of the first window.
        EXPECT_EQ(frames[0].eye.x, 64.0f);
        EXPECT_EQ(frames[0].eye.z, 64.0f);
        const float step = c.speedKmh * 1000.0f / 3600.0f / static_cast<float>(c.fps);
        for (std::size_t i = 1; i < frames.size(); ++i) {
            EXPECT_NEAR(frames[i].eye.z - frames[i - 1].eye.z, step, 1e-4f) << c.fps << " frame " << i;
            EXPECT_EQ(frames[i].eye.y, frames[0].eye.y) << "level flight keeps its height";
        }
    }
}

TEST_F(CHeadlessFlightTest, SteeringGetsTheSimulatedTimeAndTurnsTheCamera)
{
    CHeadlessFlight flight(&m_device, *m_pager, false, m_camera);
    CHeadlessFlight::Settings settings;
    settings.frames = 10;
    settings.fps = 20;
    std::vector<double> times;
    settings.steering = [&times](const CameraSnapshot&, double seconds, double stepSeconds) {
        times.push_back(seconds);
        EXPECT_DOUBLE_EQ(stepSeconds, 0.05);
        return 0.1f;
    };
    Fly(settings, &flight);
    ASSERT_EQ(times.size(), 10u);
    for (std::size_t i = 0; i < times.size(); ++i)
        EXPECT_DOUBLE_EQ(times[i], static_cast<double>(i) * 0.05);
    m_camera.Apply();
    const CameraSnapshot s = m_camera.Snapshot();
    EXPECT_NEAR(std::atan2(s.look.x, s.look.z), 1.0f, 1e-4f) << "ten turns of 0.1 radians to the right";
}

TEST_F(CHeadlessFlightTest, TerrainFollowingKeepsTheClearanceOverRisingGround)
{
    CHeadlessFlight flight(&m_device, *m_pager, false, m_camera);
    CHeadlessFlight::Settings settings;
    settings.frames = 150;
    settings.fps = 30;
    settings.speedKmh = 200.0f;
    settings.clearance = 30.0f;
    settings.steering = [](const CameraSnapshot&, double, double) { return 0.0f; };
    m_camera.Turn(1.5707964f); // east, up the slope
    const std::vector<Frame> frames = Fly(settings, &flight);
    ASSERT_EQ(frames.size(), 150u);
    for (const Frame& f : frames)
        EXPECT_GE(f.eye.y - f.ground, 30.0f - 1e-3f) << f.eye.x;
    EXPECT_GT(frames.back().ground, frames.front().ground) << "the flight went uphill";
    EXPECT_GT(flight.PagingRuns(), 0) << "eastwards out of the first window";
}

TEST_F(CHeadlessFlightTest, PagesSynchronouslyNearTheWindowsEdge)
{
    CHeadlessFlight flight(&m_device, *m_pager, false, m_camera);
    CHeadlessFlight::Settings settings;
    settings.frames = 40;
    settings.fps = 10;
    settings.speedKmh = 36.0f; // 1 unit per frame, south from z = 64
    const std::vector<Frame> frames = Fly(settings, &flight);
    ASSERT_EQ(frames.size(), 40u);
    // The margin is 32: past z = 96 a run puts the window's origin half a
    // window behind the camera.
    EXPECT_EQ(flight.PagingRuns(), 1);
    ASSERT_NE(flight.Landscape(), nullptr);
    EXPECT_EQ(flight.Landscape()->m_originZ, 33.0f);
    EXPECT_EQ(flight.Landscape()->m_originX, 0.0f);
}

TEST_F(CHeadlessFlightTest, StopsWhenTheConsumerAsksAndRefusesWhatCannotFly)
{
    CHeadlessFlight flight(&m_device, *m_pager, false, m_camera);
    CHeadlessFlight::Settings settings;
    settings.frames = 20;
    EXPECT_EQ(Fly(settings, &flight, 4).size(), 5u);
    EXPECT_EQ(m_result, -1);

    settings.fps = 0;
    EXPECT_TRUE(Fly(settings, &flight).empty());
    EXPECT_EQ(m_result, -1);

    CTerrainModel empty;
    CFolderTerrainSource emptySource(empty, nullptr);
    CTerrainPager emptyPager(&m_device, emptySource, nullptr);
    CHeadlessFlight nothing(&m_device, emptyPager, false, m_camera);
    settings.fps = 30;
    EXPECT_TRUE(Fly(settings, &nothing).empty());
    EXPECT_EQ(m_result, -1);
}
