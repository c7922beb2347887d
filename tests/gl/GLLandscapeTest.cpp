// The real landscape drawn through the OpenGL device: a flat terrain under
// the fixed light and material shows the colour the lighting equation
// predicts times the page texture's texel, a near hill hides a far one, and
// leaving out the hidden back faces does not change the picture.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flight/PageTexture.h"
#include "landscape/CLandscape.h"
#include "render/CCamera.h"
#include "render/DeviceSetup.h"
#include "terrain/CBitmapEx.h"
#include "tests/gl/GLTestSupport.h"

namespace {

constexpr unsigned kWidth = 200;
constexpr unsigned kHeight = 150;
constexpr int kSide = 129; // window samples per side

// Renders `frames` frames of a landscape over `heights` (kSide x kSide), its
// page texture cut from `colours`, seen from `eye` looking along +z turned by
// `turn` radians. `cullHidden` is the landscape's m_cullHiddenFaces; with
// `backFacesHidden`, says whether the last frame could leave them out.
std::vector<std::uint32_t> Render(CGLDevice& device, const std::vector<std::int32_t>& heights,
                                  const CBitmapEx& colours, D3DXVECTOR3 eye, int frames, float turn = 0.0f,
                                  bool cullHidden = true, bool* backFacesHidden = nullptr)
{
    CCamera camera;
    camera.SetDevice(&device);
    camera.SetupProjection();
    SetupRenderState(&device);
    CLandscape landscape;
    landscape.m_device = &device;
    landscape.m_texture = CreatePageTexture(&device, colours, 0, 0, kSide, kSide);
    EXPECT_NE(landscape.m_texture, nullptr);
    landscape.m_minError = 0.0f; // refine everything in view
    landscape.m_maxRenderTime = 1000;
    landscape.m_cullHiddenFaces = cullHidden;
    EXPECT_EQ(landscape.SetHeightWindow(kSide, heights.data(), kSide), 0);
    EXPECT_EQ(landscape.Initialise(), 0);
    camera.SetPosition(eye);
    camera.Turn(turn);
    for (int frame = 0; frame < frames; ++frame) {
        camera.Apply();
        device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device.BeginScene();
        DrawAxes(&device);
        EXPECT_EQ(landscape.Update(), 0);
        device.EndScene();
        device.Present();
    }
    std::vector<std::uint32_t> pixels;
    device.ReadBackBuffer(&pixels);
    if (backFacesHidden) {
        *backFacesHidden = landscape.BackFacesHidden();
    }
    landscape.Destroy();
    return pixels;
}

// A kSide x kSide colour raster: `near` for rows above `splitRow` (image
// rows from the top), `far` for the others.
void FillColours(CBitmapEx* raster, std::uint32_t near, std::uint32_t far, int splitRow)
{
    ASSERT_EQ(raster->CreateBlank(kSide, kSide), 0);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            raster->WritePixel(x, y, y < splitRow ? near : far);
}

} // namespace

class GLLandscapeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_gl.device)
            GTEST_SKIP() << "no headless OpenGL 3.3 context";
    }
    HeadlessDevice m_gl{kWidth, kHeight};
};

TEST_F(GLLandscapeTest, FlatTerrainShowsLitTexelBelowTheHorizon)
{
    const std::uint32_t texel = 0x00B47C3C;
    CBitmapEx colours;
    FillColours(&colours, texel, texel, kSide);
    const std::vector<std::int32_t> heights(static_cast<std::size_t>(kSide) * kSide, 40);
    // 20 units above the ground near the window's start, looking along +z.
    const std::vector<std::uint32_t> frame =
        Render(*m_gl.device, heights, colours, {64.0f, 40 * 2.5f + 20.0f, 2.0f}, 3);
    DumpFrame(frame, kWidth, kHeight, "flat-terrain");

    // Flat ground: normal (0, 1, 0), so lit = 0.5 x 200/255 + (0, 1, 0) . -(1, -1, 1)/sqrt(3).
    const float lit = 0.5f * 200.0f / 255.0f + 1.0f / std::sqrt(3.0f);
    const int r = static_cast<int>(std::lround(lit * 0xB4));
    const int g = static_cast<int>(std::lround(lit * 0x7C));
    const int b = static_cast<int>(std::lround(lit * 0x3C));
    int matching = 0, checked = 0;
    for (unsigned y = kHeight * 3 / 4; y < kHeight; ++y)
        for (unsigned x = kWidth / 4; x < kWidth * 3 / 4; ++x, ++checked)
            matching += Near(frame[y * kWidth + x], r, g, b, 3) ? 1 : 0;
    EXPECT_EQ(matching, checked) << "lower middle is lit ground";
    // Above the horizon nothing but the black background.
    for (unsigned x = 0; x < kWidth; x += 7)
        EXPECT_EQ(frame[5 * kWidth + x] & 0xFFFFFF, 0u);
}

