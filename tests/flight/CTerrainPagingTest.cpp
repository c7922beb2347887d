// Paging's owner: a run swaps the window around the camera in, a failed read
// keeps the flight where it was and holds the next run back, and a run on
// its own thread is counted until it has ended.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <future>

#include <sys/resource.h>
#include <unistd.h>

#include "flight/CTerrainPaging.h"
#include "landscape/CLandscape.h"
#include "terrain/ThreadPriority.h"
#include "terrain/CBitmapEx.h"
#include "terrain/ITerrainSource.h"
#include "tests/support/CRecordingDevice.h"

namespace {

// A streamed 2000 x 2000 terrain (window 1000, margin 250) sloping along x;
// its reads fail while `failing` is set.
class CSlopeSource : public ITerrainSource {
public:
    std::int32_t Width() const override { return 2000; }
    std::int32_t Height() const override { return 2000; }
    float HeightScale() const override { return 1.0f; }
    double Spacing() const override { return 1.0; }
    bool Streamed() const override { return true; }
    void CodeRange(std::int32_t* low, std::int32_t* high) const override
    {
        *low = 0;
        *high = 1999;
    }
    int ReadWindow(std::int32_t x0, std::int32_t z0, std::int32_t* width, std::int32_t* height,
                   std::int32_t* window) override
    {
        if (failing)
            return -1;
        *width = std::min(*width, Width() - x0);
        *height = std::min(*height, Height() - z0);
        for (std::int32_t k = 0; k < *height; ++k)
            for (std::int32_t i = 0; i < *width; ++i)
                window[i + k * *width] = x0 + i;
        return 0;
    }
    const CBitmapEx* ColourRaster() const override { return nullptr; }
    int ReadColours(std::int32_t, std::int32_t, std::int32_t, std::int32_t, CBitmapEx*) override { return -1; }

    bool failing = false;
};

class CTerrainPagingTest : public ::testing::Test {
protected:
    void Begin(CTerrainPaging& paging) { paging.Begin(m_pager, m_pager.BuildFirst(false), 0.1f, 50); }

    CRecordingDevice m_device{64, 64};
    CSlopeSource m_source;
    CTerrainPager m_pager{&m_device, m_source, nullptr};
};

} // namespace

TEST_F(CTerrainPagingTest, ARunSwapsTheWindowAroundTheCameraInWithTheFlightsParameters)
{
    CTerrainPaging paging(CTerrainPaging::Runs::AtOnce);
    Begin(paging);
    const CLandscape* first = paging.Landscape();
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(paging.Wanted(500.0f, 500.0f, 0));
    ASSERT_TRUE(paging.Wanted(800.0f, 500.0f, 0));

    bool swapped = false;
    paging.Start([&]() { swapped = paging.Run(800.0f, 500.0f, false); });
    ASSERT_TRUE(swapped);
    EXPECT_EQ(paging.Count().load(), 0);
    const CLandscape* now = paging.Landscape();
    ASSERT_NE(now, nullptr);
    EXPECT_NE(now, first);
    EXPECT_EQ(paging.OriginX().load(), 300.0f);
    EXPECT_EQ(paging.OriginZ().load(), 0.0f);
    EXPECT_EQ(now->m_originX, 300.0f);
    EXPECT_EQ(now->Sample(0, 0), 300);
    EXPECT_EQ(now->m_minError, 0.1f);
    EXPECT_EQ(now->m_maxRenderTime, 50u);
    EXPECT_FALSE(paging.Wanted(800.0f, 500.0f, 0)); // mid-window now
}

TEST_F(CTerrainPagingTest, AFailedReadKeepsTheLandscapeAndHoldsTheNextRunBack)
{
    CTerrainPaging paging(CTerrainPaging::Runs::AtOnce);
    Begin(paging);
    const CLandscape* first = paging.Landscape();
    m_source.failing = true;
    bool swapped = true;
    paging.Start([&]() { swapped = paging.Run(800.0f, 500.0f, false); });
    EXPECT_FALSE(swapped);
    EXPECT_EQ(paging.Landscape(), first);
    EXPECT_EQ(paging.OriginX().load(), 0.0f);
    EXPECT_EQ(paging.Retry().Failures(), 1);

    const std::uint32_t now = 1000000;
    paging.Retry().Failed(now); // a second failure, at a known tick: 2 s of wait
    EXPECT_FALSE(paging.Wanted(800.0f, 500.0f, now + 1999));
    EXPECT_TRUE(paging.Wanted(800.0f, 500.0f, now + 2000));

    m_source.failing = false;
    paging.Start([&]() { swapped = paging.Run(800.0f, 500.0f, false); });
    EXPECT_TRUE(swapped);
    EXPECT_EQ(paging.Retry().Failures(), 0);
}

TEST_F(CTerrainPagingTest, ARunOnItsThreadCountsUntilItEndsAndCancelStopsTheNext)
{
    CTerrainPaging paging(CTerrainPaging::Runs::OnThread);
    Begin(paging);
    std::promise<void> go;
    std::shared_future<void> released = go.get_future().share();
    std::promise<std::thread::id> ranOn;
    int niceOfRun = 0;
    paging.Start([&]() {
        niceOfRun = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
        ranOn.set_value(std::this_thread::get_id());
        released.wait();
        paging.Run(800.0f, 500.0f, false);
    });
    EXPECT_NE(ranOn.get_future().get(), std::this_thread::get_id());
    // Below the deciding thread, so that frames come first.
    EXPECT_GE(niceOfRun, std::min(19, ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())) + kBackgroundNice));
    EXPECT_EQ(paging.Count().load(), 1);
    EXPECT_FALSE(paging.Wanted(800.0f, 500.0f, 0)); // one at a time
    go.set_value();
    paging.Join();
    EXPECT_EQ(paging.Count().load(), 0);
    EXPECT_EQ(paging.OriginX().load(), 300.0f);

    paging.Cancel();
    EXPECT_FALSE(paging.Wanted(1300.0f, 500.0f, 0));
    EXPECT_FALSE(paging.Run(1300.0f, 500.0f, false));
    EXPECT_EQ(paging.OriginX().load(), 300.0f);
}
