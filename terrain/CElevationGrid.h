#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>

// A rectangular grid of elevations (any unit, typically metres) as read from
// an elevation file, with holes where the file has no data: a hole is a NaN
// sample. Row-major, row 0 on top, sample (x, y) at x + y * Width().
//
// The samples are one malloc'd block, so that Release can hand them on (to
// CTerrainModel::AdoptGrid) without a copy of a grid of up to 1 GB.
//
// One thread per object.
class CElevationGrid {
public:
    // A width x height grid of holes. 0, or -1 (empty grid) for a size below
    // 1 or when memory is short.
    int Allocate(std::int32_t width, std::int32_t height);

    float* Data() { return m_samples.get(); }
    const float* Data() const { return m_samples.get(); }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    float At(std::int32_t x, std::int32_t y) const
    {
        return m_samples.get()[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)];
    }

    std::size_t CountHoles() const;

    // Hands the samples over (to be released with std::free); the grid is
    // then empty. Null for an empty grid.
    float* Release();

    // Fills every hole from the samples around it: a pyramid of halved
    // grids averages the known samples of each 2 x 2 block until a level
    // has no hole; going back down, each hole takes the bilinear value of
    // the level above. A small hole thus gets the mean of its rim, a large
    // one a smooth surface between its rims. Known samples never change.
    // 0, or -1 (grid unchanged) when there is no known sample or memory is
    // short.
    int FillHoles();

    // Resamples the grid bilinearly to width x height (both at least 2, or
    // equal to the current size): the corner samples stay on the corners, and
    // sample (i, k) lies at (i * (W - 1) / (width - 1), k * (H - 1) /
    // (height - 1)) of the old W x H grid. The grid must have no holes.
    // 0, or -1 (grid unchanged) for a bad size or when memory is short.
    int Resample(std::int32_t width, std::int32_t height);

    // Lowest and highest sample (NaN for both in a grid of holes only).
    void Range(float& low, float& high) const;

private:
    struct Free {
        void operator()(float* p) const { std::free(p); }
    };
    std::size_t Count() const { return static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height); }

    std::unique_ptr<float, Free> m_samples;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
};
