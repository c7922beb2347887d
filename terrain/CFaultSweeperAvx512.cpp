#include "terrain/CFaultSweeperKernels.h"

#include <algorithm>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// The AVX-512 kernels of the fault sweeper. Every smoothing step is
//   s' = float(fma(k, v, (1 - k) * s))   in double,
// which is the same bits as float((1 - k) * s + k * v) evaluated in double:
// k * v is a product of two 24-bit significands, exact in double, so the
// fused form rounds the same sum once just as the plain form does.
//
// Row sweeps work on bands of 8 rows, one row per lane of a vector of 8
// doubles, and on several bands at once (independent chains that hide the
// latency of the multiply-add and the two conversions each step waits on).
// The rows are read 16 columns at a time, raised by the fault, transposed
// and kept in a scratch area in the order the sweeps walk it, then
// transposed back and stored as the right-to-left sweep leaves each stretch.

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

namespace FaultSweepKernels {

namespace {

// Columns per stretch, and the scratch floats one band takes per stretch:
// 8 slots of 16 floats, slot s holding column s of the stretch (8 rows) in
// its lower half and column s + 8 in its upper half.
constexpr std::int32_t kStretch = 16;
constexpr std::size_t kBandFloats = 128;
// How far ahead of the sweep the rows are fetched, in stretches.
constexpr std::int32_t kFetchStretches = 4;

std::size_t StretchCount(std::int32_t width)
{
    return static_cast<std::size_t>((width + kStretch - 1) / kStretch);
}

// Offset of column j (0..15) of a stretch inside a band's 128 floats.
constexpr std::size_t ColumnOffset(std::int32_t j)
{
    return static_cast<std::size_t>(j & 7) * 16 + static_cast<std::size_t>(j >> 3) * 8;
}

} // namespace

std::size_t ScratchFloats512(std::int32_t width, int bands)
{
    return width > 0 && bands > 0 ? StretchCount(width) * static_cast<std::size_t>(bands) * kBandFloats : 0;
}

} // namespace FaultSweepKernels

#if defined(__x86_64__)

#define VP_AVX512 __attribute__((target("avx512f")))
#define VP_AVX512_INLINE VP_AVX512 inline __attribute__((always_inline))

