#include "terrain/CFaultSweeperKernels.h"

#include <algorithm>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// The AVX-512 kernels of the fault sweeper. Every smoothing step is
//   s' = float(fma(k, v, (1 - k) * s))   in double,
// which is the same bits as float((1 - k) * s + k * v) evaluated in double:
// k * v is a product of two 24-bit significands, exact in double, so the
// fused form rounds the same sum once just as the plain form does. Stepping
// a line's first sample against itself leaves it as it is ((1 - k) + k is 1
// to within a double rounding, so the double result lies a few double units
// from s and rounds back to s as a float), so the kernels step every sample
// and start each chain from the line's first sample.
//
// SweepBlock512 takes a block of 32 rows through the fault, both row sweeps
// and the top-to-bottom column step, in chunks of 64 columns:
//   - left to right: each chunk's rows are read (four bands of 8 rows, one
//     row per lane of a vector of 8 doubles), raised, transposed into the
//     thread's scratch and swept; the next chunk is read while this one is
//     swept, so that the reads and transposes fill the time the sweep's four
//     chains of dependent steps wait on each other;
//   - right to left: each chunk is swept back, transposed into a row-ordered
//     staging area, and the column step runs down its 32 rows from the final
//     row above the block, writing the block's final rows. Sweeping a chunk
//     overlaps with staging the chunk to its right and stepping down the one
//     to the right of that.
// The column step of a chunk waits until the block above has finished the
// same chunk, so that two threads can work on neighbouring blocks at once.
//
// The rows are 8193 floats apart: 32 rows at one column fall into two or
// three sets of the first-level cache, which cannot hold them all, so each
// band's lines are read in one go (all four 16-column stretches of a band
// before the next band) and the stores of the column step go straight out
// row by row.

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

