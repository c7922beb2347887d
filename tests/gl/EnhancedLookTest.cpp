// The enhanced look on the OpenGL device: the sky gradient, the hemisphere
// ambient term, the distance fog at known ground distances, and the filtered
// page texture with its mip chain. The classic look is checked to stay as
// it was where the two could be confused.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>
#include <glm/gtc/matrix_inverse.hpp>

#include "flight/PageTexture.h"
#include "render/CMipChain.h"
#include "render/DeviceSetup.h"
#include "render/gl/CGLRenderer.h"
#include "terrain/CBitmapEx.h"
#include "tests/gl/GLTestSupport.h"

namespace {

constexpr unsigned kWidth = 160;
constexpr unsigned kHeight = 120;

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};

D3DXMATRIX Projection() { return D3DXMatrixPerspectiveFovLH(1.5707964f, 4.0f / 3.0f, 1.0f, 5000.0f); }

glm::ivec3 Colour255(const glm::vec3& c)
{
    return {static_cast<int>(std::lround(c.r * 255.0f)), static_cast<int>(std::lround(c.g * 255.0f)),
            static_cast<int>(std::lround(c.b * 255.0f))};
}

// The ray through the centre of pixel (px, py) under view x projection.
void PixelRay(const D3DXMATRIX& view, const D3DXMATRIX& projection, int px, int py, glm::vec3* from, glm::vec3* to)
{
    const glm::mat4 inverse = glm::inverse(projection * view);
    const float x = (px + 0.5f) / kWidth * 2.0f - 1.0f;
    const float y = 1.0f - (py + 0.5f) / kHeight * 2.0f;
    const glm::vec4 nearPoint = inverse * glm::vec4(x, y, 0.0f, 1.0f);
    const glm::vec4 farPoint = inverse * glm::vec4(x, y, 1.0f, 1.0f);
    *from = glm::vec3(nearPoint) / nearPoint.w;
    *to = glm::vec3(farPoint) / farPoint.w;
}

// A quad at y = 0 from -1000 to 1000 in x and z with one normal for all
// vertices and texture coordinates 0..1 over it.
class Quad {
public:
    Quad(CGLDevice& device, glm::vec3 n) : m_device(device)
    {
        const LitVertex c[4] = {{-1000, 0, -1000, n.x, n.y, n.z, 0, 0},
                                {1000, 0, -1000, n.x, n.y, n.z, 1, 0},
                                {1000, 0, 1000, n.x, n.y, n.z, 1, 1},
                                {-1000, 0, 1000, n.x, n.y, n.z, 0, 1}};
        const LitVertex triangles[6] = {c[0], c[1], c[2], c[0], c[2], c[3]};
        EXPECT_EQ(device.CreateVertexBuffer(sizeof triangles, 0, FVF_LANDSCAPE, D3DPOOL_SYSTEMMEM, &m_buffer), 0);
        void* data = nullptr;
        EXPECT_EQ(m_buffer->Lock(&data), 0);
        std::memcpy(data, triangles, sizeof triangles);
        EXPECT_EQ(m_buffer->Unlock(), 0);
    }
    ~Quad() { m_buffer->Release(); }

    void Draw(ITexture* texture)
    {
        m_device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        ASSERT_EQ(m_device.BeginScene(), 0);
        m_device.SetTexture(0, texture);
        m_device.SetStreamSource(0, m_buffer, 0, sizeof(LitVertex));
        m_device.SetFVF(FVF_LANDSCAPE);
        EXPECT_EQ(m_device.DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2), 0);
        m_device.EndScene();
        m_device.Present();
    }

private:
    CGLDevice& m_device;
    IVertexBuffer* m_buffer = nullptr;
};

} // namespace

class EnhancedLookTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!m_gl.device)
            GTEST_SKIP() << "no headless OpenGL 3.3 context";
        SetupRenderState(m_gl.device.get());
        m_gl.device->SetTransform(D3DTS_PROJECTION, Projection());
    }
    HeadlessDevice m_gl{kWidth, kHeight};
};