namespace FaultSweepKernels {

namespace {

// Transposes each 256-bit half of r[0..7] as an 8 x 8 block: afterwards
// r[s] holds, in its lower half, element s of the lower halves of the old
// r[0..7] and, in its upper half, element s of their upper halves. Applying
// it twice restores the input.
VP_AVX512_INLINE void TransposeHalves(__m512* r)
{
    const __m512 t0 = _mm512_unpacklo_ps(r[0], r[1]);
    const __m512 t1 = _mm512_unpackhi_ps(r[0], r[1]);
    const __m512 t2 = _mm512_unpacklo_ps(r[2], r[3]);
    const __m512 t3 = _mm512_unpackhi_ps(r[2], r[3]);
    const __m512 t4 = _mm512_unpacklo_ps(r[4], r[5]);
    const __m512 t5 = _mm512_unpackhi_ps(r[4], r[5]);
    const __m512 t6 = _mm512_unpacklo_ps(r[6], r[7]);
    const __m512 t7 = _mm512_unpackhi_ps(r[6], r[7]);
    // u[c] (u[c + 4]): in each 128-bit lane m, element 4m + c of rows 0..3 (4..7).
    const __m512 u0 = _mm512_shuffle_ps(t0, t2, 0x44);
    const __m512 u1 = _mm512_shuffle_ps(t0, t2, 0xEE);
    const __m512 u2 = _mm512_shuffle_ps(t1, t3, 0x44);
    const __m512 u3 = _mm512_shuffle_ps(t1, t3, 0xEE);
    const __m512 u4 = _mm512_shuffle_ps(t4, t6, 0x44);
    const __m512 u5 = _mm512_shuffle_ps(t4, t6, 0xEE);
    const __m512 u6 = _mm512_shuffle_ps(t5, t7, 0x44);
    const __m512 u7 = _mm512_shuffle_ps(t5, t7, 0xEE);
    const __m512i lanes02 = _mm512_setr_epi32(0, 1, 2, 3, 16, 17, 18, 19, 8, 9, 10, 11, 24, 25, 26, 27);
    const __m512i lanes13 = _mm512_setr_epi32(4, 5, 6, 7, 20, 21, 22, 23, 12, 13, 14, 15, 28, 29, 30, 31);
    r[0] = _mm512_permutex2var_ps(u0, lanes02, u4);
    r[1] = _mm512_permutex2var_ps(u1, lanes02, u5);
    r[2] = _mm512_permutex2var_ps(u2, lanes02, u6);
    r[3] = _mm512_permutex2var_ps(u3, lanes02, u7);
    r[4] = _mm512_permutex2var_ps(u0, lanes13, u4);
    r[5] = _mm512_permutex2var_ps(u1, lanes13, u5);
    r[6] = _mm512_permutex2var_ps(u2, lanes13, u6);
    r[7] = _mm512_permutex2var_ps(u3, lanes13, u7);
}

// The lanes of columns [x, x + 16) that span covers.
inline __mmask16 SpanMask(const RowSpan& span, std::int32_t x)
{
    const std::int32_t begin = span.begin - x;
    const std::int32_t end = span.end - x;
    if (begin >= kStretch || end <= 0 || end <= begin)
        return 0;
    const unsigned high = end >= kStretch ? 0xFFFFu : (1u << end) - 1u;
    const unsigned low = begin <= 0 ? 0xFFFFu : 0xFFFFu << begin;
    return static_cast<__mmask16>(high & low);
}

// Reads columns [x, x + 16) of the band's 8 rows (raising them where
// `spans` says) into the band's slots `dst`.
VP_AVX512_INLINE void GatherStretch(const float* band, std::size_t stride, std::int32_t x, float* dst,
    const RowSpan* spans, __m512 raise)
{
    __m512 r[8];
    for (int i = 0; i < 8; ++i)
        r[i] = _mm512_loadu_ps(band + i * stride + x);
    if (spans != nullptr) {
        for (int i = 0; i < 8; ++i) {
            const __mmask16 mask = SpanMask(spans[i], x);
            if (mask != 0)
                r[i] = _mm512_mask_add_ps(r[i], mask, r[i], raise);
        }
    }
    TransposeHalves(r);
    for (int s = 0; s < 8; ++s)
        _mm512_store_ps(dst + s * 16, r[s]);
}

VP_AVX512_INLINE void ScatterStretch(float* band, std::size_t stride, std::int32_t x, const float* src)
{
    __m512 r[8];
    for (int s = 0; s < 8; ++s)
        r[s] = _mm512_load_ps(src + s * 16);
    TransposeHalves(r);
    for (int i = 0; i < 8; ++i)
        _mm512_storeu_ps(band + i * stride + x, r[i]);
}

// The last, partial stretch: columns [x, width).
void GatherTail(const float* band, std::size_t stride, std::int32_t x, std::int32_t width, float* dst,
    const RowSpan* spans, float raise)
{
    for (int i = 0; i < 8; ++i) {
        for (std::int32_t c = x; c < width; ++c) {
            float value = band[i * stride + c];
            if (spans != nullptr && c >= spans[i].begin && c < spans[i].end)
                value += raise;
            dst[ColumnOffset(c - x) + i] = value;
        }
    }
}

void ScatterTail(float* band, std::size_t stride, std::int32_t x, std::int32_t width, const float* src)
{
    for (int i = 0; i < 8; ++i)
        for (std::int32_t c = x; c < width; ++c)
            band[i * stride + c] = src[ColumnOffset(c - x) + i];
}

// One step of a row sweep for the 8 lanes at p: p = blend(p, v); v = p.
VP_AVX512_INLINE void Step8(float* p, __m512d& v, __m512d keep, __m512d blend)
{
    const __m256 out = _mm512_cvtpd_ps(_mm512_fmadd_pd(blend, v, _mm512_mul_pd(keep, _mm512_cvtps_pd(_mm256_load_ps(p)))));
    _mm256_store_ps(p, out);
    v = _mm512_cvtps_pd(out);
}

template <int B>
VP_AVX512_INLINE void StepForward(float* stretch, std::int32_t j0, std::int32_t j1, __m512d* v, __m512d keep,
    __m512d blend)
{
    for (std::int32_t j = j0; j < j1; ++j)
        for (int b = 0; b < B; ++b)
            Step8(stretch + b * kBandFloats + ColumnOffset(j), v[b], keep, blend);
}

template <int B>
VP_AVX512_INLINE void StepBackward(float* stretch, std::int32_t j1, std::int32_t j0, __m512d* v, __m512d keep,
    __m512d blend)
{
    for (std::int32_t j = j1; j >= j0; --j)
        for (int b = 0; b < B; ++b)
            Step8(stretch + b * kBandFloats + ColumnOffset(j), v[b], keep, blend);
}

template <int B>
VP_AVX512_INLINE void ScatterBands(float* rows, std::size_t stride, std::int32_t width, std::int32_t full,
    std::int32_t c, const float* stretch)
{
    for (int b = 0; b < B; ++b) {
        float* band = rows + static_cast<std::size_t>(b) * kBandRows512 * stride;
        if (c < full)
            ScatterStretch(band, stride, c * kStretch, stretch + b * kBandFloats);
        else
            ScatterTail(band, stride, c * kStretch, width, stretch + b * kBandFloats);
    }
}

template <int B>
VP_AVX512_INLINE void SweepBandsT(float* rows, std::int32_t width, float* t, double keepValue, double blendValue,
    const RowSpan* spans, float raise)
{
    const std::size_t stride = static_cast<std::size_t>(width);
    const std::int32_t full = width / kStretch;
    const std::int32_t stretches = static_cast<std::int32_t>(StretchCount(width));
    constexpr std::size_t kStride = B * kBandFloats;
    const __m512 raiseVector = _mm512_set1_ps(raise);
    const __m512d keep = _mm512_set1_pd(keepValue);
    const __m512d blend = _mm512_set1_pd(blendValue);
    __m512d v[B];

    for (std::int32_t c = 0; c < stretches; ++c) {
        float* stretch = t + c * kStride;
        const std::int32_t x = c * kStretch;
        // The rows are read a few stretches ahead of their use: the block
        // comes from memory, and the sweep has too little independent work
        // in flight to cover a miss.
        if (c + kFetchStretches < full)
            for (int i = 0; i < B * kBandRows512; ++i)
                _mm_prefetch(reinterpret_cast<const char*>(rows + i * stride + x + kFetchStretches * kStretch),
                    _MM_HINT_T0);
        for (int b = 0; b < B; ++b) {
            const float* band = rows + static_cast<std::size_t>(b) * kBandRows512 * stride;
            const RowSpan* bandSpans = spans != nullptr ? spans + b * kBandRows512 : nullptr;
            if (c < full)
                GatherStretch(band, stride, x, stretch + b * kBandFloats, bandSpans, raiseVector);
            else
                GatherTail(band, stride, x, width, stretch + b * kBandFloats, bandSpans, raise);
        }
        if (c == 0) {
            for (int b = 0; b < B; ++b)
                v[b] = _mm512_cvtps_pd(_mm256_load_ps(stretch + b * kBandFloats));
            StepForward<B>(stretch, 1, std::min(kStretch, width), v, keep, blend);
        } else if (c < full) {
#pragma GCC unroll 16
            for (std::int32_t j = 0; j < kStretch; ++j)
                for (int b = 0; b < B; ++b)
                    Step8(stretch + b * kBandFloats + ColumnOffset(j), v[b], keep, blend);
        } else {
            StepForward<B>(stretch, 0, width - x, v, keep, blend);
        }
    }

    // Right to left; the last column keeps its value.
    {
        const std::int32_t last = width - 1;
        const float* stretch = t + (last / kStretch) * kStride;
        for (int b = 0; b < B; ++b)
            v[b] = _mm512_cvtps_pd(_mm256_load_ps(stretch + b * kBandFloats + ColumnOffset(last % kStretch)));
    }
    for (std::int32_t c = stretches - 1; c >= 0; --c) {
        float* stretch = t + c * kStride;
        const std::int32_t x = c * kStretch;
        if (c == stretches - 1) {
            StepBackward<B>(stretch, width - 2 - x, 0, v, keep, blend);
        } else {
#pragma GCC unroll 16
            for (std::int32_t j = kStretch - 1; j >= 0; --j)
                for (int b = 0; b < B; ++b)
                    Step8(stretch + b * kBandFloats + ColumnOffset(j), v[b], keep, blend);
        }
        // A stretch is stored back one stretch late: read at once, its slots
        // would wait for the step results still on their way to the cache.
        if (c + 1 < stretches)
            ScatterBands<B>(rows, stride, width, full, c + 1, t + (c + 1) * kStride);
    }
    ScatterBands<B>(rows, stride, width, full, 0, t);
}

} // namespace

VP_AVX512 void SweepBands512(float* rows, std::int32_t width, int bands, float* scratch, double keep, double blend,
    const RowSpan* spans, float raise)
{
    if (width < 1)
        return;
    switch (bands) {
    case 1:
        SweepBandsT<1>(rows, width, scratch, keep, blend, spans, raise);
        break;
    case 2:
        SweepBandsT<2>(rows, width, scratch, keep, blend, spans, raise);
        break;
    case 3:
        SweepBandsT<3>(rows, width, scratch, keep, blend, spans, raise);
        break;
    case 4:
        SweepBandsT<4>(rows, width, scratch, keep, blend, spans, raise);
        break;
    default:
        break;
    }
}

VP_AVX512 void BlendRows512(float* dst, const float* src, std::int32_t count, double keepValue, double blendValue,
    const float* ahead)
{
    const __m512d keep = _mm512_set1_pd(keepValue);
    const __m512d blend = _mm512_set1_pd(blendValue);
    std::int32_t x = 0;
    for (; x + 8 <= count; x += 8) {
        if (ahead != nullptr && (x & 15) == 0)
            _mm_prefetch(reinterpret_cast<const char*>(ahead + x), _MM_HINT_T0);
        const __m512d s = _mm512_cvtps_pd(_mm256_loadu_ps(dst + x));
        const __m512d v = _mm512_cvtps_pd(_mm256_loadu_ps(src + x));
        _mm256_storeu_ps(dst + x, _mm512_cvtpd_ps(_mm512_fmadd_pd(blend, v, _mm512_mul_pd(keep, s))));
    }
    for (; x < count; ++x)
        dst[x] = static_cast<float>(keepValue * static_cast<double>(dst[x]) + blendValue * static_cast<double>(src[x]));
}

} // namespace FaultSweepKernels

#else

namespace FaultSweepKernels {

// Never called where the processor lacks AVX-512.
void SweepBands512(float*, std::int32_t, int, float*, double, double, const RowSpan*, float)
{
}

void BlendRows512(float*, const float*, std::int32_t, double, double, const float*)
{
}

} // namespace FaultSweepKernels

#endif
