#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "terrain/CElevationGrid.h"

namespace {
const float H = NAN;
} // namespace

TEST(CElevationGrid, FillsHolesFromTheirNeighboursAndKeepsKnownSamples)
{
    const struct {
        const char* name;
        std::int32_t width, height;
        std::vector<float> before, after;
    } cases[] = {
        {"single hole in a flat field", 3, 3, {5, 5, 5, 5, H, 5, 5, 5, 5}, {5, 5, 5, 5, 5, 5, 5, 5, 5}},
        {"one known sample", 3, 2, {H, H, H, H, 7, H}, {7, 7, 7, 7, 7, 7}},
        {"corner holes", 2, 2, {H, 1, 3, H}, {2, 1, 3, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CElevationGrid grid;
        ASSERT_EQ(grid.Allocate(c.width, c.height), 0);
        std::copy(c.before.begin(), c.before.end(), grid.Data());
        ASSERT_EQ(grid.FillHoles(), 0);
        for (std::size_t i = 0; i < c.after.size(); ++i)
            EXPECT_FLOAT_EQ(grid.Data()[i], c.after[i]) << i;
    }
    // A wide void between ground at 100 and at 400 rises across it.
    CElevationGrid grid;
    ASSERT_EQ(grid.Allocate(90, 40), 0);
    for (int i = 0; i < 90 * 40; ++i)
        grid.Data()[i] = i % 90 < 30 ? 100.0f : (i % 90 >= 60 ? 400.0f : H);
    ASSERT_EQ(grid.FillHoles(), 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 1; x < 90; ++x)
            ASSERT_GE(grid.At(x, y), grid.At(x - 1, y) - 1e-3f) << x << "," << y;
    EXPECT_EQ(grid.At(29, 0), 100.0f);
    EXPECT_EQ(grid.At(60, 0), 400.0f);
    // Nothing to fill from.
    ASSERT_EQ(grid.Allocate(4, 4), 0);
    EXPECT_EQ(grid.FillHoles(), -1);
    EXPECT_EQ(grid.CountHoles(), 16u);
}

TEST(CElevationGrid, ResampleKeepsCornersAndPlanesExactly)
{
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
            for (int i = 0; i < c.toW; ++i)
                ASSERT_NEAR(grid.At(i, k),
                    3.0 * i * (c.fromW - 1.0) / (c.toW - 1.0) + 5.0 * k * (c.fromH - 1.0) / (c.toH - 1.0) + 1.0, 1e-4);
    }
}
