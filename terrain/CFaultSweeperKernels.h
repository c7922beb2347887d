#pragma once
#include <cstddef>
#include <cstdint>

// Kernels of CFaultSweeper that need AVX-512 (AVX512F); callers check the
// processor first. Only CFaultSweeper uses them.
namespace FaultSweepKernels {

// Columns [begin, end) of one row that the current fault raises.
struct RowSpan {
    std::int32_t begin;
    std::int32_t end;
};

// Rows swept together by SweepBands512: bands of 8 rows (one row per lane
// of a vector of 8 doubles), kBands512 bands per block.
constexpr std::int32_t kBandRows512 = 8;
constexpr int kBands512 = 4;

// Floats of scratch SweepBands512 needs for `bands` bands of `width` columns
// (to be 64-byte aligned).
std::size_t ScratchFloats512(std::int32_t width, int bands);

// Raises (when `spans` is not null, row i by `raise` over spans[i]) and then
// sweeps left to right and right to left each of the bands * 8 rows starting
// at `rows` (row i at rows + i * width), in place. bands is 1..kBands512;
// keep = 1 - k and blend = k.
void SweepBands512(float* rows, std::int32_t width, int bands, float* scratch, double keep, double blend,
    const RowSpan* spans, float raise);

// dst[x] = (1 - k) * dst[x] + k * src[x] in double, rounded to float, for
// x < count, where keep = 1 - k and blend = k. `ahead` (may be null) is the
// stretch stepped next, fetched meanwhile.
void BlendRows512(float* dst, const float* src, std::int32_t count, double keep, double blend, const float* ahead);

} // namespace FaultSweepKernels
