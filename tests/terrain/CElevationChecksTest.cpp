#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "terrain/CElevationChecks.h"

// Holes: what is not finite, the tagged value as the file holds it (a
// float's rounding of a double tag included), and untagged float fill
// values; real heights of any unit are kept.
TEST(CElevationChecks, NoDataAndSpacingRules)
{
    const float lowest = std::numeric_limits<float>::lowest();
    const struct {
        float raw;
        bool hasNoData;
        double noData;
        bool hole;
    } samples[] = {{NAN, false, 0.0, true}, {INFINITY, false, 0.0, true}, {lowest, false, 0.0, true},
        {-3.4e38f, false, 0.0, true}, {1e30f, false, 0.0, true}, {-1e30f, false, 0.0, true},
        {-9999.0f, true, -9999.0, true}, {-9999.0f, false, 0.0, false}, {0.1f, true, 0.1, true},
        {8848.86f, true, -32768.0, false}, {-32768.0f, false, 0.0, false}, {1e29f, false, 0.0, false},
        {4.0e9f, false, 0.0, false}};
    for (const auto& s : samples)
        EXPECT_EQ(CElevationChecks::IsNoData(s.raw, s.hasNoData, s.noData), s.hole) << s.raw;

    const struct {
        double metres;
        bool sane;
    } spacings[] = {{1e-30, false}, {0.0, false}, {-30.0, false}, {NAN, false}, {INFINITY, false}, {9e-4, false},
        {1e-3, true}, {0.5, true}, {30.0, true}, {1e6, true}, {1.1e6, false}};
    for (const auto& s : spacings)
        EXPECT_EQ(CElevationChecks::IsSaneSpacing(s.metres), s.sane) << s.metres;
}
