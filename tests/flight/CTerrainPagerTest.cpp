// The one paging policy over a terrain source: the window of classic and
// streamed terrains, when a run starts, what a run builds, and the framed
// start over a flat real model.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "flight/CTerrainPager.h"
#include "landscape/CLandscape.h"
#include "terrain/CBitmapEx.h"
#include "terrain/CWindowPainter.h"
#include "tests/support/CRecordingDevice.h"
#include "terrain/ITerrainSource.h"

namespace {

// A streamed terrain of any size whose code at (x, z) is (x + z) % 1000,
// without colours unless `colours` is set; it counts its reads.
class CFakeStreamedSource : public ITerrainSource {
public:
    CFakeStreamedSource(std::int32_t width, std::int32_t height) : m_width(width), m_height(height) {}
    std::int32_t Width() const override { return m_width; }
    std::int32_t Height() const override { return m_height; }
    float HeightScale() const override { return 0.5f; }
    double Spacing() const override { return 30.0; }
    bool Streamed() const override { return true; }
    void CodeRange(std::int32_t* low, std::int32_t* high) const override
    {
        *low = 0;
        *high = 999;
    }
    int ReadWindow(std::int32_t x0, std::int32_t z0, std::int32_t* width, std::int32_t* height,
                   std::int32_t* window) override
    {
        ++m_reads;
        *width = std::min<std::int64_t>(*width, static_cast<std::int64_t>(m_width) - x0);
        *height = std::min<std::int64_t>(*height, static_cast<std::int64_t>(m_height) - z0);
        for (std::int32_t k = 0; k < *height; ++k)
            for (std::int32_t i = 0; i < *width; ++i)
                window[i + k * *width] = (x0 + i + z0 + k) % 1000;
        return 0;
    }
    const CBitmapEx* ColourRaster() const override { return nullptr; }
    int ReadColours(std::int32_t, std::int32_t, std::int32_t width, std::int32_t height, CBitmapEx* out) override
    {
        return colours && out->CreateBlank(width, height) == 0 ? 0 : -1;
    }

    bool colours = false;
    int m_reads = 0;

private:
    std::int32_t m_width;
    std::int32_t m_height;
};

} // namespace

TEST(CTerrainPagerTest, StreamedWindowsAreAtMost4096AndHalfTheTerrainWhenSmaller)
{
    struct Case {
        std::int32_t width, height;
        int window, windowHeight, margin;
    } cases[] = {
        {65537, 65537, 4096, 4096, 1024},
        {16385, 16385, 4096, 4096, 1024}, // the classic folder's would be 8192
        {8193, 8193, 4096, 4096, 1024},
        {3601, 1201, 1800, 600, 450},
        {100000, 3000, 4096, 1500, 1024},
    };
    for (const Case& c : cases) {
        CFakeStreamedSource source(c.width, c.height);
        const PageWindow page = CTerrainPager::WindowOf(source);
        EXPECT_EQ(page.width, c.window) << c.width;
        EXPECT_EQ(page.height, c.windowHeight) << c.width;
        EXPECT_EQ(page.margin, c.margin) << c.width;
    }
}

TEST(CTerrainPagerTest, ARunStartsOnlyNearAnEdgeWhenNoneRunsAndItIsOfUse)
{
    CRecordingDevice device(64, 64);
    CFakeStreamedSource source(65537, 65537); // window 4096, margin 1024
    const CTerrainPager pager(&device, source, nullptr);
    struct Case {
        float x, z, originX, originZ;
        bool running, wanted;
    } cases[] = {
        {2048.0f, 2048.0f, 0.0f, 0.0f, false, false},      // the start, mid-window
        {3073.0f, 2048.0f, 0.0f, 0.0f, false, true},       // past 4096 - 1024
        {3073.0f, 2048.0f, 0.0f, 0.0f, true, false},       // a run in progress
        {500.0f, 600.0f, 0.0f, 0.0f, false, false},        // within both origin-side margins
        {500.0f, 2048.0f, 0.0f, 0.0f, false, true},        // one origin side: the same window again
        {40000.0f, 40000.0f, 37952.0f, 37952.0f, false, false},
        {40000.0f, 41025.0f, 37952.0f, 37952.0f, false, true},
        {65600.0f, 40000.0f, 61441.0f, 37952.0f, false, true}, // cut at the far edge, a new origin
        {80000.0f, 40000.0f, 61441.0f, 37952.0f, false, false}, // nothing left past the far edge
    };
    for (const Case& c : cases)
        EXPECT_EQ(pager.PagingWanted(c.x, c.z, c.originX, c.originZ, c.running), c.wanted) << c.x << "," << c.z;
}

TEST(CTerrainPagerTest, ARunReadsTheWindowAroundTheCameraAndPaintsItWithoutColours)
{
    CRecordingDevice device(64, 64);
    CFakeStreamedSource source(65537, 65537);
    const CTerrainPager pager(&device, source, nullptr);
    CTerrainPager::Page page = pager.BuildAround(40000.5f, 30000.0f, false);
    ASSERT_NE(page.landscape, nullptr);
    EXPECT_EQ(page.x0, 40000 - 2048);
    EXPECT_EQ(page.z0, 30000 - 2048);
    EXPECT_EQ(page.width, 4096);
    EXPECT_EQ(page.landscape->m_originX, 37952.0f);
    EXPECT_EQ(page.landscape->m_heightScale, 0.5f);
    EXPECT_EQ(page.landscape->Sample(10, 3), (37952 + 10 + 27952 + 3) % 1000);
    EXPECT_EQ(page.landscape->m_texture, nullptr);
    page.landscape->Destroy();

    CWindowPainter painter;
    ASSERT_EQ(painter.LoadTiles(std::string(VP_SOURCE_DIR) + "/data/Textures"), 0);
    const CTerrainPager painting(&device, source, &painter);
    page = painting.BuildAt(0, 0, true); // no colours: painted from the heights
    ASSERT_NE(page.landscape, nullptr);
    EXPECT_NE(page.landscape->m_texture, nullptr);
    page.landscape->Destroy();

    source.colours = true;
    page = pager.BuildAt(65000, 0, true); // narrower at the far edge, with the source's colours
    ASSERT_NE(page.landscape, nullptr);
    EXPECT_EQ(page.width, 537);
    EXPECT_NE(page.landscape->m_texture, nullptr);
    page.landscape->Destroy();
}

TEST(CTerrainPagerTest, AFlatRealModelIsSeenFromAProportionateHeightLookingDown)
{
    struct Case {
        std::int32_t side;
        float lowest, middle, highest;
    } cases[] = {
        {4096, 100.0f, 100.5f, 101.0f}, // flat at true proportion: a unit of relief
        {4096, 0.0f, 50.0f, 300.0f},    // a tall hill beside the middle
        {600, 10.0f, 10.0f, 10.0f},     // entirely flat
    };
    for (const Case& c : cases) {
        float pitch = 0.0f;
        const float above = CTerrainPager::FramedStart(c.side, c.side, c.lowest, c.middle, c.highest, &pitch);
        EXPECT_GT(c.middle + above, c.highest) << c.side;
        EXPECT_GE(above, c.highest - c.lowest);
        EXPECT_LE(above, c.side * 0.2f);
        EXPECT_GT(pitch, 0.0f);
        EXPECT_LE(pitch, 0.35f);
        // The middle of the view meets the ground within the window.
        EXPECT_LE((c.middle + above - c.lowest) / std::tan(pitch), c.side * 0.75f) << c.side;
    }
}
