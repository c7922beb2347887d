// Per-pixel light of the enhanced look from a window's light map, drawn
// through the OpenGL device over known scenes: a tilted plane's light is the
// analytic value whatever the vertex normals say, a wall's shadow falls
// down-light of it, a valley's floor is darker than its ridges, and the
// picture of a still camera does not change as the mesh refines.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "flight/CPageBuilder.h"
#include "landscape/CLandscape.h"
#include "render/DeviceSetup.h"
#include "render/LightMapTexture.h"
#include "render/PageTexture.h"
#include "render/gl/CGLRenderer.h"
#include "terrain/CBitmapEx.h"
#include "tests/gl/GLTestSupport.h"

namespace {

constexpr unsigned kWidth = 160;
constexpr unsigned kHeight = 120;
constexpr int kSide = 65; // window samples per side
constexpr float kEyeHeight = 60.0f;

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

D3DXMATRIX Projection() { return D3DXMatrixPerspectiveFovLH(1.5707964f, 4.0f / 3.0f, 1.0f, 5000.0f); }

// Straight down on the middle of the window.
D3DXMATRIX View() { return D3DXMatrixLookAtLH({32, kEyeHeight, 32}, {32, 0, 32}, {0, 0, 1}); }

// The pixel showing world point p.
glm::ivec2 PixelOf(const glm::vec3& p)
{
    const glm::vec4 clip = Projection() * View() * glm::vec4(p, 1.0f);
    return {static_cast<int>((clip.x / clip.w * 0.5f + 0.5f) * kWidth),
            static_cast<int>((0.5f - clip.y / clip.w * 0.5f) * kHeight)};
}

// The light equation of the enhanced look for a white texel, hazed as the
// eye above sees ground at height 0.
glm::vec3 Expected(const glm::vec3& normal, float sun, float sky)
{
    const glm::vec3 toLight = -glm::normalize(glm::vec3(1, -1, 1));
    const glm::vec3 ambient =
        glm::mix(LookColours::kGroundAmbient, LookColours::kSkyAmbient, 0.5f + 0.5f * normal.y) * sky;
    const glm::vec3 lit = glm::min(glm::vec3(1.0f), 0.5f * ambient + std::max(0.0f, glm::dot(normal, toLight)) * sun);
    const float rise = -kEyeHeight / LookHaze::kHeight;
    const float mean = std::exp(-kEyeHeight / LookHaze::kHeight) * (1.0f - std::exp(-rise)) / rise;
    const float haze = 1.0f - std::exp(-LookHaze::kDensity * kEyeHeight * mean);
    return glm::mix(lit, LookColours::kHorizon, haze);
}

// A flat quad at y = 0 over the window (0..kSide - 1 in x and z), every
// vertex with the normal straight up, textured white with `heights`' light
// map; returns the frame.
std::vector<std::uint32_t> DrawLitQuad(CGLDevice& device, const std::vector<std::int32_t>& heights, float scale)
{
    CBitmapEx white;
    EXPECT_EQ(white.CreateBlank(kSide, kSide), 0);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            white.WritePixel(x, y, 0xFFFFFF);
    ITexture* texture = CreatePageTexture(&device, white, 0, 0, kSide, kSide);
    ITexture* lightMap = CreateLightMapTexture(&device, heights.data(), kSide, kSide, scale);
    EXPECT_NE(texture, nullptr);
    EXPECT_NE(lightMap, nullptr);
    const float e = static_cast<float>(kSide - 1);
    const float t = e / kSide; // texture coordinate x / columns
    const LitVertex c[4] = {{0, 0, 0, 0, 1, 0, 0, 0}, {e, 0, 0, 0, 1, 0, t, 0}, {e, 0, e, 0, 1, 0, t, t},
                            {0, 0, e, 0, 1, 0, 0, t}};
    const LitVertex triangles[6] = {c[0], c[1], c[2], c[0], c[2], c[3]};
    IVertexBuffer* buffer = nullptr;
    EXPECT_EQ(device.CreateVertexBuffer(sizeof triangles, 0, FVF_LANDSCAPE, D3DPOOL_SYSTEMMEM, &buffer), 0);
    void* data = nullptr;
    EXPECT_EQ(buffer->Lock(&data), 0);
    std::memcpy(data, triangles, sizeof triangles);
    EXPECT_EQ(buffer->Unlock(), 0);
    // A few frames: the textures arrive in slices.
    for (int frame = 0; frame < 4; ++frame) {
        device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device.BeginScene();
        device.SetTexture(0, texture);
        device.SetTexture(1, lightMap);
        device.SetStreamSource(0, buffer, 0, sizeof(LitVertex));
        device.SetFVF(FVF_LANDSCAPE);
        EXPECT_EQ(device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), 0);
        device.EndScene();
        device.Present();
    }
    std::vector<std::uint32_t> frame;
    device.ReadBackBuffer(&frame);
    buffer->Release();
    texture->Release();
    lightMap->Release();
    return frame;
}

