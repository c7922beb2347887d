#include "terrain/CElevationGrid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

namespace {

constexpr float kHole = std::numeric_limits<float>::quiet_NaN();

struct Level {
    std::vector<float> samples;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// The next level of the pyramid: each sample is the mean of the known
// samples of its (up to) 2 x 2 block, a hole when the block has none.
// Returns the number of holes left.
std::size_t Halve(const float* samples, std::int32_t width, std::int32_t height, Level& coarse)
{
    coarse.width = (width + 1) / 2;
    coarse.height = (height + 1) / 2;
    coarse.samples.assign(static_cast<std::size_t>(coarse.width) * coarse.height, kHole);
    std::size_t holes = 0;
    for (std::int32_t y = 0; y < coarse.height; ++y) {
        for (std::int32_t x = 0; x < coarse.width; ++x) {
            double sum = 0.0;
            int count = 0;
            for (std::int32_t dy = 0; dy < 2; ++dy) {
                const std::int32_t fy = 2 * y + dy;
                for (std::int32_t dx = 0; dx < 2 && fy < height; ++dx) {
                    const std::int32_t fx = 2 * x + dx;
                    if (fx >= width)
                        continue;
                    const float v = samples[static_cast<std::size_t>(fy) * width + fx];
                    if (!std::isnan(v)) {
                        sum += v;
                        ++count;
                    }
                }
            }
            if (count > 0)
                coarse.samples[static_cast<std::size_t>(y) * coarse.width + x] = static_cast<float>(sum / count);
            else
                ++holes;
        }
    }
    return holes;
}

// Gives every hole of a width x height level the bilinear value of the
// hole-free level above it.
void FillFrom(float* samples, std::int32_t width, std::int32_t height, const Level& coarse);

// Bilinear value of a hole-free coarse level at the centre of fine sample
// (x, y).
float Interpolate(const Level& coarse, std::int32_t x, std::int32_t y)
{
    const double cx = std::clamp((x + 0.5) / 2.0 - 0.5, 0.0, static_cast<double>(coarse.width - 1));
    const double cy = std::clamp((y + 0.5) / 2.0 - 0.5, 0.0, static_cast<double>(coarse.height - 1));
    const std::int32_t x0 = static_cast<std::int32_t>(cx);
    const std::int32_t y0 = static_cast<std::int32_t>(cy);
    const std::int32_t x1 = std::min(x0 + 1, coarse.width - 1);
    const std::int32_t y1 = std::min(y0 + 1, coarse.height - 1);
    const double fx = cx - x0;
    const double fy = cy - y0;
    auto at = [&](std::int32_t px, std::int32_t py) {
        return static_cast<double>(coarse.samples[static_cast<std::size_t>(py) * coarse.width + px]);
    };
    const double top = at(x0, y0) + (at(x1, y0) - at(x0, y0)) * fx;
    const double bottom = at(x0, y1) + (at(x1, y1) - at(x0, y1)) * fx;
    return static_cast<float>(top + (bottom - top) * fy);
}

void FillFrom(float* samples, std::int32_t width, std::int32_t height, const Level& coarse)
{
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            float& v = samples[static_cast<std::size_t>(y) * width + x];
            if (std::isnan(v))
                v = Interpolate(coarse, x, y);
        }
    }
}

} // namespace

int CElevationGrid::Allocate(std::int32_t width, std::int32_t height)
{
    m_samples.reset();
    m_width = 0;
    m_height = 0;
    if (width < 1 || height < 1)
        return -1;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    m_samples.reset(static_cast<float*>(std::malloc(count * sizeof(float))));
    if (!m_samples)
        return -1;
    std::fill(m_samples.get(), m_samples.get() + count, kHole);
    m_width = width;
    m_height = height;
    return 0;
}

std::size_t CElevationGrid::CountHoles() const
{
    const float* samples = m_samples.get();
    return static_cast<std::size_t>(std::count_if(samples, samples + Count(), [](float v) { return std::isnan(v); }));
}

float* CElevationGrid::Release()
{
    m_width = 0;
    m_height = 0;
    return m_samples.release();
}

int CElevationGrid::FillHoles()
{
    if (!m_samples)
        return -1;
    std::size_t holes = CountHoles();
    if (holes == 0)
        return 0;
    if (holes == Count())
        return -1;
    try {
        // Levels 1 and up; level 0 is the grid itself.
        std::vector<Level> pyramid;
        while (holes > 0) {
            Level coarse;
            if (pyramid.empty())
                holes = Halve(m_samples.get(), m_width, m_height, coarse);
            else
                holes = Halve(pyramid.back().samples.data(), pyramid.back().width, pyramid.back().height, coarse);
            pyramid.push_back(std::move(coarse));
        }
        for (std::size_t k = pyramid.size() - 1; k-- > 0;)
            FillFrom(pyramid[k].samples.data(), pyramid[k].width, pyramid[k].height, pyramid[k + 1]);
        FillFrom(m_samples.get(), m_width, m_height, pyramid[0]);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    return 0;
}

int CElevationGrid::Resample(std::int32_t width, std::int32_t height)
{
    if (width == m_width && height == m_height)
        return 0;
    if (width < 2 || height < 2 || m_width < 2 || m_height < 2)
        return -1;
    std::unique_ptr<float, Free> out(
        static_cast<float*>(std::malloc(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * sizeof(float))));
    if (!out)
        return -1;
    const float* samples = m_samples.get();
    const double stepX = static_cast<double>(m_width - 1) / (width - 1);
    const double stepY = static_cast<double>(m_height - 1) / (height - 1);
    for (std::int32_t k = 0; k < height; ++k) {
        const double sy = k * stepY;
        const std::int32_t y0 = std::min(static_cast<std::int32_t>(sy), m_height - 2);
        const double fy = sy - y0;
        const float* row0 = samples + static_cast<std::size_t>(y0) * m_width;
        const float* row1 = row0 + m_width;
        float* dst = out.get() + static_cast<std::size_t>(k) * width;
        for (std::int32_t i = 0; i < width; ++i) {
            const double sx = i * stepX;
            const std::int32_t x0 = std::min(static_cast<std::int32_t>(sx), m_width - 2);
            const double fx = sx - x0;
            const double top = row0[x0] + (row0[x0 + 1] - static_cast<double>(row0[x0])) * fx;
            const double bottom = row1[x0] + (row1[x0 + 1] - static_cast<double>(row1[x0])) * fx;
            dst[i] = static_cast<float>(top + (bottom - top) * fy);
        }
    }
    m_samples = std::move(out);
    m_width = width;
    m_height = height;
    return 0;
}

void CElevationGrid::Range(float& low, float& high) const
{
    // Comparisons with NaN are false, so holes never win.
    float lowest = std::numeric_limits<float>::infinity();
    float highest = -std::numeric_limits<float>::infinity();
    const float* samples = m_samples.get();
    const std::size_t count = Count();
    for (std::size_t i = 0; i < count; ++i) {
        const float v = samples[i];
        lowest = v < lowest ? v : lowest;
        highest = v > highest ? v : highest;
    }
    low = lowest <= highest ? lowest : kHole;
    high = lowest <= highest ? highest : kHole;
}
