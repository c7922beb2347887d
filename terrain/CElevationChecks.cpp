#include "terrain/CElevationChecks.h"

#include <cmath>

bool CElevationChecks::IsNoData(float raw, bool hasNoData, double noData)
{
    if (!std::isfinite(raw) || std::fabs(static_cast<double>(raw)) >= kSentinelMagnitude)
        return true;
    return hasNoData && (raw == static_cast<float>(noData) || static_cast<double>(raw) == noData);
}

bool CElevationChecks::IsSaneSpacing(double metres)
{
    return std::isfinite(metres) && metres >= kMinSpacing && metres <= kMaxSpacing;
}
