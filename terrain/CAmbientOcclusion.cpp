#include "terrain/CAmbientOcclusion.h"

#include <algorithm>
#include <cmath>

namespace {

// Box mean of radius r along each line of `in` (count lines of `length`
// samples, `stride` apart within a line, `lineStride` between lines) into
// `out`. Past its ends a line continues point-mirrored about its end
// sample, which carries a plane slope on as it is: ground beside the
// window's edge is not taken for a hollow (or a ridge) for want of
// neighbours.
void BoxPass(const float* in, float* out, std::int32_t length, std::int32_t count, std::size_t stride,
             std::size_t lineStride, int r)
{
    const double share = 1.0 / (2 * r + 1);
    for (std::int32_t line = 0; line < count; ++line) {
        const float* src = in + static_cast<std::size_t>(line) * lineStride;
        float* dst = out + static_cast<std::size_t>(line) * lineStride;
        const auto at = [&](std::int32_t i) -> double {
            const auto sample = [&](std::int32_t k) { return static_cast<double>(src[static_cast<std::size_t>(k) * stride]); };
            if (i < 0)
                return 2.0 * sample(0) - sample(std::min(-i, length - 1));
            if (i >= length)
                return 2.0 * sample(length - 1) - sample(std::max(2 * (length - 1) - i, 0));
            return sample(i);
        };
        double sum = 0.0;
        for (std::int32_t j = -r; j <= r; ++j)
            sum += at(j);
        for (std::int32_t i = 0; i < length; ++i) {
            dst[static_cast<std::size_t>(i) * stride] = static_cast<float>(sum * share);
            sum += at(i + r + 1) - at(i - r);
        }
    }
}

} // namespace

int CAmbientOcclusion::Compute(const std::int32_t* window, std::int32_t width, std::int32_t height,
                               float heightScale, std::vector<std::uint8_t>* sky)
{
    if (window == nullptr || sky == nullptr || width < 1 || height < 1)
        return -1;
    // The comparison runs on a grid of half the resolution (means of 2 x 2
    // samples, radii halved): the term is smooth at every radius, and the
    // grid takes a quarter of the time and memory.
    const std::int32_t cw = (width + 1) / 2;
    const std::int32_t ch = (height + 1) / 2;
    const std::size_t cells = static_cast<std::size_t>(cw) * static_cast<std::size_t>(ch);
    std::vector<float> ground(cells), rows(cells), mean(cells), shut(cells, 0.0f);
    for (std::int32_t z = 0; z < ch; ++z)
        for (std::int32_t x = 0; x < cw; ++x) {
            const std::int32_t x0 = 2 * x, z0 = 2 * z;
            const std::int32_t x1 = std::min(x0 + 1, width - 1), z1 = std::min(z0 + 1, height - 1);
            const auto at = [&](std::int32_t i, std::int32_t k) {
                return static_cast<float>(window[static_cast<std::size_t>(k) * width + i]);
            };
            ground[static_cast<std::size_t>(z) * cw + x] =
                0.25f * (at(x0, z0) + at(x1, z0) + at(x0, z1) + at(x1, z1)) * heightScale;
        }
    constexpr float kQuarter = 1.5707963f;
    for (const int r : kRadii) {
        const int cellRadius = std::max(1, r / 2);
        BoxPass(ground.data(), rows.data(), cw, ch, 1, static_cast<std::size_t>(cw), cellRadius);
        BoxPass(rows.data(), mean.data(), ch, cw, static_cast<std::size_t>(cw), 1, cellRadius);
        const float reach = 0.5f * static_cast<float>(r);
        for (std::size_t i = 0; i < cells; ++i) {
            const float rise = mean[i] - ground[i];
            if (rise > 0.0f)
                shut[i] += std::atan(rise / reach) / kQuarter;
        }
    }
    // Back to full resolution: each sample takes its cell's value,
    // interpolated between the cells around it.
    const float share = 1.0f / static_cast<float>(std::size(kRadii));
    sky->resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::int32_t z = 0; z < height; ++z) {
        const float fz = std::clamp((static_cast<float>(z) - 0.5f) * 0.5f, 0.0f, static_cast<float>(ch - 1));
        const std::int32_t z0 = static_cast<std::int32_t>(fz);
        const std::int32_t z1 = std::min(z0 + 1, ch - 1);
        const float tz = fz - static_cast<float>(z0);
        for (std::int32_t x = 0; x < width; ++x) {
            const float fx = std::clamp((static_cast<float>(x) - 0.5f) * 0.5f, 0.0f, static_cast<float>(cw - 1));
            const std::int32_t x0 = static_cast<std::int32_t>(fx);
            const std::int32_t x1 = std::min(x0 + 1, cw - 1);
            const float tx = fx - static_cast<float>(x0);
            const auto cell = [&](std::int32_t i, std::int32_t k) { return shut[static_cast<std::size_t>(k) * cw + i]; };
            const float top = cell(x0, z0) + (cell(x1, z0) - cell(x0, z0)) * tx;
            const float bottom = cell(x0, z1) + (cell(x1, z1) - cell(x0, z1)) * tx;
            const float value = top + (bottom - top) * tz;
            (*sky)[static_cast<std::size_t>(z) * width + x] =
                static_cast<std::uint8_t>(std::lround(255.0f * std::clamp(1.0f - value * share, 0.0f, 1.0f)));
        }
    }
    return 0;
}
