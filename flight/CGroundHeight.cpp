#include "flight/CGroundHeight.h"

#include <algorithm>
#include <cmath>

#include "landscape/CLandscape.h"

namespace {

// The most samples taken along a line, however long it is.
constexpr int kMaxProbes = 256;

} // namespace

float CGroundHeight::At(const CLandscape& landscape, float x, float z)
{
    const int columns = landscape.m_columns;
    const int rows = landscape.m_rows;
    if (!landscape.m_heights || columns < 1 || rows < 1) {
        return 0.0f;
    }
    const float u = std::clamp(x - landscape.m_originX, 0.0f, static_cast<float>(columns - 1));
    const float v = std::clamp(z - landscape.m_originZ, 0.0f, static_cast<float>(rows - 1));
    if (!std::isfinite(u) || !std::isfinite(v)) {
        return 0.0f;
    }
    const int i0 = static_cast<int>(u);
    const int k0 = static_cast<int>(v);
    const int i1 = std::min(i0 + 1, columns - 1);
    const int k1 = std::min(k0 + 1, rows - 1);
    const float fu = u - static_cast<float>(i0);
    const float fv = v - static_cast<float>(k0);
    const float top = static_cast<float>(landscape.Sample(i0, k0)) * (1.0f - fu) +
                      static_cast<float>(landscape.Sample(i1, k0)) * fu;
    const float bottom = static_cast<float>(landscape.Sample(i0, k1)) * (1.0f - fu) +
                         static_cast<float>(landscape.Sample(i1, k1)) * fu;
    return (top * (1.0f - fv) + bottom * fv) * landscape.m_heightScale;
}

float CGroundHeight::Highest(const CLandscape& landscape, float x, float z, float dirX, float dirZ,
                             float distance)
{
    float highest = At(landscape, x, z);
    const float length = std::sqrt(dirX * dirX + dirZ * dirZ);
    if (!(length > 0.0f) || !(distance > 0.0f) || !std::isfinite(distance)) {
        return highest;
    }
    const int probes = std::clamp(static_cast<int>(std::ceil(distance)), 1, kMaxProbes);
    const float stepX = dirX / length * distance / static_cast<float>(probes);
    const float stepZ = dirZ / length * distance / static_cast<float>(probes);
    for (int i = 1; i <= probes; ++i) {
        const float t = static_cast<float>(i);
        highest = std::max(highest, At(landscape, x + stepX * t, z + stepZ * t));
    }
    return highest;
}
