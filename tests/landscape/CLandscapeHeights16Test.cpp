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

std::string TempPath(const std::string& name)
{
    return testing::TempDir() + "/vp_land16_" + std::to_string(::getpid()) + "_" + name;
}

// A w x h terrain whose height on the 0..255 scale is level(x, y): the 8-bit
// image holds it truncated, the 16-bit file (written to `path`) holds it
// with the generator's scale.
template <typename Level>
void MakeTerrain(CTerrainModel& model, const std::string& path, int w, int h, Level level)
{
    ASSERT_EQ(model.m_image.CreateBlank(w, h), 0);
    std::vector<float> levels(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float v = level(x, y);
            levels[static_cast<std::size_t>(y) * w + x] = v;
            model.m_image.WritePixel(x, y, static_cast<std::uint32_t>(v) * 0x010101u);
        }
    model.m_gridWidth = w;
    model.m_gridHeight = h;
    ASSERT_EQ(CHeightmap16File::WriteLevels(path.c_str(), levels.data(), w, h, 2.5 / 257.0), 0);
}

std::vector<LandscapeVertex> DrawnVertices(CLandscape& l)
{
    auto* vb = static_cast<CRecordingVertexBuffer*>(l.m_vertexBuffer);
    const auto* v = reinterpret_cast<const LandscapeVertex*>(vb->Data());
    return std::vector<LandscapeVertex>(v, v + 3 * static_cast<std::size_t>(l.m_trianglesRendered));
}

} // namespace

// A smooth slope, about ten levels from end to end and gently curved so
// that the mesh refines over it: the classic mesh can only take whole levels
// (terraces), the 16-bit one takes the heights between them.
TEST(CLandscapeHeights16, ASmoothRampHasNoTerraces)
{
    const std::string path = TempPath("ramp.tif");
    const int size = 129;
    CTerrainModel classic;
    auto slope = [](int x, int y) {
        return static_cast<float>(10.0 * (x / 128.0) * (x / 128.0) + 1.5 + std::sin(y * 0.1));
    };
    MakeTerrain(classic, path, size, size, slope);
    CTerrainModel fine;
    MakeTerrain(fine, path, size, size, slope);
    ASSERT_EQ(fine.LoadHeights16(path.c_str()), 0);
    ASSERT_TRUE(fine.HasHeights16());

    std::set<float> between[2]; // drawn heights strictly between levels 4 and 5
    std::set<float> all[2];
    CTerrainModel* models[2] = {&classic, &fine};
    for (int m = 0; m < 2; ++m) {
        SCOPED_TRACE(m == 0 ? "classic" : "16-bit");
        std::vector<std::int32_t> window(static_cast<std::size_t>(size) * size);
        std::int32_t w = size;
        std::int32_t h = size;
        ASSERT_EQ(models[m]->ExtractWindow(0, 0, w, h, window.data()), 0);
        Scene s(window, size, size);
        s.landscape.m_heightScale = models[m]->HeightScale();
        s.landscape.m_minError = 1e-5f;
        ASSERT_EQ(s.landscape.Initialise(), 0);
        s.Place(64.0f, 40.0f, -10.0f);
        for (int frame = 0; frame < 4; ++frame)
            ASSERT_EQ(s.landscape.Update(), 0);
        CheckMesh(s.landscape);
        for (const LandscapeVertex& v : DrawnVertices(s.landscape)) {
            all[m].insert(v.y);
            if (v.y > 4 * 2.5f && v.y < 5 * 2.5f)
                between[m].insert(v.y);
        }
    }
    EXPECT_GT(all[0].size(), 5u);
    EXPECT_TRUE(between[0].empty());
    for (float y : all[0])
        EXPECT_EQ(std::fmod(y, 2.5f), 0.0f) << y;
    EXPECT_GE(between[1].size(), 50u);
    EXPECT_NEAR(*all[1].rbegin(), *all[0].rbegin(), 2.5f); // same relief
}

// Windows placed as the paging places them (page = half the terrain on
// each side, origin = camera minus half a page, raised to 0, clamped at the
// far edge) over a terrain wider than high: each landscape covers exactly
// its window, at the terrain's own heights.
TEST(CLandscapeHeights16, PagingWindowsOverANonSquareTerrain)
{
    const std::string path = TempPath("wide.tif");
    const int width = 301;
    const int height = 157;
    CTerrainModel model;
    MakeTerrain(model, path, width, height, [](int x, int y) {
        return static_cast<float>(127.0 + 100.0 * std::sin(x * 0.05) * std::cos(y * 0.07));
    });
    ASSERT_EQ(model.LoadHeights16(path.c_str()), 0);
    const std::int32_t pageWidth = width / 2;
    const std::int32_t pageHeight = height / 2;
    const float scale = model.HeightScale();

    const struct {
        float x, z;
        std::int32_t x0, z0, w, h;
    } cameras[] = {
        {75.0f, 39.0f, 0, 0, 150, 78},       // the start window
        {10.0f, 150.0f, 0, 111, 150, 46},    // near the bottom edge
        {290.0f, 60.0f, 215, 21, 86, 78},    // near the right edge
        {280.0f, 150.0f, 205, 111, 96, 46},  // far corner
        {150.0f, 78.0f, 75, 39, 150, 78},    // the middle
    };
    for (const auto& c : cameras) {
        SCOPED_TRACE(testing::Message() << "camera " << c.x << "," << c.z);
        const std::int32_t x0 = std::max(0, static_cast<std::int32_t>(c.x - pageWidth / 2));
        const std::int32_t z0 = std::max(0, static_cast<std::int32_t>(c.z - pageHeight / 2));
        std::int32_t w = pageWidth;
        std::int32_t h = pageHeight;
        std::vector<std::int32_t> window(static_cast<std::size_t>(w) * h);
        ASSERT_EQ(model.ExtractWindow(x0, z0, w, h, window.data()), 0);
        ASSERT_EQ(x0, c.x0);
        ASSERT_EQ(z0, c.z0);
        ASSERT_EQ(w, c.w);
        ASSERT_EQ(h, c.h);

        Scene s(window, w, h);
        s.landscape.m_originX = static_cast<float>(x0);
        s.landscape.m_originZ = static_cast<float>(z0);
        s.landscape.m_heightScale = scale;
        s.landscape.m_minError = 1e-3f;
        ASSERT_EQ(s.landscape.Initialise(), 0);
        s.Place(c.x, 400.0f, c.z - 120.0f);
        for (int frame = 0; frame < 3; ++frame)
            ASSERT_EQ(s.landscape.Update(), 0);
        const auto leaves = CheckMesh(s.landscape);
        EXPECT_GT(leaves.size(), 2u);
        const auto vertices = DrawnVertices(s.landscape);
        ASSERT_FALSE(vertices.empty());
        for (const LandscapeVertex& v : vertices) {
            const int column = static_cast<int>(v.x - static_cast<float>(x0));
            const int row = static_cast<int>(v.z - static_cast<float>(z0));
            ASSERT_EQ(static_cast<float>(column), v.x - static_cast<float>(x0));
            ASSERT_EQ(static_cast<float>(row), v.z - static_cast<float>(z0));
            ASSERT_GE(column, 0);
            ASSERT_LT(column, w);
            ASSERT_GE(row, 0);
            ASSERT_LT(row, h);
            ASSERT_EQ(v.y, static_cast<float>(window[static_cast<std::size_t>(row) * w + column]) * scale);
        }
    }
}