namespace FaultSweepKernels {

namespace {

constexpr int kChunk = 64;          // columns per chunk
constexpr int kBands = kBlockRows512 / 8;
constexpr int kStretches = kChunk / 16;
// A band's 16-column stretch in scratch: 8 slots of 16 floats, slot s
// holding column s of the stretch (8 rows) in its lower half and column
// s + 8 in its upper half.
constexpr std::size_t kBandFloats = 128;
constexpr std::size_t kChunkFloats = kStretches * kBands * kBandFloats;
constexpr std::size_t kStagingFloats = static_cast<std::size_t>(kBlockRows512) * kChunk;

// Offset of column j (0..15) of a stretch inside a band's 128 floats.
constexpr std::size_t ColumnOffset(int j)
{
    return static_cast<std::size_t>(j & 7) * 16 + static_cast<std::size_t>(j >> 3) * 8;
}

int Chunks(std::int32_t width)
{
    return (width + kChunk - 1) / kChunk;
}

} // namespace

std::size_t ScratchFloats512(std::int32_t width)
{
    return width > 0 ? static_cast<std::size_t>(Chunks(width)) * kChunkFloats + 2 * kStagingFloats : 0;
}

std::int32_t ChunkCount512(std::int32_t width)
{
    return width > 0 ? Chunks(width) : 0;
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

VP_AVX512_INLINE __m512d Blend(__m512d s, __m512d v, __m512d keep, __m512d blend)
{
    return _mm512_fmadd_pd(blend, v, _mm512_mul_pd(keep, s));
}

// One step of a row sweep for the 8 lanes at p: p = blend(p, v); v = p.
VP_AVX512_INLINE void Step8(float* p, __m512d& v, __m512d keep, __m512d blend)
{
    const __m256 out = _mm512_cvtpd_ps(Blend(_mm512_cvtps_pd(_mm256_load_ps(p)), v, keep, blend));
    _mm256_store_ps(p, out);
    v = _mm512_cvtps_pd(out);
}

// The lowest n lanes (n may lie outside 0..16).
inline __mmask16 LowLanes(int n)
{
    return static_cast<__mmask16>(n >= 16 ? 0xFFFFu : n <= 0 ? 0u : (1u << n) - 1u);
}

// The lanes of columns [x, x + 16) that span covers.
inline __mmask16 SpanMask(const RowSpan& span, std::int32_t x)
{
    const std::int32_t low = std::clamp(span.begin - x, 0, 16);
    const std::int32_t high = std::clamp(span.end - x, 0, 16);
    return static_cast<__mmask16>(LowLanes(high) & ~LowLanes(low));
}

struct BlockState {
    const Block512* job;
    std::size_t stride;
    int chunks;
    int fullChunks; // chunks of all 64 columns
    float* staging; // two areas, chunk q in area q % 2
    __m512 raise;
    __m512d keep;
    __m512d blend;
    // Per band, for the chunk being read: rows raised over all of its
    // columns, and rows raised over part of them (bit i for row i).
    unsigned wholeRows[kBands];
    unsigned partRows[kBands];
};

inline int Columns(const BlockState& k, int q)
{
    return std::min(kChunk, k.job->width - q * kChunk);
}

inline float* StretchOf(const BlockState& k, int q, int t)
{
    return k.job->scratch + static_cast<std::size_t>(q) * kChunkFloats
        + static_cast<std::size_t>(t) * kBands * kBandFloats;
}

inline float* StagingOf(const BlockState& k, int q)
{
    return k.staging + static_cast<std::size_t>(q & 1) * kStagingFloats;
}

// Reads stretch t of band b of chunk q, raises it and transposes it into
// scratch. Full: the chunk has all 64 columns.
template <bool Full>
VP_AVX512_INLINE void Gather(BlockState& k, int q, int t, int b)
{
    const std::int32_t x = q * kChunk;
    const int columns = Full ? kChunk : Columns(k, q);
    const RowSpan* spans = k.job->spans;
    if (t == 0) {
        unsigned whole = 0;
        unsigned part = 0;
        if (spans != nullptr) {
#pragma GCC unroll 8
            for (int i = 0; i < 8; ++i) {
                const RowSpan& span = spans[b * 8 + i];
                const std::int32_t low = std::max(span.begin, x);
                const std::int32_t high = std::min(span.end, x + columns);
                if (high > low)
                    (low == x && high == x + columns ? whole : part) |= 1u << i;
            }
        }
        k.wholeRows[b] = whole;
        k.partRows[b] = part;
    }
    float* dst = StretchOf(k, q, t) + b * kBandFloats;
    if (!Full && 16 * t >= columns) {
        // Past the grid's edge: never stepped, only staged and dropped.
        for (int s = 0; s < 8; ++s)
            _mm512_store_ps(dst + s * 16, _mm512_setzero_ps());
        return;
    }
    const float* band = k.job->rows + static_cast<std::size_t>(b) * 8 * k.stride + x + 16 * t;
    const __mmask16 valid = Full ? static_cast<__mmask16>(0xFFFF) : LowLanes(columns - 16 * t);
    __m512 r[8];
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i)
        r[i] = Full ? _mm512_loadu_ps(band + i * k.stride) : _mm512_maskz_loadu_ps(valid, band + i * k.stride);
    const unsigned part = k.partRows[b];
    if (part != 0) {
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i)
            if ((part >> i) & 1u)
                r[i] = _mm512_mask_add_ps(r[i], SpanMask(spans[b * 8 + i], x + 16 * t) & valid, r[i], k.raise);
    }
    TransposeHalves(r);
    // After the transpose lane i and lane i + 8 hold row i.
    const unsigned whole = k.wholeRows[b];
    if (whole != 0) {
        const __mmask16 rows = static_cast<__mmask16>(whole | (whole << 8));
#pragma GCC unroll 8
        for (int s = 0; s < 8; ++s)
            r[s] = _mm512_mask_add_ps(r[s], rows, r[s], k.raise);
    }
#pragma GCC unroll 8
    for (int s = 0; s < 8; ++s)
        _mm512_store_ps(dst + s * 16, r[s]);
}

// Fetches the lines of rows 2u and 2u + 1 of chunk q into the second-level
// cache (the first cannot hold a chunk's 32 rows, see above).
VP_AVX512_INLINE void Fetch(const BlockState& k, int q, int u)
{
    const float* row = k.job->rows + static_cast<std::size_t>(2 * u) * k.stride + q * kChunk;
    for (int i = 0; i < 2; ++i, row += k.stride) {
        const char* p = reinterpret_cast<const char*>(row);
        for (int line = 0; line < 5; ++line)
            _mm_prefetch(p + 64 * line, _MM_HINT_T1);
    }
}