std::uint32_t At(const std::vector<std::uint32_t>& frame, const glm::vec3& p)
{
    const glm::ivec2 pixel = PixelOf(p);
    return frame[static_cast<std::size_t>(pixel.y) * kWidth + pixel.x];
}

} // namespace

class LightMapTest : public ::testing::Test {
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
    HeadlessDevice m_gl{kWidth, kHeight};
};

TEST_F(LightMapTest, ATiltedPlaneIsLitByItsOwnNormalNotTheVertices)
{
    const struct {
        int perX, perZ; // sample values per sample
        float scale;
    } planes[] = {{0, 0, 1.0f}, {1, 0, 1.0f}, {-1, 1, 1.0f}, {2, -1, 0.5f}, {257, 0, 2.5f / 257.0f}};
    for (const auto& plane : planes) {
        std::vector<std::int32_t> heights;
        for (int z = 0; z < kSide; ++z)
            for (int x = 0; x < kSide; ++x)
                heights.push_back(40000 + plane.perX * x + plane.perZ * z);
        const std::vector<std::uint32_t> frame = DrawLitQuad(*m_gl.device, heights, plane.scale);
        const glm::vec3 normal =
            glm::normalize(glm::vec3(-plane.perX * plane.scale, 1.0f, -plane.perZ * plane.scale));
        const glm::vec3 expected = Expected(normal, 1.0f, 1.0f) * 255.0f;
        for (const glm::vec3 p : {glm::vec3(32, 0, 32), glm::vec3(20, 0, 45)}) {
            const std::uint32_t pixel = At(frame, p);
            EXPECT_TRUE(Near(pixel, std::lround(expected.r), std::lround(expected.g), std::lround(expected.b), 4))
                << plane.perX << "," << plane.perZ << std::hex << " pixel 0x" << pixel << std::dec << " expected "
                << expected.r << "," << expected.g << "," << expected.b;
        }
    }
}

TEST_F(LightMapTest, AWallsShadowFallsDownLightAndAValleyFloorIsDarkerThanItsRidges)
{
    // A wall 16 units tall along x = 32: the light travels along +x and +z
    // and drops one unit per unit of x, so the ground from x = 33 to about
    // 45 lies in its shadow (ambient only), the ground before it in full
    // light.
    std::vector<std::int32_t> wall(kSide * kSide, 0);
    for (int z = 0; z < kSide; ++z)
        wall[z * kSide + 32] = 16;
    std::vector<std::uint32_t> frame = DrawLitQuad(*m_gl.device, wall, 1.0f);
    DumpFrame(frame, kWidth, kHeight, "light-map-wall");
    // As far up-light of the wall as down-light, the ground sees as much of
    // the sky: the difference is the sunlight, which the shadow takes away.
    const glm::vec3 up(0, 1, 0);
    const float sunlight = (Expected(up, 1.0f, 1.0f) - Expected(up, 0.0f, 1.0f)).g * 255.0f;
    for (int d : {4, 8}) {
        const int shadowed = Green(At(frame, glm::vec3(32 + d, 0, 40)));
        const int lit = Green(At(frame, glm::vec3(32 - d, 0, 40)));
        EXPECT_NEAR(lit - shadowed, sunlight, 12) << d << " units from the wall: " << lit << " against " << shadowed;
    }
    EXPECT_NEAR(Green(At(frame, glm::vec3(56, 0, 40))), Expected(up, 1.0f, 1.0f).g * 255.0f, 4)
        << "past the shadow's end";

    // Valleys along z, 48 apart and 9 deep, with flat floors (x = 24) and
    // flat ridge tops (x = 48) joined by sides gentler than the light (0.75
    // against its drop of 1 per step of travel), so all of it is sunlit: the
    // floor sees less of the sky than the ridge's top.
    std::vector<std::int32_t> valleys(kSide * kSide);
    for (int z = 0; z < kSide; ++z)
        for (int x = 0; x < kSide; ++x) {
            const int d = std::abs((x % 48) - 24);
            valleys[z * kSide + x] = static_cast<std::int32_t>(std::lround(std::clamp((d - 8) * 0.75, 0.0, 9.0) * 4.0));
        }
    // Ambient light alone: in the sun the light is whole on both.
    m_gl.device->LightEnable(0, false);
    frame = DrawLitQuad(*m_gl.device, valleys, 0.25f);
    DumpFrame(frame, kWidth, kHeight, "light-map-valleys");
    const int floor = Green(At(frame, glm::vec3(24, 0, 32)));
    const int ridge = Green(At(frame, glm::vec3(50, 0, 32)));
    EXPECT_NEAR(ridge, Expected(up, 0.0f, 1.0f).g * 255.0f, 4);
    EXPECT_LT(floor + 4, ridge) << "floor " << floor << ", ridge " << ridge;
}

