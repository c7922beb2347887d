// Where a paging run puts its window, when a run is of use, the window cut
// through the terrain model, the landscape built over it and where the
// camera starts.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "flight/CPageBuilder.h"
#include "landscape/CLandscape.h"
#include "terrain/CFolderTerrainSource.h"
#include "terrain/CTerrainModel.h"
#include "tests/support/CRecordingDevice.h"

namespace {

// A terrain model of width x height whose level at (x, z) is (x + 3 z) % 256.
void MakeTerrain(CTerrainModel* terrain, int width, int height)
{
    terrain->m_image.CreateBlank(width, height);
    for (int z = 0; z < height; ++z)
        for (int x = 0; x < width; ++x) {
            const std::uint32_t level = static_cast<std::uint32_t>(x + 3 * z) % 256u;
            terrain->m_image.WritePixel(x, z, level << 16 | level << 8 | level);
        }
    terrain->m_gridWidth = width;
    terrain->m_gridHeight = height;
}

} // namespace

TEST(CPageBuilderTest, PageOriginCentresTheWindowAndRaisesItToZero)
{
    struct Case {
        float x, z;
        std::int32_t x0, z0;
    } cases[] = {
        {5000.0f, 6000.0f, 2952, 3952}, // half of 4096 back from the camera
        {100.0f, 3000.0f, 0, 952},      // the origin side raised to 0
        {2048.9f, 2049.5f, 0, 1},       // truncated
        {-50.0f, -1.0f, 0, 0},
    };
    for (const Case& c : cases) {
        std::int32_t x0 = -1, z0 = -1;
        CPageBuilder::PageOrigin(c.x, c.z, 4096, 4096, &x0, &z0);
        EXPECT_EQ(x0, c.x0) << c.x;
        EXPECT_EQ(z0, c.z0) << c.z;
    }
}

TEST(CPageBuilderTest, RunsPastTheFarEdgeAreOfUseOnlyForANewNonEmptyWindow)
{
    // 8193 x 8193 heightmap, 4096 window, current window at (4098, 2000).
    struct Case {
        float x, z;
        bool useful;
    } cases[] = {
        {4000.0f, 4000.0f, true},    // well inside
        {100.0f, 100.0f, true},      // origin side: always as before
        {8100.0f, 4000.0f, true},    // cut at the far edge, a new origin
        {6146.5f, 4048.0f, false},   // cut at the far edge, the current window again
        {10239.0f, 4000.0f, true},   // two columns left
        {10240.0f, 4000.0f, false},  // only one column left
        {20000.0f, 4000.0f, false},  // nothing left
        {4000.0f, 12000.0f, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CPageBuilder::PagingUseful(c.x, c.z, 4096, 4096, 8193, 8193, 4098.0f, 2000.0f), c.useful)
            << c.x << ", " << c.z;
    }
}

TEST(CPageBuilderTest, CutWindowTakesTheModelsSamplesAndShrinksAtTheFarEdge)
{
    CTerrainModel terrain;
    MakeTerrain(&terrain, 40, 30);
    CFolderTerrainSource source(terrain, nullptr);
    std::int32_t width = 20, height = 20;
    std::unique_ptr<std::int32_t[]> window;
    ASSERT_EQ(CPageBuilder::CutWindow(source, 25, 5, &width, &height, &window), 0);
    EXPECT_EQ(width, 15);
    EXPECT_EQ(height, 20);
    ASSERT_NE(window, nullptr);
    for (int k = 0; k < height; ++k)
        for (int i = 0; i < width; ++i)
            ASSERT_EQ(window[static_cast<std::size_t>(k) * width + i], (25 + i + 3 * (5 + k)) % 256);

    width = 20;
    height = 20;
    ASSERT_EQ(CPageBuilder::CutWindow(source, 45, 0, &width, &height, &window), 0);
    EXPECT_EQ(window, nullptr) << "nothing past the far edge";

    CTerrainModel empty;
    empty.m_gridWidth = 0;
    empty.m_gridHeight = 0;
    CFolderTerrainSource emptySource(empty, nullptr);
    width = 20;
    EXPECT_EQ(CPageBuilder::CutWindow(emptySource, 0, 0, &width, &height, &window), -1);
    EXPECT_EQ(window, nullptr);
}

TEST(CPageBuilderTest, BuildsAnInitialisedLandscapeAndStartsTheCameraOverItsMiddle)
{
    CTerrainModel terrain;
    MakeTerrain(&terrain, 65, 65);
    CFolderTerrainSource source(terrain, nullptr);
    std::int32_t width = 32, height = 32;
    std::unique_ptr<std::int32_t[]> window;
    ASSERT_EQ(CPageBuilder::CutWindow(source, 16, 8, &width, &height, &window), 0);

    CRecordingDevice device(556, 390);
    int status = -1;
    std::unique_ptr<CLandscape> landscape =
        CPageBuilder::BuildPage(&device, nullptr, 16, 8, 7.0f, 0.5f, window.get(), width, height, &status);
    ASSERT_NE(landscape, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(landscape->m_originX, 16.0f);
    EXPECT_EQ(landscape->m_originY, 7.0f);
    EXPECT_EQ(landscape->m_originZ, 8.0f);
    EXPECT_EQ(landscape->m_heightScale, 0.5f);
    EXPECT_EQ(landscape->m_texture, nullptr) << "no colours, no page texture";
    EXPECT_GT(landscape->m_leafCount, 0);

    const D3DXVECTOR3 start = CPageBuilder::StartPosition(*landscape, width, height);
    EXPECT_EQ(start.x, 16.0f + 16.0f);
    EXPECT_EQ(start.z, 8.0f + 16.0f);
    EXPECT_FLOAT_EQ(start.y, static_cast<float>((32 + 3 * 24) % 256) * landscape->m_heightScale + 200.0f);

    device.SetFailures(DeviceOp::CreateVertexBuffer, -1);
    std::unique_ptr<CLandscape> failed =
        CPageBuilder::BuildPage(&device, nullptr, 16, 8, 0.0f, 2.5f, window.get(), width, height, &status);
    EXPECT_NE(status, 0) << "a landscape without its buffer says so";
    failed->Destroy();
    landscape->Destroy();
}
