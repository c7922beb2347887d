#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "terrain/CFaultSweeper.h"
#include "terrain/CRandom.h"
#include "terrain/CTerrainModel.h"

namespace {

// The plain form of one fault and smoothing pass: the fault test stepped
// incrementally in 32-bit integers, then four separate sweeps of whole lines.
float Step(float s, float v, float k)
{
    return static_cast<float>((1.0 - static_cast<double>(k)) * static_cast<double>(s)
        + static_cast<double>(k) * static_cast<double>(v));
}

void ReferencePass(std::vector<float>& g, int w, int h, const FaultLine* f, float raise, float k)
{
    if (f != nullptr) {
        std::int32_t rowStart = f->dy * (0 - f->x1) - f->dx * (0 - f->y1);
        for (int y = 0; y < h; ++y, rowStart -= f->dx) {
            std::int32_t t = rowStart;
            for (int x = 0; x < w; ++x, t += f->dy)
                if (t > 0)
                    g[x + y * w] += raise;
        }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 1; x < w; ++x)
            g[x + y * w] = Step(g[x + y * w], g[x - 1 + y * w], k);
    for (int y = 0; y < h; ++y)
        for (int x = w - 2; x >= 0; --x)
            g[x + y * w] = Step(g[x + y * w], g[x + 1 + y * w], k);
    for (int x = 0; x < w; ++x)
        for (int y = 1; y < h; ++y)
            g[x + y * w] = Step(g[x + y * w], g[x + (y - 1) * w], k);
    for (int x = 0; x < w; ++x)
        for (int y = h - 2; y >= 0; --y)
            g[x + y * w] = Step(g[x + y * w], g[x + (y + 1) * w], k);
}

FaultLine DrawFault(CRandom& random, int w, int h)
{
    FaultLine f{};
    f.x1 = random.Next() % w;
    f.y1 = random.Next() % h;
    int x2 = 0;
    int y2 = 0;
    do {
        x2 = random.Next() % w;
        y2 = random.Next() % h;
    } while (x2 == f.x1 && y2 == f.y1);
    f.dx = x2 - f.x1;
    f.dy = y2 - f.y1;
    return f;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

} // namespace

// Sizes around the block, band, chunk and vector widths of the kernels (8,
// 16, 32, 48 rows; 8, 16 and 64 columns), wide grids of many chunks whose
// blocks follow each other chunk by chunk, odd shapes and a single row or
// column; tall grids of many small blocks with more threads than cores,
// where blocks finish out of order and the column steps change hands often.
TEST(CFaultSweeper, MatchesPlainSweepsBitForBit)
{
    struct Case {
        int w, h, threads, faults;
    };
    const Case cases[] = {
        {1, 1, 1, 3}, {1, 9, 2, 5}, {9, 1, 2, 5}, {2, 2, 2, 5}, {7, 5, 1, 20}, {8, 8, 2, 20}, {16, 16, 2, 20},
        {17, 33, 2, 30}, {33, 17, 2, 30}, {48, 48, 2, 20}, {49, 97, 2, 20}, {97, 49, 1, 20}, {65, 65, 2, 40},
        {130, 100, 2, 10}, {100, 131, 3, 10}, {1, 100, 2, 5}, {24, 1000, 4, 6}, {40, 257, 3, 8}, {257, 40, 4, 8},
        {31, 71, 2, 12}, {450, 200, 2, 6}, {450, 200, 3, 4}, {256, 64, 2, 6}, {700, 97, 2, 4}, {129, 161, 5, 5},
    };
    // Both kernel sets: the AVX-512 one (where the machine has it) and the
    // portable one.
    for (const bool wide : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << ", " << c.threads << " threads, wide " << wide);
            std::vector<float> fused(static_cast<std::size_t>(c.w) * c.h, 0.0f);
            std::vector<float> plain = fused;
            CFaultSweeper sweeper(fused.data(), c.w, c.h, c.threads, wide);
            CRandom random(static_cast<std::uint32_t>(c.w * 1000 + c.h));
            for (int i = 0; i < c.faults; ++i) {
                const float raise = static_cast<float>(256.0 - 256.0 * i / c.faults);
                if (c.w * c.h < 2) {
                    sweeper.Apply(nullptr, raise, 0.4f);
                    ReferencePass(plain, c.w, c.h, nullptr, raise, 0.4f);
                    continue;
                }
                const FaultLine f = DrawFault(random, c.w, c.h);
                sweeper.Apply(&f, raise, 0.4f);
                ReferencePass(plain, c.w, c.h, &f, raise, 0.4f);
            }
            EXPECT_TRUE(SameBits(fused, plain));
        }
    }
}

// Other smoothing factors, including ones whose 1 - k is not exact in float,
// and a grid with values of very different magnitudes (and subnormals).
TEST(CFaultSweeper, SmoothingAloneMatchesForOtherFactors)
{
    const float factors[] = {0.4f, 0.1f, 0.7f, 1e-9f, 1.0f, 0.0f};
    for (const float k : factors) {
        SCOPED_TRACE(k);
        const int w = 53;
        const int h = 61;
        std::vector<float> fused(static_cast<std::size_t>(w) * h);
        for (std::size_t i = 0; i < fused.size(); ++i)
            fused[i] = (i % 7 == 0) ? 1e-40f : static_cast<float>((i * 2654435761u) % 100000) / 7.0f;
        std::vector<float> plain = fused;
        std::vector<float> portable = fused;
        CFaultSweeper sweeper(fused.data(), w, h, 2);
        sweeper.Apply(nullptr, 0.0f, k);
        CFaultSweeper portableSweeper(portable.data(), w, h, 2, false);
        portableSweeper.Apply(nullptr, 0.0f, k);
        ReferencePass(plain, w, h, nullptr, 0.0f, k);
        EXPECT_TRUE(SameBits(fused, plain));
        EXPECT_TRUE(SameBits(portable, plain));
    }
}

