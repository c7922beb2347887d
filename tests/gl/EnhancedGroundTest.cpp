// The enhanced look's ground through the OpenGL device, over known scenes:
// a tilted plane lit per pixel by its own normal whatever the vertices say,
// a wall's shadow down-light of it, a valley floor darker than a ridge top,
// the same light for a still camera as the mesh refines, and the tiles'
// grain near the eye only.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "flight/CPageBuilder.h"
#include "landscape/CLandscape.h"
#include "render/DeviceSetup.h"
#include "flight/LightMapTexture.h"
#include "flight/PageTexture.h"
#include "render/gl/CGLRenderer.h"
#include "terrain/CBitmapEx.h"
#include "tests/gl/GLTestSupport.h"

namespace {

constexpr unsigned kWidth = 160, kHeight = 120;
constexpr int kSide = 65; // window samples per side
constexpr float kEye = 60.0f;

D3DXMATRIX Projection() { return D3DXMatrixPerspectiveFovLH(1.5707964f, 4.0f / 3.0f, 1.0f, 5000.0f); }
D3DXMATRIX View() { return D3DXMatrixLookAtLH({32, kEye, 32}, {32, 0, 32}, {0, 0, 1}); } // straight down

// The enhanced light of a white texel at height 0 seen from the eye above.
glm::vec3 Expected(const glm::vec3& n, float sun, float sky)
{
    const glm::vec3 ambient = glm::mix(LookColours::kGroundAmbient, LookColours::kSkyAmbient, 0.5f + 0.5f * n.y) * sky;
    const float lambert = std::max(0.0f, glm::dot(n, -glm::normalize(glm::vec3(1, -1, 1)))) * sun;
    const glm::vec3 lit = glm::min(glm::vec3(1.0f), 0.5f * ambient + lambert);
    const float rise = -kEye / LookHaze::kHeight;
    const float mean = std::exp(-kEye / LookHaze::kHeight) * (1.0f - std::exp(-rise)) / rise;
    return 255.0f * glm::mix(lit, LookColours::kHorizon, 1.0f - std::exp(-LookHaze::kDensity * kEye * mean));
}

std::unique_ptr<CBitmapEx> Plain(int side, std::uint32_t colour)
{
    auto raster = std::make_unique<CBitmapEx>();
    raster->CreateBlank(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            raster->WritePixel(x, y, colour);
    return raster;
}

template <typename Height>
std::vector<std::int32_t> Window(int side, Height height)
{
    std::vector<std::int32_t> w;
    for (int z = 0; z < side; ++z)
        for (int x = 0; x < side; ++x)
            w.push_back(height(x, z));
    return w;
}

} // namespace

class EnhancedGroundTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_gl.device)
            GTEST_SKIP() << "no headless OpenGL 3.3 context";
        SetupRenderState(m_gl.device.get());
        ASSERT_EQ(m_gl.device->SetLook(Look::Enhanced), 0);
        m_gl.device->SetTransform(D3DTS_PROJECTION, Projection());
        m_gl.device->SetTransform(D3DTS_VIEW, View());
    }

    // A flat quad over the window, every vertex normal straight up,
    // textured white and lit by `heights`' light map.
    std::vector<std::uint32_t> DrawFlatQuad(const std::vector<std::int32_t>& heights, float scale)
    {
        CGLDevice& device = *m_gl.device;
        ITexture* texture = CreatePageTexture(&device, *Plain(kSide, 0xFFFFFF), 0, 0, kSide, kSide);
        ITexture* lightMap = CreateLightMapTexture(&device, heights.data(), kSide, kSide, scale);
        EXPECT_TRUE(texture != nullptr && lightMap != nullptr);
        struct Vertex {
            float position[3], normal[3], uv[2];
        };
        const float e = kSide - 1.0f, t = e / kSide; // texture coordinates x / columns
        const Vertex a{{0, 0, 0}, {0, 1, 0}, {0, 0}}, b{{e, 0, 0}, {0, 1, 0}, {t, 0}}, c{{e, 0, e}, {0, 1, 0}, {t, t}},
            d{{0, 0, e}, {0, 1, 0}, {0, t}};
        const Vertex triangles[6] = {a, b, c, a, c, d};
        for (int frame = 0; frame < 4; ++frame) { // the textures arrive in slices
            device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            device.BeginScene();
            device.SetTexture(0, texture);
            device.SetTexture(1, lightMap);
            device.SetFVF(FVF_LANDSCAPE);
            EXPECT_EQ(device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, triangles, sizeof(Vertex)), 0);
            device.EndScene();
        }
        texture->Release();
        lightMap->Release();
        return m_gl.Frame();
    }

    // A landscape over `heights` (page texture `colours`) drawn until its
    // textures have arrived; its triangles into *triangles.
    std::vector<std::uint32_t> DrawLandscape(const std::vector<std::int32_t>& heights, int side, float scale,
                                             const CBitmapEx& colours, float minError, int* triangles = nullptr)
    {
        CGLDevice& device = *m_gl.device;
        auto landscape = CPageBuilder::BuildPage(&device, &colours, 0, 0, 0.0f, scale, heights.data(), side, side);
        landscape->m_minError = minError;
        for (int i = 0; i < 40; ++i) {
            device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            device.BeginScene();
            EXPECT_EQ(landscape->Update(), 0);
            device.EndScene();
        }
        if (triangles != nullptr)
            *triangles = landscape->m_trianglesRendered;
        landscape->Destroy();
        return m_gl.Frame();
    }

    int GreenAt(const std::vector<std::uint32_t>& frame, float x, float z) const
    {
        const glm::vec4 clip = Projection() * View() * glm::vec4(x, 0.0f, z, 1.0f);
        const int px = static_cast<int>((clip.x / clip.w * 0.5f + 0.5f) * kWidth);
        const int py = static_cast<int>((0.5f - clip.y / clip.w * 0.5f) * kHeight);
        return Green(frame[static_cast<std::size_t>(py) * kWidth + px]);
    }

    HeadlessDevice m_gl{kWidth, kHeight};
};

