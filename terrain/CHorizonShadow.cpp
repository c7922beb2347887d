#include "terrain/CHorizonShadow.h"

#include <algorithm>
#include <cmath>
#include <limits>

int CHorizonShadow::Compute(const std::int32_t* window, std::int32_t width, std::int32_t height, float heightScale,
                            const float direction[3], std::vector<std::uint8_t>* sun)
{
    if (window == nullptr || sun == nullptr || direction == nullptr || width < 1 || height < 1)
        return -1;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    sun->assign(count, 255);
    const float dx = direction[0];
    const float dy = direction[1];
    const float dz = direction[2];
    if (!(dy < 0.0f) || (dx == 0.0f && dz == 0.0f) || !std::isfinite(dx + dy + dz))
        return 0;

    // The sweep runs along the dominant horizontal axis of the light, "u",
    // one sample per step, in the direction the light travels; across it,
    // "v", the light moves by `shift` samples per step (|shift| <= 1), so
    // the sample one step up-light of (u, v) lies between two samples of the
    // line before, and its height and shadow line are interpolated there.
    // A diagonal light sweeps row by row: the lines are then contiguous.
    const bool alongX = std::fabs(dx) > std::fabs(dz);
    const std::int32_t lines = alongX ? width : height;  // steps along u
    const std::int32_t across = alongX ? height : width; // samples along v
    const float major = alongX ? dx : dz;
    const float shift = (alongX ? dz : dx) / std::fabs(major);
    const float drop = -dy / std::fabs(major); // height the light loses per step
    const int step = major > 0.0f ? 1 : -1;
    const auto index = [&](std::int32_t u, std::int32_t v) {
        return alongX ? static_cast<std::size_t>(v) * width + u : static_cast<std::size_t>(u) * width + v;
    };
    const float none = -std::numeric_limits<float>::infinity();
    std::vector<float> line(static_cast<std::size_t>(across), none); // max(ground, shadow line) of the line before
    std::vector<float> next(static_cast<std::size_t>(across));
    const float floorShift = std::floor(-shift);
    const float weight = -shift - floorShift; // of the upper neighbour
    const std::int32_t offset = static_cast<std::int32_t>(floorShift);
    for (std::int32_t k = 0; k < lines; ++k) {
        const std::int32_t u = step > 0 ? k : lines - 1 - k;
        for (std::int32_t v = 0; v < across; ++v) {
            const float ground = static_cast<float>(window[index(u, v)]) * heightScale;
            float shadow = none;
            if (k > 0) {
                const std::int32_t v0 = v + offset;
                const std::int32_t v1 = v0 + 1;
                const bool in0 = v0 >= 0 && v0 < across;
                const bool in1 = v1 >= 0 && v1 < across && weight > 0.0f;
                // Light entering from beyond the window's side is unblocked.
                if (in0 && in1)
                    shadow = line[v0] + (line[v1] - line[v0]) * weight;
                else if (in0 && weight == 0.0f)
                    shadow = line[v0];
                shadow -= drop;
            }
            if (shadow > ground) {
                const float depth = shadow - ground;
                (*sun)[index(u, v)] =
                    static_cast<std::uint8_t>(std::lround(255.0f * std::max(0.0f, 1.0f - depth / kPenumbra)));
            }
            next[v] = std::max(ground, shadow);
        }
        line.swap(next);
    }
    return 0;
}
