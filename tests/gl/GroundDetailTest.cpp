// The enhanced look's ground detail through the OpenGL device: the tiles'
// grain shows on the ground near the eye and is gone far off, where the
// page texture alone is drawn; without a detail set the near ground is as
// plain as the page texture.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "flight/CPageBuilder.h"
#include "landscape/CLandscape.h"
#include "render/DetailSet.h"
#include "render/DeviceSetup.h"
#include "terrain/CBitmapEx.h"
#include "tests/gl/GLTestSupport.h"

namespace {

constexpr unsigned kWidth = 200;
constexpr unsigned kHeight = 150;
constexpr int kSide = 1025;

// Every tile a checkerboard of 2 x 2-texel squares, grey 64 and 192; flat
// ground weighs the second slot alone.
DetailSet Checkerboards()
{
    DetailSet detail;
    detail.tileSize = 32;
    for (auto& tile : detail.tiles)
        for (unsigned y = 0; y < 32; ++y)
            for (unsigned x = 0; x < 32; ++x)
                tile.push_back(((x / 2 + y / 2) & 1) != 0 ? 0xFFC0C0C0u : 0xFF404040u);
    detail.weights.assign(DetailSet::kLevels, {0.0f, 1.0f, 0.0f, 0.0f, 0.0f});
    detail.levelScale = 2.5f;
    return detail;
}

// Mean distance of a pixel's green from the mean of its 3 x 3 block, over
// rows first..end - 1.
double Grain(const std::vector<std::uint32_t>& frame, unsigned first, unsigned end)
{
    double sum = 0.0;
    int count = 0;
    for (unsigned y = first; y < end; ++y)
        for (unsigned x = 1; x + 1 < kWidth; ++x, ++count) {
            double mean = 0.0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    mean += Green(frame[(y + dy) * kWidth + x + dx]);
            sum += std::abs(Green(frame[y * kWidth + x]) - mean / 9.0);
        }
    return sum / count;
}

} // namespace

class GroundDetailTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_gl.device)
            GTEST_SKIP() << "no headless OpenGL 3.3 context";
        SetupRenderState(m_gl.device.get());
        ASSERT_EQ(m_gl.device->SetLook(Look::Enhanced), 0);
        m_gl.device->SetTransform(D3DTS_PROJECTION, D3DXMatrixPerspectiveFovLH(0.8f, 4.0f / 3.0f, 1.0f, 5000.0f));
        // 20 units above flat ground, looking ahead and a little down: the
        // bottom rows show ground within 60 units, the rows just below the
        // horizon ground more than 400 away.
        m_gl.device->SetTransform(D3DTS_VIEW, D3DXMatrixLookAtLH({512, 20, 100}, {512, 0, 250}, {0, 1, 0}));
    }

    std::vector<std::uint32_t> Render()
    {
        CGLDevice& device = *m_gl.device;
        const std::vector<std::int32_t> flat(static_cast<std::size_t>(kSide) * kSide, 0);
        CBitmapEx grey;
        EXPECT_EQ(grey.CreateBlank(kSide, kSide), 0);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x)
                grey.WritePixel(x, y, 0x808080);
        std::unique_ptr<CLandscape> landscape =
            CPageBuilder::BuildPage(&device, &grey, 0, 0, 0.0f, 1.0f, flat.data(), kSide, kSide);
        landscape->m_minError = 0.1f;
        std::vector<std::uint32_t> frame;
        for (int i = 0; i < 40; ++i) { // until both textures have arrived
            device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            device.BeginScene();
            EXPECT_EQ(landscape->Update(), 0);
            device.EndScene();
            device.Present();
        }
        device.ReadBackBuffer(&frame);
        landscape->Destroy();
        return frame;
    }

    HeadlessDevice m_gl{kWidth, kHeight};
};

TEST_F(GroundDetailTest, TheTilesGrainShowsNearTheEyeAndNotFarOff)
{
    const std::vector<std::uint32_t> plain = Render();
    ASSERT_EQ(m_gl.device->SetDetail(Checkerboards()), 0);
    const std::vector<std::uint32_t> detailed = Render();
    DumpFrame(detailed, kWidth, kHeight, "ground-detail");
    const unsigned nearRows = kHeight - 30, farRows = 58; // far rows: just below the horizon, row 55
    const double nearGrain = Grain(detailed, nearRows, kHeight - 1);
    const double farGrain = Grain(detailed, farRows, farRows + 6);
    EXPECT_GT(nearGrain, 8.0) << "the checkerboards near the eye";
    EXPECT_LT(farGrain, 1.0) << "the plain page texture far off";
    EXPECT_LT(Grain(plain, nearRows, kHeight - 1), 1.0) << "no detail set: plain near the eye too";
    EXPECT_EQ(m_gl.device->SetDetail(DetailSet{}), -1) << "an empty set is refused";
}