TEST_F(EnhancedLookTest, SkyRunsFromTheHorizonHazeToTheZenithBlueAndClassicStaysBlack)
{
    CGLDevice& device = *m_gl.device;
    // Eye level, looking along +z: the middle row is the horizon, the top
    // row's centre looks 45 degrees up.
    const D3DXMATRIX view = D3DXMatrixLookAtLH({0, 100, 0}, {0, 100, 1000}, {0, 1, 0});
    device.SetTransform(D3DTS_VIEW, view);
    device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    for (std::uint32_t pixel : m_gl.Frame())
        ASSERT_EQ(pixel, 0xFF000000u) << "classic clears to black";

    ASSERT_EQ(device.SetLook(Look::Enhanced), 0);
    EXPECT_EQ(device.CurrentLook(), Look::Enhanced);
    device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    const std::vector<std::uint32_t> frame = m_gl.Frame();
    for (int py : {0, 20, 40, 59, 61, 90, 119}) {
        glm::vec3 from, to;
        PixelRay(view, Projection(), kWidth / 2, py, &from, &to);
        const glm::vec3 ray = glm::normalize(to - glm::vec3(0, 100, 0));
        const float height = std::sqrt(std::clamp(ray.y, 0.0f, 1.0f));
        const glm::ivec3 expected =
            Colour255(glm::mix(LookColours::kHorizon, LookColours::kZenith, height));
        const std::uint32_t pixel = frame[py * kWidth + kWidth / 2];
        EXPECT_TRUE(Near(pixel, expected.r, expected.g, expected.b, 2))
            << "row " << py << std::hex << " pixel 0x" << pixel;
    }
    const glm::ivec3 horizon = Colour255(LookColours::kHorizon);
    EXPECT_TRUE(Near(frame[(kHeight - 1) * kWidth], horizon.r, horizon.g, horizon.b, 1)) << "below the horizon: haze";
}

TEST_F(EnhancedLookTest, AmbientComesFromTheSkyAboveAndTheGroundBelow)
{
    CGLDevice& device = *m_gl.device;
    device.SetTransform(D3DTS_VIEW, D3DXMatrixLookAtLH({0, 100, 0}, {0, 0, 0}, {0, 0, 1}));
    ASSERT_EQ(device.SetLook(Look::Enhanced), 0);
    const float s = std::sqrt(0.5f);
    const glm::vec3 toLight = -glm::normalize(glm::vec3(1, -1, 1));
    const glm::vec3 normals[] = {{0, -1, 0}, {s, 0, s}, {s, -s, 0}, {0, 1, 0}};
    for (const glm::vec3& n : normals) {
        Quad quad(device, n);
        quad.Draw(nullptr);
        // Material ambient 0.5 times the hemisphere colour, plus the light.
        const glm::vec3 ambient = glm::mix(LookColours::kGroundAmbient, LookColours::kSkyAmbient, 0.5f + 0.5f * n.y);
        const glm::vec3 lit = glm::min(glm::vec3(1.0f), 0.5f * ambient + std::max(0.0f, glm::dot(n, toLight)));
        // The haze of the 100 units of air between the eye and the ground.
        const float rise = -100.0f / LookHaze::kHeight;
        const float mean = std::exp(-100.0f / LookHaze::kHeight) * (1.0f - std::exp(-rise)) / rise;
        const float haze = 1.0f - std::exp(-LookHaze::kDensity * 100.0f * mean);
        const glm::ivec3 expected = Colour255(glm::mix(lit, LookColours::kHorizon, haze));
        const std::uint32_t centre = m_gl.Frame()[(kHeight / 2) * kWidth + kWidth / 2];
        EXPECT_TRUE(Near(centre, expected.r, expected.g, expected.b, 2))
            << "normal " << n.x << "," << n.y << "," << n.z << std::hex << " centre 0x" << centre;
    }
}

TEST_F(EnhancedLookTest, FogFadesIntoTheHorizonColourBeforeTheWindowEdge)
{
    CGLDevice& device = *m_gl.device;
    const D3DXMATRIX view = D3DXMatrixLookAtLH({0, 1000, 0}, {0, 0, 0}, {0, 0, 1});
    device.SetTransform(D3DTS_VIEW, view);
    ASSERT_EQ(device.SetLook(Look::Enhanced), 0);
    // The window reaches 600 units in +x and -x, 900 in z: along the row
    // through the centre the fog starts at 0.8 x 0.95 x 600 and is whole at
    // 0.95 x 600. Nearer, the haze of the air between eye and ground.
    device.SetFogWindow(-600.0f, -900.0f, 600.0f, 900.0f);
    const float s = std::sqrt(0.5f);
    const glm::vec3 normal{s, 0, s}; // ambient only: far from the horizon colour
    Quad quad(device, normal);
    quad.Draw(nullptr);
    const std::vector<std::uint32_t> frame = m_gl.Frame();
    const glm::vec3 lit = 0.5f * glm::mix(LookColours::kGroundAmbient, LookColours::kSkyAmbient, 0.5f);
    const int row = kHeight / 2;
    int fogged = 0, clear = 0;
    for (int px = kWidth / 2; px < static_cast<int>(kWidth); px += 4) {
        glm::vec3 from, to;
        PixelRay(view, Projection(), px, row, &from, &to);
        const glm::vec3 ground = from + (to - from) * (from.y / (from.y - to.y));
        const float distance = glm::length(glm::vec2(ground.x, ground.z));
        const float end = 0.95f * 600.0f;
        const float t = std::clamp((distance - 0.8f * end) / (0.2f * end), 0.0f, 1.0f);
        const float edge = t * t * (3.0f - 2.0f * t);
        // Eye at 1000 over ground at 0: the density's mean along the ray.
        const float rise = -1000.0f / LookHaze::kHeight;
        const float mean = std::exp(-1000.0f / LookHaze::kHeight) * (1.0f - std::exp(-rise)) / rise;
        const float haze = 1.0f - std::exp(-LookHaze::kDensity * glm::length(ground - glm::vec3(0, 1000, 0)) * mean);
        EXPECT_GT(haze, 0.05f);
        EXPECT_LT(haze, 0.2f);
        const float fog = std::max(edge, haze);
        fogged += edge == 1.0f;
        clear += edge == 0.0f;
        const glm::ivec3 expected = Colour255(glm::mix(lit, LookColours::kHorizon, fog));
        const std::uint32_t pixel = frame[row * kWidth + px];
        EXPECT_TRUE(Near(pixel, expected.r, expected.g, expected.b, 3))
            << "ground distance " << distance << " fog " << fog << std::hex << " pixel 0x" << pixel;
    }
    EXPECT_GT(fogged, 0) << "the row reaches past the fog's end";
    EXPECT_GT(clear, 0) << "and starts before its beginning";
}