// Steps columns 4g .. 4g + 3 of stretch t of chunk q left to right.
template <bool Full>
VP_AVX512_INLINE void Forward(const BlockState& k, int q, int t, int g, __m512d* v)
{
    float* stretch = StretchOf(k, q, t);
    const int columns = Full ? kChunk : Columns(k, q);
#pragma GCC unroll 4
    for (int j = 4 * g; j < 4 * g + 4; ++j)
        if (Full || 16 * t + j < columns)
#pragma GCC unroll 4
            for (int b = 0; b < kBands; ++b)
                Step8(stretch + b * kBandFloats + ColumnOffset(j), v[b], k.keep, k.blend);
}

// Steps columns 15 - 4g down to 12 - 4g of stretch t of chunk q right to left.
template <bool Full>
VP_AVX512_INLINE void Backward(const BlockState& k, int q, int t, int g, __m512d* v)
{
    float* stretch = StretchOf(k, q, t);
    const int columns = Full ? kChunk : Columns(k, q);
#pragma GCC unroll 4
    for (int j = 15 - 4 * g; j > 11 - 4 * g; --j)
        if (Full || 16 * t + j < columns)
#pragma GCC unroll 4
            for (int b = 0; b < kBands; ++b)
                Step8(stretch + b * kBandFloats + ColumnOffset(j), v[b], k.keep, k.blend);
}

// Transposes stretch t of band b of chunk q back into rows of its staging
// area (rows of 64 floats).
VP_AVX512_INLINE void Unstage(const BlockState& k, int q, int t, int b)
{
    const float* src = StretchOf(k, q, t) + b * kBandFloats;
    float* dst = StagingOf(k, q) + static_cast<std::size_t>(b) * 8 * kChunk + 16 * t;
    __m512 r[8];
#pragma GCC unroll 8
    for (int s = 0; s < 8; ++s)
        r[s] = _mm512_load_ps(src + s * 16);
    TransposeHalves(r);
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i)
        _mm512_store_ps(dst + i * kChunk, r[i]);
}

// The column step's starting values for chunk q: the final row above the
// block, or at the grid's top the block's first row (stepped against itself).
template <bool Full>
VP_AVX512_INLINE void DownStart(const BlockState& k, int q, __m512d* above)
{
    const std::int32_t x = q * kChunk;
    const int columns = Full ? kChunk : Columns(k, q);
    const float* row = k.job->above;
    const float* staging = StagingOf(k, q);
#pragma GCC unroll 8
    for (int g = 0; g < 8; ++g) {
        if (row == nullptr)
            above[g] = _mm512_cvtps_pd(_mm256_load_ps(staging + 8 * g));
        else if (Full)
            above[g] = _mm512_cvtps_pd(_mm256_loadu_ps(row + x + 8 * g));
        else
            above[g] = _mm512_cvtps_pd(
                _mm512_castps512_ps256(_mm512_maskz_loadu_ps(LowLanes(columns - 8 * g), row + x + 8 * g)));
    }
}

// The column step of rows 2u and 2u + 1 of chunk q, written to the grid.
template <bool Full>
VP_AVX512_INLINE void Down(const BlockState& k, int q, int u, __m512d* above)
{
    const std::int32_t x = q * kChunk;
    const int columns = Full ? kChunk : Columns(k, q);
    const float* staging = StagingOf(k, q);
#pragma GCC unroll 2
    for (int i = 2 * u; i < 2 * u + 2; ++i) {
        float* row = k.job->rows + static_cast<std::size_t>(i) * k.stride + x;
        const float* s = staging + i * kChunk;
#pragma GCC unroll 8
        for (int g = 0; g < 8; ++g) {
            if (!Full && 8 * g >= columns)
                break;
            const __m256 out = _mm512_cvtpd_ps(Blend(_mm512_cvtps_pd(_mm256_load_ps(s + 8 * g)), above[g], k.keep, k.blend));
            if (Full || columns - 8 * g >= 8)
                _mm256_storeu_ps(row + 8 * g, out);
            else
                _mm512_mask_storeu_ps(row + 8 * g, LowLanes(columns - 8 * g), _mm512_castps256_ps512(out));
            above[g] = _mm512_cvtps_pd(out);
        }
    }
}

} // namespace

