#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

// A fault line of the fault-formation synthesis through (x1, y1) with
// direction (dx, dy): grid sample (x, y) lies on its raised side when
// dy * (x - x1) - dx * (y - y1) > 0. Samples on the line stay as they are.
struct FaultLine {
    std::int32_t x1;
    std::int32_t y1;
    std::int32_t dx;
    std::int32_t dy;
};

// Applies one fault and the smoothing pass that follows it to a row-major
// float grid of width x height samples (sample (x, y) at x + y * width),
// with the result of the plain sequence
//   1. raise every sample on the fault's positive side,
//   2. every row left to right, 3. every row right to left,
//   4. every column top to bottom, 5. every column bottom to top,
// where each sweep replaces sample s by (1 - k) * s + k * v, v being the
// previous sample of its line as already replaced (the line's first sample
// stays), computed in double precision and rounded to float.
//
// The five sweeps take two passes over memory: one down the rows that does
// the fault, both row sweeps and the top-to-bottom column step for blocks of
// rows (a row is finished before the next row's column step reads it), and
// one up the rows for the bottom-to-top column step. Row sweeps run on
// several rows at once in vector lanes; the work is shared by `threads`
// threads (the calling thread and threads - 1 helpers owned by the object).
// Results are bit-identical to the plain sequence for any thread count and
// instruction set.
//
// Apply may be called from one thread at a time; the grid belongs to the
// sweeper for the duration of a call.
class CFaultSweeper {
public:
    // Sizes below 1 make every Apply a no-op. threads is clamped to 1..16.
    // wideKernels false keeps to the portable kernels even where AVX-512
    // is available (both give the same bits; tests compare them).
    CFaultSweeper(float* grid, std::int32_t width, std::int32_t height, int threads = 2, bool wideKernels = true);
    ~CFaultSweeper();
    CFaultSweeper(const CFaultSweeper&) = delete;
    CFaultSweeper& operator=(const CFaultSweeper&) = delete;

    // fault null: the smoothing pass alone.
    void Apply(const FaultLine* fault, float raise, float k);

    // The columns [begin, end) of row y (end <= width) that lie on the raised
    // side of `fault`; begin == end when none does. The side is the set of
    // columns where the fault test is positive, which along a row is one
    // contiguous run.
    static void RaisedSpan(const FaultLine& fault, std::int32_t y, std::int32_t width, std::int32_t& begin,
        std::int32_t& end);

private:
    void HelperLoop(int worker);
    void RunPasses(int worker);
    void AdvanceDown();
    void RowBlock(std::int32_t block, int worker);
    void WideBlock(std::int32_t block, int worker);
    void DownBlock(std::int32_t block);
    void UpSlice(std::int32_t slice);
    // One column step: dst[x] = smoothed dst[x] against src[x], x < count;
    // `ahead` (may be null) is the stretch stepped next, fetched meanwhile.
    void StepRows(float* dst, const float* src, std::int32_t count, const float* ahead) const;

    float* m_grid;
    std::int32_t m_width;
    std::int32_t m_height;
    int m_threads;
    bool m_wide = false; // AVX-512 kernels
    std::int32_t m_blockRows = 0;
    std::int32_t m_blockCount = 0;
    std::int32_t m_sliceCount = 0; // column slices of the second pass
    // Per-thread scratch for the interleaved rows of one block (64-byte aligned).
    std::vector<float*> m_scratch;

    // The job of the current Apply call; written before m_jobSequence moves.
    FaultLine m_fault{};
    bool m_hasFault = false;
    float m_raise = 0.0f;
    double m_keep = 1.0;  // 1 - k
    double m_blend = 0.0; // k
    std::uint32_t m_job = 0; // number of the current Apply call, never 0

    std::atomic<std::int32_t> m_nextRowBlock{0}; // next block to take for the first pass
    // Per block: m_job once its fault and row sweeps are done.
    std::unique_ptr<std::atomic<std::uint32_t>[]> m_rowsDone;
    std::atomic<bool> m_downToken{false}; // held by the thread doing column steps
    // Wide kernels: per block, the chunks of columns finished (reset by Apply).
    std::unique_ptr<std::atomic<std::int32_t>[]> m_chunksDone;
    std::int32_t m_chunkCount = 0;
    std::atomic<std::int32_t> m_blocksDown{0}; // blocks whose column step is done, in order
    std::atomic<std::int32_t> m_nextSlice{0}; // next column slice to take for the second pass
    std::atomic<std::uint32_t> m_jobSequence{0};
    std::atomic<std::int32_t> m_helpersBusy{0};
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_helpers;
};
