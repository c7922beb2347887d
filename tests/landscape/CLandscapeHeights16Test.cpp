// Landscapes over windows cut from a terrain model: 16-bit heights against
// classic levels, and paging-like windows over a non-square terrain.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainModel.h"
#include "tests/landscape/LandscapeTestSupport.h"

using namespace landscape_test;

namespace {

// A w x h terrain of height level(x, y) on the 0..255 scale: the 8-bit image
// holds it truncated, the 16-bit file beside it (loaded when `fine`) holds
// it with the generator's scale.
template <typename Level>
void MakeTerrain(CTerrainModel& model, int w, int h, bool fine, Level level)
{
    const std::string path = testing::TempDir() + "/vp_land16_" + std::to_string(::getpid()) + ".tif";
    ASSERT_EQ(model.m_image.CreateBlank(w, h), 0);
    std::vector<float> levels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            levels.push_back(level(x, y));
            model.m_image.WritePixel(x, y, static_cast<std::uint32_t>(levels.back()) * 0x010101u);
        }
    model.m_gridWidth = w;
    model.m_gridHeight = h;
    ASSERT_EQ(CHeightmap16File::WriteLevels(path.c_str(), levels.data(), w, h, 2.5 / 257.0), 0);
    if (fine) {
        ASSERT_EQ(model.LoadHeights16(path.c_str()), 0);
        ASSERT_TRUE(model.HasHeights16());
    }
}

// A landscape over the window (x0, z0, w, h) of `model`, as the owner builds
// one, adapted for a few frames from a camera at (x, y, z); returns the
// drawn vertices.
std::vector<LandscapeVertex> Fly(const CTerrainModel& model, std::int32_t x0, std::int32_t z0, std::int32_t w,
    std::int32_t h, float x, float y, float z, std::vector<std::int32_t>& window)
{
    window.assign(static_cast<std::size_t>(w) * h, -1);
    EXPECT_EQ(model.ExtractWindow(x0, z0, w, h, window.data()), 0);
    Scene s(window, w, h);
    s.landscape.m_originX = static_cast<float>(x0);
    s.landscape.m_originZ = static_cast<float>(z0);
    s.landscape.m_heightScale = model.HeightScale();
    s.landscape.m_minError = 1e-4f;
    EXPECT_EQ(s.landscape.Initialise(), 0);
    s.Place(x, y, z);
    for (int frame = 0; frame < 4; ++frame)
        EXPECT_EQ(s.landscape.Update(), 0);
    EXPECT_GT(CheckMesh(s.landscape).size(), 2u);
    const auto* v = reinterpret_cast<const LandscapeVertex*>(
        static_cast<CRecordingVertexBuffer*>(s.landscape.m_vertexBuffer)->Data());
    return std::vector<LandscapeVertex>(v, v + 3 * static_cast<std::size_t>(s.landscape.m_trianglesRendered));
}

} // namespace

// A smooth slope, about ten levels from end to end and gently curved so
// that the mesh refines over it: the classic mesh can only take whole levels
// (terraces), the 16-bit one takes the heights between them.
TEST(CLandscapeHeights16, ASmoothSlopeHasNoTerraces)
{
    auto slope = [](int x, int y) {
        return static_cast<float>(10.0 * (x / 128.0) * (x / 128.0) + 1.5 + std::sin(y * 0.1));
    };
    std::set<float> between[2]; // drawn heights strictly between levels 4 and 5
    std::set<float> all[2];
    for (int fine = 0; fine < 2; ++fine) {
        SCOPED_TRACE(fine ? "16-bit" : "classic");
        CTerrainModel model;
        MakeTerrain(model, 129, 129, fine != 0, slope);
        std::vector<std::int32_t> window;
        for (const LandscapeVertex& v : Fly(model, 0, 0, 129, 129, 64.0f, 40.0f, -10.0f, window)) {
            all[fine].insert(v.y);
            if (v.y > 4 * 2.5f && v.y < 5 * 2.5f)
                between[fine].insert(v.y);
        }
    }
    EXPECT_GT(all[0].size(), 5u);
    EXPECT_TRUE(between[0].empty());
    for (float y : all[0])
        EXPECT_EQ(std::fmod(y, 2.5f), 0.0f) << y;
    EXPECT_GE(between[1].size(), 50u);
    EXPECT_NEAR(*all[1].rbegin(), *all[0].rbegin(), 2.5f); // the same relief
}

// Windows placed as the paging places them (page = half the terrain on each
// side, origin = camera minus half a page, raised to 0, clamped at the far
// edge) over a terrain wider than high: each landscape covers exactly its
// window, at the terrain's own heights.
TEST(CLandscapeHeights16, PagingWindowsOverANonSquareTerrain)
{
    CTerrainModel model;
    MakeTerrain(model, 301, 157, true,
        [](int x, int y) { return static_cast<float>(127.0 + 100.0 * std::sin(x * 0.05) * std::cos(y * 0.07)); });
    const std::int32_t pageWidth = 301 / 2;
    const std::int32_t pageHeight = 157 / 2;
    const struct {
        float x, z;
        std::int32_t x0, z0, w, h;
    } cameras[] = {
        {75.0f, 39.0f, 0, 0, 150, 78},      // the start window
        {10.0f, 150.0f, 0, 111, 150, 46},   // near the bottom edge
        {290.0f, 60.0f, 215, 21, 86, 78},   // near the right edge
        {280.0f, 150.0f, 205, 111, 96, 46}, // far corner
    };
    for (const auto& c : cameras) {
        SCOPED_TRACE(testing::Message() << "camera " << c.x << "," << c.z);
        const std::int32_t x0 = std::max(0, static_cast<std::int32_t>(c.x - pageWidth / 2));
        const std::int32_t z0 = std::max(0, static_cast<std::int32_t>(c.z - pageHeight / 2));
        std::int32_t w = pageWidth;
        std::int32_t h = pageHeight;
        std::vector<std::int32_t> window(static_cast<std::size_t>(w) * h);
        ASSERT_EQ(model.ExtractWindow(x0, z0, w, h, window.data()), 0);
        ASSERT_EQ((std::vector<int>{x0, z0, w, h}), (std::vector<int>{c.x0, c.z0, c.w, c.h}));
        const auto vertices = Fly(model, x0, z0, w, h, c.x, 400.0f, c.z - 120.0f, window);
        ASSERT_FALSE(vertices.empty());
        for (const LandscapeVertex& v : vertices) {
            const float column = v.x - static_cast<float>(x0);
            const float row = v.z - static_cast<float>(z0);
            ASSERT_TRUE(column >= 0 && column < w && row >= 0 && row < h && column == std::floor(column)
                && row == std::floor(row));
            const std::int32_t sample = window[static_cast<std::size_t>(row) * w + static_cast<std::size_t>(column)];
            ASSERT_EQ(v.y, static_cast<float>(sample) * model.HeightScale());
        }
    }
}