VP_AVX512 void SweepBlock512(const Block512& job)
{
    if (job.width < 1)
        return;
    BlockState k;
    k.job = &job;
    k.stride = static_cast<std::size_t>(job.width);
    k.chunks = Chunks(job.width);
    k.fullChunks = job.width / kChunk;
    k.staging = job.scratch + static_cast<std::size_t>(k.chunks) * kChunkFloats;
    k.raise = _mm512_set1_ps(job.raise);
    k.keep = _mm512_set1_pd(job.keep);
    k.blend = _mm512_set1_pd(job.blend);
    const int chunks = k.chunks;
    const int full = k.fullChunks;

    // Left to right, reading chunk q + 1 while chunk q is swept.
    for (int u = 0; u < 16; ++u) {
        if (full > 0)
            Gather<true>(k, 0, u & 3, u >> 2);
        else
            Gather<false>(k, 0, u & 3, u >> 2);
    }
    __m512d v[kBands];
    for (int b = 0; b < kBands; ++b)
        v[b] = _mm512_cvtps_pd(_mm256_load_ps(StretchOf(k, 0, 0) + b * kBandFloats));
    for (int q = 0; q < chunks; ++q) {
        if (q + 1 < full) {
            for (int t = 0; t < kStretches; ++t) {
#pragma GCC unroll 4
                for (int g = 0; g < 4; ++g) {
                    Forward<true>(k, q, t, g, v);
                    Gather<true>(k, q + 1, g, t); // band t, all stretches in turn
                    if (q + 2 < chunks)
                        Fetch(k, q + 2, 4 * t + g);
                }
            }
            continue;
        }
        for (int u = 0; u < 16; ++u) {
            if (q < full)
                Forward<true>(k, q, u >> 2, u & 3, v);
            else
                Forward<false>(k, q, u >> 2, u & 3, v);
            if (q + 1 < chunks)
                Gather<false>(k, q + 1, u & 3, u >> 2);
        }
    }

    // Right to left: round r sweeps chunk r back, stages chunk r + 1 and
    // steps down chunk r + 2.
    {
        const int last = job.width - 1;
        const float* stretch = StretchOf(k, chunks - 1, (last % kChunk) >> 4);
        for (int b = 0; b < kBands; ++b)
            v[b] = _mm512_cvtps_pd(_mm256_load_ps(stretch + b * kBandFloats + ColumnOffset(last & 15)));
    }
    __m512d above[8];
    for (int r = chunks - 1; r >= -2; --r) {
        const int staged = r + 1;
        const int down = r + 2;
        const bool stepping = down < chunks;
        if (stepping) {
            if (job.aboveDone != nullptr) // blocks are taken in order: the one above is running
                WaitSpinning(*job.aboveDone, chunks - down);
            if (down < full)
                DownStart<true>(k, down, above);
            else
                DownStart<false>(k, down, above);
        }
        if (r >= 0 && down < full) {
            for (int t = kStretches - 1; t >= 0; --t) {
#pragma GCC unroll 4
                for (int g = 0; g < 4; ++g) {
                    Backward<true>(k, r, t, g, v);
                    Unstage(k, staged, t, g);
                    Down<true>(k, down, 4 * (kStretches - 1 - t) + g, above);
                }
            }
        } else {
            for (int u = 0; u < 16; ++u) {
                if (r >= 0) {
                    if (r < full)
                        Backward<true>(k, r, kStretches - 1 - (u >> 2), u & 3, v);
                    else
                        Backward<false>(k, r, kStretches - 1 - (u >> 2), u & 3, v);
                }
                if (staged >= 0 && staged < chunks)
                    Unstage(k, staged, u >> 2, u & 3);
                if (stepping) {
                    if (down < full)
                        Down<true>(k, down, u, above);
                    else
                        Down<false>(k, down, u, above);
                }
            }
        }
        if (stepping && job.done != nullptr)
            job.done->store(chunks - down, std::memory_order_release);
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
        _mm256_storeu_ps(dst + x, _mm512_cvtpd_ps(Blend(s, v, keep, blend)));
    }
    for (; x < count; ++x)
        dst[x] = static_cast<float>(keepValue * static_cast<double>(dst[x]) + blendValue * static_cast<double>(src[x]));
}

} // namespace FaultSweepKernels

#else

namespace FaultSweepKernels {

// Never called where the processor lacks AVX-512.
void SweepBlock512(const Block512&)
{
}

void BlendRows512(float*, const float*, std::int32_t, double, double, const float*)
{
}

} // namespace FaultSweepKernels

#endif