TEST_F(EnhancedLookTest, PageTextureCarriesABoxFilteredChainAndIsSampledFiltered)
{
    CGLDevice& device = *m_gl.device;
    // A 1024 x 1024 checkerboard of single black and white texels, over the
    // quad seen from 1000 above: about eight texels to a pixel.
    CBitmapEx raster;
    ASSERT_EQ(raster.CreateBlank(1024, 1024), 0);
    for (int y = 0; y < 1024; ++y)
        for (int x = 0; x < 1024; ++x)
            raster.WritePixel(x, y, ((x + y) & 1) != 0 ? 0x00FFFFFFu : 0x00000000u);
    device.SetTransform(D3DTS_VIEW, D3DXMatrixLookAtLH({0, 1000, 0}, {0, 0, 0}, {0, 0, 1}));
    Quad quad(device, {0, 1, 0});
    const auto spread = [this] {
        const std::vector<std::uint32_t> frame = m_gl.Frame();
        int low = 255, high = 0;
        for (unsigned y = kHeight / 2 - 20; y < kHeight / 2 + 20; ++y)
            for (unsigned x = kWidth / 2 - 20; x < kWidth / 2 + 20; ++x) {
                low = std::min(low, Green(frame[y * kWidth + x]));
                high = std::max(high, Green(frame[y * kWidth + x]));
            }
        return std::pair<int, int>(low, high);
    };

    ITexture* classic = CreatePageTexture(&device, raster, 0, 0, 1024, 1024);
    ASSERT_NE(classic, nullptr);
    EXPECT_EQ(classic->LevelCount(), 1u);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(classic->LockRect(1, &locked, 0), -1);
    quad.Draw(classic);
    const auto [classicLow, classicHigh] = spread();
    EXPECT_LT(classicLow, 30) << "point sampling shows single texels";
    EXPECT_GT(classicHigh, 225);
    classic->Release();

    ASSERT_EQ(device.SetLook(Look::Enhanced), 0);
    ITexture* enhanced = CreatePageTexture(&device, raster, 0, 0, 1024, 1024);
    ASSERT_NE(enhanced, nullptr);
    ASSERT_EQ(enhanced->LevelCount(), 11u);
    ASSERT_EQ(enhanced->LockRect(1, &locked, 0), 0);
    EXPECT_EQ(locked.Pitch, 512 * 4);
    // Every 2 x 2 block holds two white and two black texels.
    EXPECT_EQ(static_cast<const std::uint32_t*>(locked.pBits)[0], 0xFF808080u);
    EXPECT_EQ(static_cast<const std::uint32_t*>(locked.pBits)[511 * 512 + 7], 0xFF808080u);
    EXPECT_EQ(enhanced->UnlockRect(1), 0);
    ASSERT_EQ(enhanced->LockRect(10, &locked, 0), 0);
    EXPECT_EQ(locked.Pitch, 4);
    EXPECT_EQ(static_cast<const std::uint32_t*>(locked.pBits)[0], 0xFF808080u);
    EXPECT_EQ(enhanced->UnlockRect(10), 0);
    quad.Draw(enhanced);
    const auto [low, high] = spread();
    EXPECT_GE(low, 128 - 12) << "filtered: the mean of the checkerboard";
    EXPECT_LE(high, 128 + 12);
    enhanced->Release();
}
