// The ground under a world point from a landscape's window, the highest
// ground along a path, and one step of terrain following for a camera.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "flight/CClearanceController.h"
#include "flight/CGroundHeight.h"
#include "flight/CTerrainFollower.h"
#include "landscape/CLandscape.h"
#include "render/CCamera.h"

namespace {

// A 9 x 9 window at world (100, 200) whose level at column i, row k is
// i + 10 k, except a peak of 100 at column 6, row 2.
void MakeLandscape(CLandscape* landscape)
{
    std::vector<std::int32_t> heights(81);
    for (int k = 0; k < 9; ++k)
        for (int i = 0; i < 9; ++i)
            heights[i + 9 * k] = i + 10 * k;
    heights[6 + 9 * 2] = 100;
    ASSERT_EQ(landscape->SetHeightWindow(9, heights.data(), 9), 0);
    landscape->m_originX = 100.0f;
    landscape->m_originZ = 200.0f;
}

} // namespace

TEST(CGroundHeight, SamplesTimesTheHeightScaleBilinearAndClampedToTheWindow)
{
    CLandscape landscape;
    MakeLandscape(&landscape);
    const float s = landscape.m_heightScale;
    struct Case {
        float x, z, expected;
    } cases[] = {
        {100.0f, 200.0f, 0.0f},           // the window's first sample
        {103.0f, 201.0f, 13.0f * s},      // on a sample
        {103.5f, 201.0f, 13.5f * s},      // between two columns
        {103.0f, 201.25f, 15.5f * s},     // a quarter of the way to the next row
        {103.5f, 200.5f, 8.5f * s},       // in the middle of a cell
        {50.0f, 203.0f, 30.0f * s},       // west of the window: its west edge
        {500.0f, 500.0f, 88.0f * s},      // past the far corner: the corner
        {106.0f, 202.0f, 100.0f * s},     // the peak
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(CGroundHeight::At(landscape, c.x, c.z), c.expected) << c.x << "," << c.z;
    }
    CLandscape empty;
    EXPECT_EQ(CGroundHeight::At(empty, 3.0f, 4.0f), 0.0f);
}

TEST(CGroundHeight, HighestAlongAPathFindsThePeakBetweenItsEnds)
{
    CLandscape landscape;
    MakeLandscape(&landscape);
    const float s = landscape.m_heightScale;
    // Along row 2 from column 1 eastwards: the peak at column 6 lies within 6 units.
    EXPECT_FLOAT_EQ(CGroundHeight::Highest(landscape, 101.0f, 202.0f, 2.0f, 0.0f, 6.0f), 100.0f * s);
    EXPECT_FLOAT_EQ(CGroundHeight::Highest(landscape, 101.0f, 202.0f, 1.0f, 0.0f, 3.0f), 24.0f * s);
    // Westwards the ground falls: the start is the highest.
    EXPECT_FLOAT_EQ(CGroundHeight::Highest(landscape, 105.0f, 202.0f, -1.0f, 0.0f, 4.0f), 25.0f * s);
    // No direction or no distance: the ground at the start.
    EXPECT_FLOAT_EQ(CGroundHeight::Highest(landscape, 101.0f, 202.0f, 0.0f, 0.0f, 6.0f), 21.0f * s);
    EXPECT_FLOAT_EQ(CGroundHeight::Highest(landscape, 101.0f, 202.0f, 1.0f, 0.0f, 0.0f), 21.0f * s);
}

TEST(CTerrainFollower, LiftsTheCameraForThePeakAheadAndReportsTheGroundUnderIt)
{
    CLandscape landscape;
    MakeLandscape(&landscape);
    const float s = landscape.m_heightScale;
    CCamera camera;
    camera.SetPosition({101.0f, 0.0f, 202.0f});
    camera.Turn(1.5707964f); // look east, towards the peak
    camera.Apply();
    const float ground = CTerrainFollower::Follow(camera, landscape, 20.0f, 6.0f, 1.0f / 30.0f);
    EXPECT_FLOAT_EQ(ground, 21.0f * s);
    EXPECT_FLOAT_EQ(camera.Position().y, 100.0f * s + 20.0f);
    EXPECT_FLOAT_EQ(camera.Position().x, 101.0f);

    // Flying backwards, the peak is behind: only the ground under the eye counts.
    CCamera reverse;
    reverse.SetPosition({101.0f, 0.0f, 202.0f});
    reverse.Turn(1.5707964f);
    reverse.Apply();
    CTerrainFollower::Follow(reverse, landscape, 20.0f, -6.0f, 1.0f / 30.0f);
    EXPECT_FLOAT_EQ(reverse.Position().y, 21.0f * s + 20.0f);
}