TEST_F(LightMapTest, AStillCameraSeesTheSameLightAsTheMeshRefines)
{
    // Rolling ground seen from straight above, its mesh at a coarse and at a
    // fine error bound: lit per vertex (classic) the two pictures differ
    // where the triangles do; lit per pixel (enhanced) they agree.
    std::vector<std::int32_t> heights(kSide * kSide);
    for (int z = 0; z < kSide; ++z)
        for (int x = 0; x < kSide; ++x)
            heights[z * kSide + x] = static_cast<std::int32_t>(
                std::lround(100.0 + 40.0 * std::sin(x * 0.35) * std::cos(z * 0.27) + 12.0 * std::sin((x + 2 * z) * 0.6)));
    CBitmapEx white;
    ASSERT_EQ(white.CreateBlank(kSide, kSide), 0);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            white.WritePixel(x, y, 0xFFFFFF);
    CGLDevice& device = *m_gl.device;
    // From far above through a narrow view, so that the heights the two
    // meshes give a point move it on the screen by a small part of a pixel.
    device.SetTransform(D3DTS_VIEW, D3DXMatrixLookAtLH({32, 1000, 32}, {32, 0, 32}, {0, 0, 1}));
    device.SetTransform(D3DTS_PROJECTION, D3DXMatrixPerspectiveFovLH(0.07f, 4.0f / 3.0f, 100.0f, 5000.0f));
    const auto render = [&](float minError) {
        std::unique_ptr<CLandscape> landscape =
            CPageBuilder::BuildPage(&device, &white, 0, 0, 0.0f, 0.05f, heights.data(), kSide, kSide);
        landscape->m_minError = minError;
        landscape->m_maxRenderTime = 1000;
        std::vector<std::uint32_t> frame;
        for (int i = 0; i < 4; ++i) {
            device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
            device.BeginScene();
            EXPECT_EQ(landscape->Update(), 0);
            device.EndScene();
            device.Present();
        }
        device.ReadBackBuffer(&frame);
        const bool enhanced = device.CurrentLook() == Look::Enhanced;
        DumpFrame(frame, kWidth, kHeight,
                  minError > 0.0f ? (enhanced ? "light-map-coarse" : "light-map-coarse-classic")
                                  : (enhanced ? "light-map-fine" : "light-map-fine-classic"));
        const std::int32_t triangles = landscape->m_trianglesRendered;
        landscape->Destroy();
        return std::make_pair(frame, triangles);
    };
    const auto difference = [&]() {
        const auto [coarse, coarseTriangles] = render(0.5f);
        const auto [fine, fineTriangles] = render(0.0f);
        EXPECT_LT(coarseTriangles * 4, fineTriangles);
        double sum = 0.0;
        int count = 0;
        for (unsigned y = kHeight / 4; y < 3 * kHeight / 4; ++y)
            for (unsigned x = kWidth / 4; x < 3 * kWidth / 4; ++x, ++count)
                sum += std::abs(Green(coarse[y * kWidth + x]) - Green(fine[y * kWidth + x]));
        return sum / count;
    };
    const double enhanced = difference();
    ASSERT_EQ(device.SetLook(Look::Classic), 0);
    const double classic = difference();
    EXPECT_LT(enhanced, 1.5) << "per pixel";
    EXPECT_GT(classic, 3.0 * enhanced + 1.0) << "per vertex";
}
