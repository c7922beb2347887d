#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "terrain/CElevationGrid.h"

namespace {

void Fill(CElevationGrid& grid, const std::vector<float>& values)
{
    ASSERT_EQ(values.size(), static_cast<std::size_t>(grid.Width()) * grid.Height());
    std::copy(values.begin(), values.end(), grid.Data());
}

const float H = NAN;

} // namespace

TEST(CElevationGrid, FillsHolesFromTheirNeighboursAndKeepsKnownSamples)
{
    const struct {
        const char* name;
        std::int32_t width, height;
        std::vector<float> before;
        std::vector<float> after; // NaN: anything between the rims
    } cases[] = {
        {"single hole in a flat field", 3, 3, {5, 5, 5, 5, H, 5, 5, 5, 5}, {5, 5, 5, 5, 5, 5, 5, 5, 5}},
        {"one known sample", 3, 2, {H, H, H, H, 7, H}, {7, 7, 7, 7, 7, 7}},
        {"corner holes", 2, 2, {H, 1, 3, H}, {2, 1, 3, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CElevationGrid grid;
        ASSERT_EQ(grid.Allocate(c.width, c.height), 0);
        Fill(grid, c.before);
        ASSERT_EQ(grid.FillHoles(), 0);
        EXPECT_EQ(grid.CountHoles(), 0u);
        for (std::size_t i = 0; i < c.after.size(); ++i)
            EXPECT_FLOAT_EQ(grid.Data()[i], c.after[i]) << i;
    }
}

TEST(CElevationGrid, AWideHoleBetweenTwoLevelsStaysBetweenThem)
{
    // Left third at 100, right third at 400, a void between.
    CElevationGrid grid;
    ASSERT_EQ(grid.Allocate(90, 40), 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 90; ++x)
            grid.Data()[y * 90 + x] = x < 30 ? 100.0f : (x >= 60 ? 400.0f : H);
    ASSERT_EQ(grid.FillHoles(), 0);
    for (int y = 0; y < 40; ++y) {
        float previous = 100.0f;
        for (int x = 0; x < 90; ++x) {
            const float v = grid.At(x, y);
            ASSERT_GE(v, 100.0f);
            ASSERT_LE(v, 400.0f);
            if (x < 30 || x >= 60) {
                ASSERT_EQ(v, x < 30 ? 100.0f : 400.0f);
            }
            ASSERT_GE(v, previous - 1e-3f) << x << "," << y; // rises across the void
            previous = v;
        }
    }
}

TEST(CElevationGrid, AGridOfHolesOnlyCannotBeFilled)
{
    CElevationGrid grid;
    ASSERT_EQ(grid.Allocate(4, 4), 0);
    EXPECT_EQ(grid.CountHoles(), 16u);
    EXPECT_EQ(grid.FillHoles(), -1);
    EXPECT_EQ(grid.CountHoles(), 16u);
    float low = 0.0f;
    float high = 0.0f;
    grid.Range(low, high);
    EXPECT_TRUE(std::isnan(low) && std::isnan(high));
    EXPECT_EQ(grid.Allocate(0, 5), -1);
}

TEST(CElevationGrid, ResampleKeepsCornersAndPlanesExactly)
{
    // A plane 3x + 5y + 1 resamples to the same plane at the new positions.
    const struct {
        std::int32_t fromW, fromH, toW, toH;
    } cases[] = {{9, 5, 17, 9}, {17, 9, 5, 3}, {8, 8, 8, 8}, {3, 7, 2, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fromW << "x" << c.fromH << " -> " << c.toW << "x" << c.toH);
        CElevationGrid grid;
        ASSERT_EQ(grid.Allocate(c.fromW, c.fromH), 0);
        for (int y = 0; y < c.fromH; ++y)
            for (int x = 0; x < c.fromW; ++x)
                grid.Data()[y * c.fromW + x] = 3.0f * x + 5.0f * y + 1.0f;
        ASSERT_EQ(grid.Resample(c.toW, c.toH), 0);
        ASSERT_EQ(grid.Width(), c.toW);
        ASSERT_EQ(grid.Height(), c.toH);
        for (int k = 0; k < c.toH; ++k)
            for (int i = 0; i < c.toW; ++i) {
                const double x = i * (c.fromW - 1.0) / (c.toW - 1.0);
                const double y = k * (c.fromH - 1.0) / (c.toH - 1.0);
                ASSERT_NEAR(grid.At(i, k), 3.0 * x + 5.0 * y + 1.0, 1e-4) << i << "," << k;
            }
    }
    CElevationGrid grid;
    ASSERT_EQ(grid.Allocate(4, 4), 0);
    EXPECT_EQ(grid.Resample(1, 4), -1);
    EXPECT_EQ(grid.Width(), 4);
}
