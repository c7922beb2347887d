#include "terrain/CFaultSweeper.h"
#include "terrain/CFaultSweeperKernels.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

// The kernels below use the compiler's portable vector types; on machines
// with AVX-512 the wider forms of CFaultSweeperAvx512.cpp take over (chosen
// at run time, without load-time function resolution, which sanitizer
// runtimes do not survive). Every expression rounds exactly as its scalar form (this
// file is built without contraction into fused multiply-adds), so both forms
// give the same bits.
#define VP_INLINE inline __attribute__((always_inline))

namespace {

typedef float vf8 __attribute__((vector_size(32)));
typedef double vd8 __attribute__((vector_size(64)));

// Rows swept together: kGroups groups of 8 rows, one row per vector lane.
// Four independent chains per step hide the latency of the convert, multiply,
// add and round-to-float sequence that every sample of a row sweep waits on.
constexpr int kGroups = 4;
constexpr std::int32_t kGroupRows = 8;
constexpr std::size_t kAlign = 64;

VP_INLINE vf8 Load8(const float* p)
{
    vf8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

VP_INLINE void Store8(float* p, vf8 v)
{
    std::memcpy(p, &v, sizeof v);
}

VP_INLINE vd8 Widen(vf8 v)
{
    return __builtin_convertvector(v, vd8);
}

VP_INLINE vf8 Narrow(vd8 v)
{
    return __builtin_convertvector(v, vf8);
}

// One smoothing step: s becomes (1 - k) * s + k * v in double, rounded to float.
VP_INLINE float Blend(float s, float v, double keep, double blend)
{
    return static_cast<float>(keep * static_cast<double>(s) + blend * static_cast<double>(v));
}

// Transposes the 8 x 8 block held in r[0..7] (row i in r[i]) in place.
VP_INLINE void Transpose8(vf8* r)
{
    const vf8 t0 = __builtin_shufflevector(r[0], r[1], 0, 8, 1, 9, 4, 12, 5, 13);
    const vf8 t1 = __builtin_shufflevector(r[0], r[1], 2, 10, 3, 11, 6, 14, 7, 15);
    const vf8 t2 = __builtin_shufflevector(r[2], r[3], 0, 8, 1, 9, 4, 12, 5, 13);
    const vf8 t3 = __builtin_shufflevector(r[2], r[3], 2, 10, 3, 11, 6, 14, 7, 15);
    const vf8 t4 = __builtin_shufflevector(r[4], r[5], 0, 8, 1, 9, 4, 12, 5, 13);
    const vf8 t5 = __builtin_shufflevector(r[4], r[5], 2, 10, 3, 11, 6, 14, 7, 15);
    const vf8 t6 = __builtin_shufflevector(r[6], r[7], 0, 8, 1, 9, 4, 12, 5, 13);
    const vf8 t7 = __builtin_shufflevector(r[6], r[7], 2, 10, 3, 11, 6, 14, 7, 15);
    const vf8 u0 = __builtin_shufflevector(t0, t2, 0, 1, 8, 9, 4, 5, 12, 13);
    const vf8 u1 = __builtin_shufflevector(t0, t2, 2, 3, 10, 11, 6, 7, 14, 15);
    const vf8 u2 = __builtin_shufflevector(t1, t3, 0, 1, 8, 9, 4, 5, 12, 13);
    const vf8 u3 = __builtin_shufflevector(t1, t3, 2, 3, 10, 11, 6, 7, 14, 15);
    const vf8 u4 = __builtin_shufflevector(t4, t6, 0, 1, 8, 9, 4, 5, 12, 13);
    const vf8 u5 = __builtin_shufflevector(t4, t6, 2, 3, 10, 11, 6, 7, 14, 15);
    const vf8 u6 = __builtin_shufflevector(t5, t7, 0, 1, 8, 9, 4, 5, 12, 13);
    const vf8 u7 = __builtin_shufflevector(t5, t7, 2, 3, 10, 11, 6, 7, 14, 15);
    r[0] = __builtin_shufflevector(u0, u4, 0, 1, 2, 3, 8, 9, 10, 11);
    r[4] = __builtin_shufflevector(u0, u4, 4, 5, 6, 7, 12, 13, 14, 15);
    r[1] = __builtin_shufflevector(u1, u5, 0, 1, 2, 3, 8, 9, 10, 11);
    r[5] = __builtin_shufflevector(u1, u5, 4, 5, 6, 7, 12, 13, 14, 15);
    r[2] = __builtin_shufflevector(u2, u6, 0, 1, 2, 3, 8, 9, 10, 11);
    r[6] = __builtin_shufflevector(u2, u6, 4, 5, 6, 7, 12, 13, 14, 15);
    r[3] = __builtin_shufflevector(u3, u7, 0, 1, 2, 3, 8, 9, 10, 11);
    r[7] = __builtin_shufflevector(u3, u7, 4, 5, 6, 7, 12, 13, 14, 15);
}

// Both row sweeps of G * 8 consecutive rows of `width` samples. The rows are
// copied into `t` interleaved (t[x * G + g] holds column x of group g, one
// row per lane), swept there left to right and right to left, and copied
// back. `t` holds width * G vectors.
template <int G>
VP_INLINE void SweepGroups(float* rows, std::int32_t width, vf8* t, double keep, double blend)
{
    const std::size_t stride = static_cast<std::size_t>(width);
    for (int g = 0; g < G; ++g) {
        const float* base = rows + static_cast<std::size_t>(g) * kGroupRows * stride;
        std::int32_t x = 0;
        for (; x + 8 <= width; x += 8) {
            vf8 r[8];
            for (int i = 0; i < 8; ++i)
                r[i] = Load8(base + i * stride + x);
            Transpose8(r);
            for (int c = 0; c < 8; ++c)
                t[static_cast<std::size_t>(x + c) * G + g] = r[c];
        }
        for (; x < width; ++x) {
            vf8 column;
            for (int i = 0; i < 8; ++i)
                column[i] = base[i * stride + x];
            t[static_cast<std::size_t>(x) * G + g] = column;
        }
    }

    vd8 v[G];
    for (int g = 0; g < G; ++g)
        v[g] = Widen(t[g]);
    for (std::int32_t x = 1; x < width; ++x) {
        vf8* c = t + static_cast<std::size_t>(x) * G;
        for (int g = 0; g < G; ++g) {
            const vf8 s = Narrow(keep * Widen(c[g]) + blend * v[g]);
            c[g] = s;
            v[g] = Widen(s);
        }
    }
    for (int g = 0; g < G; ++g)
        v[g] = Widen(t[static_cast<std::size_t>(width - 1) * G + g]);
    for (std::int32_t x = width - 2; x >= 0; --x) {
        vf8* c = t + static_cast<std::size_t>(x) * G;
        for (int g = 0; g < G; ++g) {
            const vf8 s = Narrow(keep * Widen(c[g]) + blend * v[g]);
            c[g] = s;
            v[g] = Widen(s);
        }
    }

    for (int g = 0; g < G; ++g) {
        float* base = rows + static_cast<std::size_t>(g) * kGroupRows * stride;
        std::int32_t x = 0;
        for (; x + 8 <= width; x += 8) {
            vf8 r[8];
            for (int c = 0; c < 8; ++c)
                r[c] = t[static_cast<std::size_t>(x + c) * G + g];
            Transpose8(r);
            for (int i = 0; i < 8; ++i)
                Store8(base + i * stride + x, r[i]);
        }
        for (; x < width; ++x) {
            const vf8 column = t[static_cast<std::size_t>(x) * G + g];
            for (int i = 0; i < 8; ++i)
                base[i * stride + x] = column[i];
        }
    }
}

void SweepBlock(float* rows, std::int32_t width, vf8* t, double keep, double blend)
{
    SweepGroups<kGroups>(rows, width, t, keep, blend);
}

void SweepGroup(float* rows, std::int32_t width, vf8* t, double keep, double blend)
{
    SweepGroups<1>(rows, width, t, keep, blend);
}

// Both row sweeps of a single row, for the rows that do not fill a group.
void SweepRow(float* row, std::int32_t width, double keep, double blend)
{
    for (std::int32_t x = 1; x < width; ++x)
        row[x] = Blend(row[x], row[x - 1], keep, blend);
    for (std::int32_t x = width - 2; x >= 0; --x)
        row[x] = Blend(row[x], row[x + 1], keep, blend);
}

// dst[x] = Blend(dst[x], src[x]) for x in [0, count): one column step over a
// stretch of a row, src being the neighbouring row already stepped.
void BlendRows(float* dst, const float* src, std::int32_t count, double keep, double blend)
{
    std::int32_t x = 0;
    for (; x + 8 <= count; x += 8)
        Store8(dst + x, Narrow(keep * Widen(Load8(dst + x)) + blend * Widen(Load8(src + x))));
    for (; x < count; ++x)
        dst[x] = Blend(dst[x], src[x], keep, blend);
}

void AddRaise(float* p, std::int32_t count, float raise)
{
    for (std::int32_t x = 0; x < count; ++x)
        p[x] += raise;
}


// Waits until `value` reaches `target`; `value` only grows.
void WaitAtLeast(const std::atomic<std::int32_t>& value, std::int32_t target)
{
    for (int spin = 0; spin < 256; ++spin) {
        if (value.load(std::memory_order_acquire) >= target)
            return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    for (;;) {
        const std::int32_t current = value.load(std::memory_order_acquire);
        if (current >= target)
            return;
        value.wait(current, std::memory_order_acquire);
    }
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) // b > 0
{
    const std::int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) // b > 0
{
    const std::int64_t q = a / b;
    return (a % b != 0 && a > 0) ? q + 1 : q;
}

} // namespace

CFaultSweeper::CFaultSweeper(float* grid, std::int32_t width, std::int32_t height, int threads, bool wideKernels)
    : m_grid(grid)
    , m_width(width > 0 && height > 0 ? width : 0)
    , m_height(width > 0 && height > 0 ? height : 0)
    , m_threads(std::clamp(threads, 1, 16))
{
    (void)wideKernels;
#if defined(__x86_64__)
    m_wide = wideKernels && __builtin_cpu_supports("avx512f");
#endif
    using namespace FaultSweepKernels;
    m_blockRows = m_wide ? kBlockRows512 : kGroups * kGroupRows;
    m_blockCount = grid != nullptr ? (m_height + m_blockRows - 1) / m_blockRows : 0;
    if (m_blockCount == 0)
        return;
    // The wide kernel's scratch also serves the portable row sweeps of the
    // grid's last, partial block (8 rows of width floats at a time).
    const std::size_t floats = m_wide ? std::max(ScratchFloats512(m_width), static_cast<std::size_t>(m_width) * kGroupRows)
                                      : static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_blockRows);
    const std::size_t bytes = floats * sizeof(float);
    const std::size_t rounded = (bytes + kAlign - 1) / kAlign * kAlign;
    for (int i = 0; i < m_threads; ++i) {
        void* p = std::aligned_alloc(kAlign, rounded);
        if (p == nullptr)
            break;
        m_scratch.push_back(static_cast<float*>(p));
    }
    // Without scratch for a thread, that thread does not take part.
    m_threads = static_cast<int>(m_scratch.size());
    if (m_threads == 0) {
        m_blockCount = 0;
        return;
    }
    if (m_wide) {
        m_chunkCount = ChunkCount512(m_width);
        m_chunksDone.reset(new std::atomic<std::int32_t>[static_cast<std::size_t>(m_blockCount)]());
    } else {
        m_rowsDone.reset(new std::atomic<std::uint32_t>[static_cast<std::size_t>(m_blockCount)]());
    }
    // A few column slices per thread in the second pass, each at least 256
    // columns wide.
    m_sliceCount = m_threads == 1 ? 1 : std::clamp(m_width / 256, 1, 2 * m_threads);
    for (int i = 1; i < m_threads; ++i)
        m_helpers.emplace_back(&CFaultSweeper::HelperLoop, this, i);
}

CFaultSweeper::~CFaultSweeper()
{
    m_stop.store(true, std::memory_order_relaxed);
    m_jobSequence.fetch_add(1, std::memory_order_release);
    m_jobSequence.notify_all();
    for (std::thread& helper : m_helpers)
        helper.join();
    for (float* p : m_scratch)
        std::free(p);
}

void CFaultSweeper::Apply(const FaultLine* fault, float raise, float k)
{
    if (m_blockCount == 0)
        return;
    m_hasFault = fault != nullptr;
    if (fault != nullptr)
        m_fault = *fault;
    m_raise = raise;
    m_blend = static_cast<double>(k);
    m_keep = 1.0 - m_blend;
    if (++m_job == 0)
        ++m_job; // 0 marks a block never swept
    m_nextRowBlock.store(0, std::memory_order_relaxed);
    m_blocksDown.store(0, std::memory_order_relaxed);
    if (m_wide)
        for (std::int32_t i = 0; i < m_blockCount; ++i)
            m_chunksDone[i].store(0, std::memory_order_relaxed);
    m_nextSlice.store(0, std::memory_order_relaxed);
    m_helpersBusy.store(m_threads - 1, std::memory_order_relaxed);
    m_jobSequence.fetch_add(1, std::memory_order_release);
    m_jobSequence.notify_all();

    RunPasses(0);

    for (;;) {
        const std::int32_t busy = m_helpersBusy.load(std::memory_order_acquire);
        if (busy == 0)
            break;
        m_helpersBusy.wait(busy, std::memory_order_acquire);
    }
}

void CFaultSweeper::HelperLoop(int worker)
{
    std::uint32_t seen = 0;
    for (;;) {
        m_jobSequence.wait(seen, std::memory_order_acquire);
        seen = m_jobSequence.load(std::memory_order_acquire);
        if (m_stop.load(std::memory_order_relaxed))
            return;
        RunPasses(worker);
        if (m_helpersBusy.fetch_sub(1, std::memory_order_acq_rel) == 1)
            m_helpersBusy.notify_all();
    }
}

// First pass: the threads take the next block from a shared counter. With
// the wide kernels a thread takes its block through the fault, the row
// sweeps and the column step at once, the column step of each chunk
// following the block above. Otherwise the thread does its block's fault and
// row sweeps, and the column steps run in block order, each block stepped by
// whichever thread holds the down token once the block and all blocks above
// it are ready. Second pass: the threads take slices of columns from a
// shared counter and step each up the whole grid. Shared counters rather
// than fixed shares keep both threads busy when the scheduler holds one of
// them back.
void CFaultSweeper::RunPasses(int worker)
{
    for (;;) {
        const std::int32_t block = m_nextRowBlock.fetch_add(1, std::memory_order_relaxed);
        if (block >= m_blockCount)
            break;
        if (m_wide) {
            WideBlock(block, worker);
            if (m_blocksDown.fetch_add(1, std::memory_order_acq_rel) + 1 == m_blockCount)
                m_blocksDown.notify_all();
            continue;
        }
        RowBlock(block, worker);
        m_rowsDone[block].store(m_job, std::memory_order_seq_cst);
        AdvanceDown();
    }
    WaitAtLeast(m_blocksDown, m_blockCount);
    for (;;) {
        const std::int32_t slice = m_nextSlice.fetch_add(1, std::memory_order_relaxed);
        if (slice >= m_sliceCount)
            break;
        UpSlice(slice);
    }
}

// Steps down every block that is ready, in order, unless another thread
// holds the token; that thread then sees any block made ready meanwhile: a
// block is marked ready before the token is tried, and the holder looks at
// the next block again after letting the token go (all sequentially
// consistent, so one of the two sees the other).
void CFaultSweeper::AdvanceDown()
{
    for (;;) {
        if (m_downToken.exchange(true, std::memory_order_seq_cst))
            return;
        std::int32_t next = m_blocksDown.load(std::memory_order_relaxed);
        while (next < m_blockCount && m_rowsDone[next].load(std::memory_order_acquire) == m_job) {
            DownBlock(next);
            ++next;
            m_blocksDown.store(next, std::memory_order_release);
        }
        if (next == m_blockCount)
            m_blocksDown.notify_all();
        m_downToken.store(false, std::memory_order_seq_cst);
        if (next >= m_blockCount || m_rowsDone[next].load(std::memory_order_seq_cst) != m_job)
            return;
    }
}

void CFaultSweeper::WideBlock(std::int32_t block, int worker)
{
    using namespace FaultSweepKernels;
    const std::int32_t y0 = block * m_blockRows;
    const std::int32_t rows = std::min(m_blockRows, m_height - y0);
    const std::size_t stride = static_cast<std::size_t>(m_width);
    float* first = m_grid + static_cast<std::size_t>(y0) * stride;
    const std::atomic<std::int32_t>* aboveDone = block > 0 ? &m_chunksDone[block - 1] : nullptr;
    if (rows == kBlockRows512) {
        RowSpan spans[kBlockRows512];
        if (m_hasFault)
            for (std::int32_t r = 0; r < rows; ++r)
                RaisedSpan(m_fault, y0 + r, m_width, spans[r].begin, spans[r].end);
        const Block512 job{first, m_width, m_scratch[worker], y0 > 0 ? first - stride : nullptr,
            m_hasFault ? spans : nullptr, m_raise, m_keep, m_blend, aboveDone, &m_chunksDone[block]};
        SweepBlock512(job);
        return;
    }
    // The grid's last rows, fewer than a block: the portable row sweeps, then
    // the column step once the block above is finished.
    RowBlock(block, worker);
    if (aboveDone != nullptr)
        FaultSweepKernels::WaitSpinning(*aboveDone, m_chunkCount);
    DownBlock(block);
    m_chunksDone[block].store(m_chunkCount, std::memory_order_release);
}

// The fault and both row sweeps of a block with the portable kernels.
void CFaultSweeper::RowBlock(std::int32_t block, int worker)
{
    const std::int32_t y0 = block * m_blockRows;
    const std::int32_t rows = std::min(m_blockRows, m_height - y0);
    const std::size_t stride = static_cast<std::size_t>(m_width);
    float* first = m_grid + static_cast<std::size_t>(y0) * stride;
    if (m_hasFault) {
        for (std::int32_t r = 0; r < rows; ++r) {
            std::int32_t begin = 0;
            std::int32_t end = 0;
            RaisedSpan(m_fault, y0 + r, m_width, begin, end);
            if (end > begin)
                AddRaise(first + r * stride + begin, end - begin, m_raise);
        }
    }
    vf8* scratch = reinterpret_cast<vf8*>(m_scratch[worker]);
    if (rows == kGroups * kGroupRows) {
        SweepBlock(first, m_width, scratch, m_keep, m_blend);
        return;
    }
    std::int32_t i = 0;
    for (; i + kGroupRows <= rows; i += kGroupRows)
        SweepGroup(first + i * stride, m_width, scratch, m_keep, m_blend);
    for (; i < rows; ++i)
        SweepRow(first + i * stride, m_width, m_keep, m_blend);
}

void CFaultSweeper::StepRows(float* dst, const float* src, std::int32_t count, const float* ahead) const
{
    if (m_wide) {
        FaultSweepKernels::BlendRows512(dst, src, count, m_keep, m_blend, ahead);
        return;
    }
    (void)ahead;
    BlendRows(dst, src, count, m_keep, m_blend);
}

void CFaultSweeper::DownBlock(std::int32_t block)
{
    const std::int32_t y0 = block * m_blockRows;
    const std::int32_t y1 = std::min(y0 + m_blockRows, m_height);
    const std::size_t stride = static_cast<std::size_t>(m_width);
    for (std::int32_t y = std::max(y0, 1); y < y1; ++y)
        StepRows(m_grid + y * stride, m_grid + (y - 1) * stride, m_width, nullptr);
}

void CFaultSweeper::UpSlice(std::int32_t slice)
{
    // Slices start on 16-sample boundaries so that threads share no cache line
    // (rows themselves need not be aligned, so this only keeps sharing rare).
    auto edge = [this](std::int32_t i) {
        if (i >= m_sliceCount)
            return m_width;
        const std::int64_t x = static_cast<std::int64_t>(m_width) * i / m_sliceCount;
        return static_cast<std::int32_t>(x & ~std::int64_t{15});
    };
    const std::int32_t begin = edge(slice);
    const std::int32_t end = edge(slice + 1);
    if (end <= begin)
        return;
    const std::size_t stride = static_cast<std::size_t>(m_width);
    for (std::int32_t y = m_height - 2; y >= 0; --y)
        StepRows(m_grid + y * stride + begin, m_grid + (y + 1) * stride + begin, end - begin,
            y > 0 ? m_grid + (y - 1) * stride + begin : nullptr);
}

void CFaultSweeper::RaisedSpan(const FaultLine& fault, std::int32_t y, std::int32_t width, std::int32_t& begin,
    std::int32_t& end)
{
    begin = 0;
    end = 0;
    if (width <= 0)
        return;
    // Along row y the test is dy * x + c with c = -dx * (y - y1) - dy * x1.
    const std::int64_t c = -static_cast<std::int64_t>(fault.dx) * (y - static_cast<std::int64_t>(fault.y1))
        - static_cast<std::int64_t>(fault.dy) * fault.x1;
    std::int64_t lo = 0;
    std::int64_t hi = width;
    if (fault.dy == 0) {
        if (c <= 0)
            hi = 0;
    } else if (fault.dy > 0) {
        lo = FloorDiv(-c, fault.dy) + 1;
    } else {
        hi = CeilDiv(c, -static_cast<std::int64_t>(fault.dy));
    }
    lo = std::clamp<std::int64_t>(lo, 0, width);
    hi = std::clamp<std::int64_t>(hi, 0, width);
    if (hi > lo) {
        begin = static_cast<std::int32_t>(lo);
        end = static_cast<std::int32_t>(hi);
    }
}