TEST_F(GLLandscapeTest, NearHillHidesFarHill)
{
    // A low ridge across rows 30..40 and a taller one across rows 80..100;
    // rows before 60 are coloured red, the rest green.
    std::vector<std::int32_t> heights(static_cast<std::size_t>(kSide) * kSide, 0);
    for (int z = 0; z < kSide; ++z)
        for (int x = 0; x < kSide; ++x) {
            std::int32_t h = 0;
            if (z >= 30 && z <= 40)
                h = 60;
            if (z >= 80 && z <= 100)
                h = 100;
            heights[static_cast<std::size_t>(z) * kSide + x] = h;
        }
    CBitmapEx colours;
    FillColours(&colours, 0x00FF0000, 0x0000FF00, 60);
    // 10 units above the near ridge's top, 20 before it: the near ridge fills
    // the picture from a third below the horizon down and hides the far
    // ridge's foot, whose upper part fills the picture above.
    const std::vector<std::uint32_t> frame =
        Render(*m_gl.device, heights, colours, {64.0f, 60 * 2.5f + 10.0f, 10.0f}, 3);
    DumpFrame(frame, kWidth, kHeight, "near-hill");
    int red = 0, green = 0;
    for (unsigned y = kHeight * 3 / 4; y < kHeight; ++y)
        for (unsigned x = kWidth / 4; x < kWidth * 3 / 4; ++x) {
            const std::uint32_t c = frame[y * kWidth + x];
            red += Red(c) > 40 && Green(c) == 0 ? 1 : 0;
            green += Green(c) > 40 && Red(c) == 0 ? 1 : 0;
        }
    EXPECT_GT(red, 0);
    EXPECT_EQ(green, 0) << "far ridge shows through the near one";
    // The far ridge rises above the near one somewhere higher up.
    int greenAbove = 0;
    for (unsigned y = 0; y < kHeight / 2; ++y)
        for (unsigned x = 0; x < kWidth; ++x)
            greenAbove += Green(frame[y * kWidth + x]) > 40 && Red(frame[y * kWidth + x]) == 0 ? 1 : 0;
    EXPECT_GT(greenAbove, 0);
}

TEST_F(GLLandscapeTest, LeavingOutHiddenBackFacesKeepsThePicture)
{
    // Rolling hills, their far slopes facing away from the camera, under a
    // texture that differs from texel to texel.
    std::vector<std::int32_t> heights(static_cast<std::size_t>(kSide) * kSide);
    CBitmapEx colours;
    ASSERT_EQ(colours.CreateBlank(kSide, kSide), 0);
    for (int z = 0; z < kSide; ++z)
        for (int x = 0; x < kSide; ++x) {
            heights[static_cast<std::size_t>(z) * kSide + x] = static_cast<std::int32_t>(
                40.0 + 12.0 * std::sin(x * 0.19) * std::cos(z * 0.15) + 8.0 * std::sin((x + 2 * z) * 0.08));
            colours.WritePixel(x, z, static_cast<std::uint32_t>((x * 2) << 16 | (z * 2) << 8 | 0x40));
        }
    struct View {
        D3DXVECTOR3 eye;
        float turn;
        bool hidden; // back faces cannot show from there
    };
    // The ground lies between 50 and 150 units.
    const View views[] = {
        {{64.0f, 200.0f, 5.0f}, 0.0f, true},
        {{30.0f, 180.0f, 100.0f}, 2.2f, true},
        {{110.0f, 190.0f, 70.0f}, -2.0f, true},
        // Inside a hill: the underside shows, so nothing may be left out.
        {{64.0f, 40.0f, 60.0f}, 0.3f, false},
        // Beyond the window's edge, looking in at its side.
        {{64.0f, 120.0f, -20.0f}, 0.0f, false},
    };
    for (const View& v : views) {
        SCOPED_TRACE(testing::Message() << "eye " << v.eye.x << "," << v.eye.y << "," << v.eye.z);
        bool hidden = !v.hidden;
        const std::vector<std::uint32_t> culled =
            Render(*m_gl.device, heights, colours, v.eye, 3, v.turn, true, &hidden);
        const std::vector<std::uint32_t> all = Render(*m_gl.device, heights, colours, v.eye, 3, v.turn, false);
        EXPECT_EQ(hidden, v.hidden);
        const std::string name = "back-faces-" + std::to_string(&v - views);
        DumpFrame(culled, kWidth, kHeight, (name + "-culled").c_str());
        DumpFrame(all, kWidth, kHeight, (name + "-all").c_str());
        // On a silhouette edge a back face and the front face behind it meet
        // at one depth, and either may colour a pixel there: a few such
        // pixels differ by a few levels. Nothing else may change.
        int different = 0;
        int far = 0;
        int terrain = 0;
        for (std::size_t i = 0; i < all.size(); ++i) {
            different += culled[i] != all[i] ? 1 : 0;
            far += Near(culled[i], Red(all[i]), Green(all[i]), Blue(all[i]), 12) ? 0 : 1;
            terrain += (all[i] & 0xFFFFFF) != 0 ? 1 : 0;
        }
        EXPECT_GT(terrain, static_cast<int>(all.size() / 20));
        EXPECT_EQ(far, 0);
        EXPECT_LE(different, static_cast<int>(all.size() / 1000));
    }
}