TEST_F(EnhancedGroundTest, ATiltedPlaneIsLitByItsOwnNormalNotTheVertices)
{
    const struct {
        int perX, perZ; // sample values per sample
        float scale;
    } planes[] = {{0, 0, 1.0f}, {1, 0, 1.0f}, {-1, 1, 1.0f}, {2, -1, 0.5f}, {257, 0, 2.5f / 257.0f}};
    for (const auto& p : planes) {
        const auto frame = DrawFlatQuad(Window(kSide, [&](int x, int z) { return 40000 + p.perX * x + p.perZ * z; }), p.scale);
        const glm::vec3 expected = Expected(glm::normalize(glm::vec3(-p.perX * p.scale, 1.0f, -p.perZ * p.scale)), 1, 1);
        EXPECT_NEAR(GreenAt(frame, 32, 32), expected.g, 4) << p.perX << "," << p.perZ;
        EXPECT_NEAR(GreenAt(frame, 20, 45), expected.g, 4) << p.perX << "," << p.perZ;
    }
}

TEST_F(EnhancedGroundTest, AWallsShadowFallsDownLightAndAValleyFloorIsDarkerThanARidgeTop)
{
    // A wall 16 tall along x = 32; the light travels along +x and +z,
    // dropping 1 per unit of x: ground up to 16 units past the wall is in its
    // shadow. As far up-light, the ground sees as much sky: the difference
    // is the sunlight.
    auto frame = DrawFlatQuad(Window(kSide, [](int x, int) { return x == 32 ? 16 : 0; }), 1.0f);
    const glm::vec3 up(0, 1, 0);
    for (int d : {4, 8})
        EXPECT_NEAR(GreenAt(frame, 32 - d, 40) - GreenAt(frame, 32 + d, 40), (Expected(up, 1, 1) - Expected(up, 0, 1)).g, 12) << d;
    EXPECT_NEAR(GreenAt(frame, 56, 40), Expected(up, 1, 1).g, 4) << "past the shadow's end";

    // Valleys along z, 48 apart and 9 deep: flat floors (x = 24), flat ridge
    // tops (x = 48), sides gentler than the light. Ambient light alone.
    m_gl.device->LightEnable(0, false);
    frame = DrawFlatQuad(Window(kSide, [](int x, int) {
        return static_cast<int>(std::lround(std::clamp((std::abs(x % 48 - 24) - 8) * 0.75, 0.0, 9.0) * 4.0));
    }), 0.25f);
    EXPECT_NEAR(GreenAt(frame, 50, 32), Expected(up, 0, 1).g, 4);
    EXPECT_LT(GreenAt(frame, 24, 32) + 4, GreenAt(frame, 50, 32));
}