TEST(CFaultSweeper, RaisedSpanIsExactlyThePositiveSide)
{
    const FaultLine faults[] = {{3, 4, 5, 2}, {3, 4, -5, 2}, {3, 4, 5, -2}, {3, 4, 0, 7}, {3, 4, 7, 0}, {3, 4, -7, 0},
        {0, 0, 1, 1}, {30, 30, -30, -29}, {10, 2, 0, -9}};
    const int width = 31;
    for (const FaultLine& f : faults) {
        for (int y = -2; y < 35; ++y) {
            std::int32_t begin = -1;
            std::int32_t end = -1;
            CFaultSweeper::RaisedSpan(f, y, width, begin, end);
            for (int x = 0; x < width; ++x) {
                const bool raised = f.dy * (x - f.x1) - f.dx * (y - f.y1) > 0;
                EXPECT_EQ(raised, x >= begin && x < end) << "fault " << f.x1 << "," << f.y1 << " " << f.dx << ","
                                                         << f.dy << " at " << x << "," << y;
            }
        }
    }
}

// The whole fault-formation run against the plain form with the same draws.
TEST(CTerrainModelGeneration, GenerateFaultsMatchesPlainRun)
{
    const int n = 37;
    CTerrainModel model;
    ASSERT_EQ(model.AllocateGrid(n, n), 0);
    ASSERT_EQ(model.GenerateFaults(12345u), 0);
    EXPECT_EQ(model.m_faultIterations, 1000);

    std::vector<float> plain(static_cast<std::size_t>(n) * n, 0.0f);
    CRandom random(12345u);
    for (int i = 0; i < 1000; ++i) {
        const float raise = static_cast<float>(256.0 - (256.0 * i) / 1000);
        const FaultLine f = DrawFault(random, n, n);
        ReferencePass(plain, n, n, &f, raise, 0.4f);
    }
    float low = plain[0];
    float high = plain[0];
    for (const float v : plain) {
        if (v > high)
            high = v;
        else if (v < low)
            low = v;
    }
    const double range = static_cast<float>(static_cast<double>(high) - low);
    for (float& v : plain)
        v = static_cast<float>((static_cast<double>(v) - low) / range * 255.0);
    EXPECT_EQ(std::memcmp(model.m_grid, plain.data(), plain.size() * sizeof(float)), 0);
}

TEST(CTerrainModelGeneration, ProgressStopsTheRun)
{
    CTerrainModel model;
    ASSERT_EQ(model.AllocateGrid(20, 20), 0);
    int calls = 0;
    EXPECT_EQ(model.GenerateFaults(1u, [&](float fraction) {
        ++calls;
        EXPECT_GT(fraction, 0.0f);
        return calls < 10;
    }),
        -1);
    EXPECT_EQ(calls, 10);
}

TEST(CTerrainModelGeneration, TooSmallOrMissingGridIsRefused)
{
    CTerrainModel model;
    EXPECT_EQ(model.GenerateFaults(1u), -1);
    ASSERT_EQ(model.AllocateGrid(1, 1), 0); // two distinct points cannot be drawn
    EXPECT_EQ(model.GenerateFaults(1u), -1);
    EXPECT_EQ(model.AllocateGrid(0, 5), -1);
    EXPECT_EQ(model.m_grid, nullptr);
}

TEST(CTerrainModelGeneration, ErodeBand)
{
    CTerrainModel model;
    ASSERT_EQ(model.AllocateGrid(4, 3), 0);
    model.m_grid[0] = 0.0f;
    model.m_grid[1] = 10.0f;
    model.ErodeBand(0, 1, 2, 0.4f);
    EXPECT_FLOAT_EQ(model.m_grid[1], 6.0f);
    model.ErodeBand(1, 1, 1, 0.4f); // count 1 changes nothing
    EXPECT_FLOAT_EQ(model.m_grid[1], 6.0f);

    // A column walked upwards with a negative stride; the first sample stays.
    model.m_grid[8] = 100.0f;
    model.m_grid[4] = 0.0f;
    model.m_grid[0] = 0.0f;
    model.ErodeBand(8, -4, 3, 0.4f);
    EXPECT_FLOAT_EQ(model.m_grid[8], 100.0f);
    EXPECT_FLOAT_EQ(model.m_grid[4], 40.0f);
    EXPECT_FLOAT_EQ(model.m_grid[0], 16.0f);

    // Lines that would leave the grid are ignored.
    model.ErodeBand(10, 1, 5, 0.4f);
    model.ErodeBand(0, -1, 2, 0.4f);
}

TEST(CTerrainModelGeneration, ErodeFieldIsOnePlainSmoothingPass)
{
    CTerrainModel model;
    const int w = 21;
    const int h = 34;
    ASSERT_EQ(model.AllocateGrid(w, h), 0);
    std::vector<float> plain(static_cast<std::size_t>(w) * h);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = model.m_grid[i] = static_cast<float>(i % 13) * 3.5f;
    model.ErodeField(model.m_grid, 0.4f);
    ReferencePass(plain, w, h, nullptr, 0.0f, 0.4f);
    EXPECT_EQ(std::memcmp(model.m_grid, plain.data(), plain.size() * sizeof(float)), 0);
}

TEST(CRandom, ClassicSequence)
{
    // The C standard's example generator seeded with 1.
    CRandom random(1);
    const std::int32_t expected[] = {16838, 5758, 10113, 17515, 31051};
    for (const std::int32_t value : expected)
        EXPECT_EQ(random.Next(), value);
    for (int i = 0; i < 10000; ++i) {
        const std::int32_t v = random.Next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, CRandom::kMax);
    }
}
