#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

// Kernels of CFaultSweeper that need AVX-512 (AVX512F); callers check the
// processor first. Only CFaultSweeper uses them.
namespace FaultSweepKernels {

// Columns [begin, end) of one row that the current fault raises.
struct RowSpan {
    std::int32_t begin;
    std::int32_t end;
};

// Rows of a block of SweepBlock512.
constexpr std::int32_t kBlockRows512 = 32;

// Floats of scratch (64-byte aligned) SweepBlock512 needs for rows of
// `width` columns.
std::size_t ScratchFloats512(std::int32_t width);

// Chunks of columns SweepBlock512 reports its progress in.
std::int32_t ChunkCount512(std::int32_t width);

// One block of kBlockRows512 rows (row i at rows + i * width).
struct Block512 {
    float* rows;
    std::int32_t width;
    float* scratch; // ScratchFloats512(width) floats, 64-byte aligned, the calling thread's own
    // The final row above the block, or null for the grid's first row.
    const float* above;
    // The rows' raised columns (kBlockRows512 of them), or null without a fault.
    const RowSpan* spans;
    float raise;
    double keep;  // 1 - k
    double blend; // k
    // Chunks, counted from the right, that the block above has finished
    // (null when it is finished), and this block's count, raised as its
    // chunks are written.
    const std::atomic<std::int32_t>* aboveDone;
    std::atomic<std::int32_t>* done;
};

// Raises the block's rows, sweeps each left to right and right to left and
// steps the columns down from `above` through the block, in place.
void SweepBlock512(const Block512& job);

// Waits until `value`, raised by another running thread without
// notification, reaches `target`. The wait is short while both threads run;
// after a while it lets other threads have the core, for machines with fewer
// cores than sweeping threads.
inline void WaitSpinning(const std::atomic<std::int32_t>& value, std::int32_t target)
{
    for (int spin = 0; value.load(std::memory_order_acquire) < target; ++spin) {
        if (spin < 4096) {
#if defined(__x86_64__) || defined(__i386__)
            __builtin_ia32_pause();
#endif
        } else {
            std::this_thread::yield();
        }
    }
}

// dst[x] = (1 - k) * dst[x] + k * src[x] in double, rounded to float, for
// x < count, where keep = 1 - k and blend = k. `ahead` (may be null) is the
// stretch stepped next, fetched meanwhile.
void BlendRows512(float* dst, const float* src, std::int32_t count, double keep, double blend, const float* ahead);

} // namespace FaultSweepKernels