TEST_F(EnhancedGroundTest, AStillCameraSeesTheSameLightAsTheMeshRefines)
{
    // Rolling ground from far above through a narrow view (the heights of
    // the two meshes move a point by a small part of a pixel), its mesh at a
    // coarse and a fine error bound: lit per vertex (classic) the pictures
    // differ where the triangles do; lit per pixel (enhanced) they agree.
    const auto heights = Window(kSide, [](int x, int z) {
        return static_cast<int>(std::lround(100 + 40 * std::sin(x * 0.35) * std::cos(z * 0.27) + 12 * std::sin((x + 2 * z) * 0.6)));
    });
    m_gl.device->SetTransform(D3DTS_VIEW, D3DXMatrixLookAtLH({32, 1000, 32}, {32, 0, 32}, {0, 0, 1}));
    m_gl.device->SetTransform(D3DTS_PROJECTION, D3DXMatrixPerspectiveFovLH(0.07f, 4.0f / 3.0f, 100.0f, 5000.0f));
    const auto white = Plain(kSide, 0xFFFFFF);
    const auto difference = [&]() {
        int coarseTriangles = 0, fineTriangles = 0;
        const auto coarse = DrawLandscape(heights, kSide, 0.05f, *white, 0.5f, &coarseTriangles);
        const auto fine = DrawLandscape(heights, kSide, 0.05f, *white, 0.0f, &fineTriangles);
        EXPECT_LT(coarseTriangles * 4, fineTriangles);
        double sum = 0.0;
        for (unsigned y = kHeight / 4; y < 3 * kHeight / 4; ++y)
            for (unsigned x = kWidth / 4; x < 3 * kWidth / 4; ++x)
                sum += std::abs(Green(coarse[y * kWidth + x]) - Green(fine[y * kWidth + x]));
        return sum / (kWidth * kHeight / 4);
    };
    const double enhanced = difference();
    ASSERT_EQ(m_gl.device->SetLook(Look::Classic), 0);
    const double classic = difference();
    EXPECT_LT(enhanced, 1.5);
    EXPECT_GT(classic, 3.0 * enhanced + 1.0);
}

TEST_F(EnhancedGroundTest, TheTilesGrainShowsNearTheEyeOnlyAndAnEmptySetIsRefused)
{
    // Flat ground painted mid grey, seen from 20 above looking ahead: the
    // bottom rows show ground within 60 units, rows 58..63 (the horizon is at
    // row 55) ground over 400 away. Every tile a checkerboard of 2-texel
    // squares, grey 64 and 192, the second slot weighing all levels.
    m_gl.device->SetTransform(D3DTS_PROJECTION, D3DXMatrixPerspectiveFovLH(0.8f, 4.0f / 3.0f, 1.0f, 5000.0f));
    m_gl.device->SetTransform(D3DTS_VIEW, D3DXMatrixLookAtLH({512, 20, 100}, {512, 0, 250}, {0, 1, 0}));
    const std::vector<std::int32_t> flat(1025 * 1025, 0);
    const auto grey = Plain(1025, 0x808080);
    const auto grain = [](const std::vector<std::uint32_t>& frame, unsigned first, unsigned end) {
        double sum = 0.0;
        for (unsigned y = first; y < end; ++y)
            for (unsigned x = 1; x + 1 < kWidth; ++x) {
                int mean = 0;
                for (int k = 0; k < 9; ++k)
                    mean += Green(frame[(y + k / 3 - 1) * kWidth + x + k % 3 - 1]);
                sum += std::abs(Green(frame[y * kWidth + x]) - mean / 9.0);
            }
        return sum / ((end - first) * (kWidth - 2));
    };
    EXPECT_LT(grain(DrawLandscape(flat, 1025, 1.0f, *grey, 0.1f), kHeight - 30, kHeight - 1), 1.0) << "no detail set";
    DetailSet detail;
    detail.tileSize = 32;
    for (auto& tile : detail.tiles)
        for (unsigned i = 0; i < 32 * 32; ++i)
            tile.push_back(((i % 32 / 2 + i / 64) & 1) != 0 ? 0xFFC0C0C0u : 0xFF404040u);
    detail.weights.assign(DetailSet::kLevels, {0.0f, 1.0f, 0.0f, 0.0f, 0.0f});
    ASSERT_EQ(m_gl.device->SetDetail(detail), 0);
    const auto frame = DrawLandscape(flat, 1025, 1.0f, *grey, 0.1f);
    EXPECT_GT(grain(frame, kHeight - 30, kHeight - 1), 8.0) << "near the eye";
    EXPECT_LT(grain(frame, 58, 64), 1.0) << "far off";
    EXPECT_EQ(m_gl.device->SetDetail(DetailSet{}), -1);
}
