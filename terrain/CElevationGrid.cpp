#include "terrain/CElevationGrid.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

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
std::size_t Halve(const Level& fine, Level& coarse)
{
    coarse.width = (fine.width + 1) / 2;
    coarse.height = (fine.height + 1) / 2;
    coarse.samples.assign(static_cast<std::size_t>(coarse.width) * coarse.height, kHole);
    std::size_t holes = 0;
    for (std::int32_t y = 0; y < coarse.height; ++y) {
        for (std::int32_t x = 0; x < coarse.width; ++x) {
            double sum = 0.0;
            int count = 0;
            for (std::int32_t dy = 0; dy < 2; ++dy) {
                const std::int32_t fy = 2 * y + dy;
                for (std::int32_t dx = 0; dx < 2 && fy < fine.height; ++dx) {
                    const std::int32_t fx = 2 * x + dx;
                    if (fx >= fine.width)
                        continue;
                    const float v = fine.samples[static_cast<std::size_t>(fy) * fine.width + fx];
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

} // namespace

int CElevationGrid::Allocate(std::int32_t width, std::int32_t height)
{
    m_samples.clear();
    m_width = 0;
    m_height = 0;
    if (width < 1 || height < 1)
        return -1;
    try {
        m_samples.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kHole);
    } catch (const std::bad_alloc&) {
        m_samples.clear();
        return -1;
    }
    m_width = width;
    m_height = height;
    return 0;
}

std::size_t CElevationGrid::CountHoles() const
{
    return static_cast<std::size_t>(std::count_if(m_samples.begin(), m_samples.end(), [](float v) { return std::isnan(v); }));
}

int CElevationGrid::FillHoles()
{
    if (m_samples.empty())
        return -1;
    std::size_t holes = CountHoles();
    if (holes == 0)
        return 0;
    if (holes == m_samples.size())
        return -1;
    try {
        std::vector<Level> pyramid(1);
        pyramid[0].width = m_width;
        pyramid[0].height = m_height;
        pyramid[0].samples = m_samples;
        while (holes > 0) {
            Level coarse;
            holes = Halve(pyramid.back(), coarse);
            pyramid.push_back(std::move(coarse));
        }
        for (std::size_t k = pyramid.size() - 1; k-- > 0;) {
            Level& fine = pyramid[k];
            const Level& coarse = pyramid[k + 1];
            for (std::int32_t y = 0; y < fine.height; ++y) {
                for (std::int32_t x = 0; x < fine.width; ++x) {
                    float& v = fine.samples[static_cast<std::size_t>(y) * fine.width + x];
                    if (std::isnan(v))
                        v = Interpolate(coarse, x, y);
                }
            }
            pyramid.resize(k + 1);
        }
        m_samples.swap(pyramid[0].samples);
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
    std::vector<float> out;
    try {
        out.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    const double stepX = static_cast<double>(m_width - 1) / (width - 1);
    const double stepY = static_cast<double>(m_height - 1) / (height - 1);
    for (std::int32_t k = 0; k < height; ++k) {
        const double sy = k * stepY;
        const std::int32_t y0 = std::min(static_cast<std::int32_t>(sy), m_height - 2);
        const double fy = sy - y0;
        const float* row0 = m_samples.data() + static_cast<std::size_t>(y0) * m_width;
        const float* row1 = row0 + m_width;
        float* dst = out.data() + static_cast<std::size_t>(k) * width;
        for (std::int32_t i = 0; i < width; ++i) {
            const double sx = i * stepX;
            const std::int32_t x0 = std::min(static_cast<std::int32_t>(sx), m_width - 2);
            const double fx = sx - x0;
            const double top = row0[x0] + (row0[x0 + 1] - static_cast<double>(row0[x0])) * fx;
            const double bottom = row1[x0] + (row1[x0 + 1] - static_cast<double>(row1[x0])) * fx;
            dst[i] = static_cast<float>(top + (bottom - top) * fy);
        }
    }
    m_samples.swap(out);
    m_width = width;
    m_height = height;
    return 0;
}

void CElevationGrid::Range(float& low, float& high) const
{
    low = kHole;
    high = kHole;
    for (float v : m_samples) {
        if (std::isnan(v))
            continue;
        if (std::isnan(low) || v < low)
            low = v;
        if (std::isnan(high) || v > high)
            high = v;
    }
}
