// Speed of the ROAM landscape: Initialise over a 4096 x 4096 window of
// generated rugged terrain, then a 600-frame flight at 1000 km/h with turns,
// frames 16 ms apart, on a recording device with its log switched off. The
// same flight (fewer frames) runs with the fully re-sorting baseline.
// Prints `name: value` lines.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "bench/roam_bench_baseline.h"
#include "landscape/CLandscape.h"
#include "render/CCamera.h"
#include "render/Angles.h"
#include "render/Units.h"
#include "tests/support/CRecordingDevice.h"

namespace {

constexpr int kWindow = 4096;
constexpr int kFrames = 600;
constexpr int kBaselineFrames = 40;
// Set ROAM_BENCH_NO_BASELINE=1 to skip the baseline flight, and
// ROAM_BENCH_NO_WORKER=1 to keep every pass on the calling thread.
constexpr float kFrameSeconds = 0.016f;
constexpr float kSpeedPerSecond = KmhToUnitsPerSecond(1000.0);

struct Rng {
    std::uint64_t state;
    std::uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<std::uint32_t>(state >> 32);
    }
    float Symmetric() { return (Next() / 4294967296.0f) * 2.0f - 1.0f; } // [-1, 1)
};

// Diamond-square fractal terrain on (2^k + 1)^2 points, cut to size x size
// and scaled to grey levels 0..255.
std::vector<std::int32_t> GenerateTerrain(int size, std::uint64_t seed, float roughness)
{
    int n = 2;
    while (n + 1 < size + 1) {
        n *= 2;
    }
    const int dim = n + 1;
    std::vector<float> g(static_cast<std::size_t>(dim) * dim, 0.0f);
    auto at = [&](int x, int y) -> float& { return g[static_cast<std::size_t>(y) * dim + x]; };
    Rng rng{seed * 2654435761u + 88172645463325252ull};
    float amplitude = 1.0f;
    at(0, 0) = rng.Symmetric();
    at(n, 0) = rng.Symmetric();
    at(0, n) = rng.Symmetric();
    at(n, n) = rng.Symmetric();
    for (int step = n; step > 1; step /= 2) {
        const int half = step / 2;
        for (int y = half; y < dim; y += step) {
            for (int x = half; x < dim; x += step) {
                at(x, y) = (at(x - half, y - half) + at(x + half, y - half) +
                            at(x - half, y + half) + at(x + half, y + half)) * 0.25f +
                           rng.Symmetric() * amplitude;
            }
        }
        for (int y = 0; y < dim; y += half) {
            for (int x = (y / half) % 2 == 0 ? half : 0; x < dim; x += step) {
                float sum = 0.0f;
                int count = 0;
                if (x >= half) { sum += at(x - half, y); ++count; }
                if (x + half < dim) { sum += at(x + half, y); ++count; }
                if (y >= half) { sum += at(x, y - half); ++count; }
                if (y + half < dim) { sum += at(x, y + half); ++count; }
                at(x, y) = sum / count + rng.Symmetric() * amplitude;
            }
        }
        amplitude *= roughness;
    }
    float lo = at(0, 0), hi = at(0, 0);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            lo = std::min(lo, at(x, y));
            hi = std::max(hi, at(x, y));
        }
    }
    std::vector<std::int32_t> out(static_cast<std::size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            out[static_cast<std::size_t>(y) * size + x] =
                static_cast<std::int32_t>(std::lround((at(x, y) - lo) / (hi - lo) * 255.0f));
        }
    }
    return out;
}

// CPU time of this thread, milliseconds: unlike wall time it does not count
// the time other processes on this shared machine take the core away.
double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// CPU time of the whole process (the landscape's helper thread included).
double ProcessCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

double Ms(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Quantile(std::vector<double> v, double q)
{
    if (v.empty()) {
        return 0.0;
    }
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, static_cast<std::size_t>(q * (v.size() - 1) + 0.5));
    return v[i];
}

struct FlightResult {
    double initialiseSeconds = 0;
    double firstFrameMs = 0;
    int firstFrameLeaves = 0;
    bool firstFrameHitBudget = false;
    std::vector<double> updateMs;   // frames after the first, wall time
    std::vector<double> updateCpuMs; // the same, this thread's CPU time
    std::vector<double> updateProcessCpuMs; // the same, all threads' CPU time
    std::vector<double> steps;      // split + merge steps
    std::vector<double> splits;
    std::vector<double> merges;
    std::vector<double> leaves;
    std::vector<double> triangles;
};

// The flight: straight for 100 frames, then 100 frames turning right by 5
// degrees every 5 frames, and so on.
void Steer(CCamera& camera, int frame)
{
    if ((frame / 100) % 2 == 1 && frame % 5 == 0) {
        camera.Turn(kTurnStep);
    }
}

template <class UpdateFn>
FlightResult Fly(const std::vector<std::int32_t>& heights, int frames, UpdateFn update)
{
    FlightResult r;
    CRecordingDevice device(800, 600);
    device.SetRecording(false);
    CCamera camera;
    camera.SetDevice(&device);
    camera.SetupProjection();

    CLandscape landscape;
    landscape.m_device = &device;
    landscape.m_minError = 0.05f;
    landscape.m_maxRenderTime = 200;
    landscape.m_useWorker = std::getenv("ROAM_BENCH_NO_WORKER") == nullptr;
    landscape.SetHeightWindow(kWindow, heights.data(), kWindow);
    const auto i0 = std::chrono::steady_clock::now();
    if (landscape.Initialise() != 0) {
        std::fprintf(stderr, "Initialise failed\n");
        return r;
    }
    r.initialiseSeconds = Ms(std::chrono::steady_clock::now() - i0) / 1000.0;

    const int half = kWindow / 2;
    camera.SetPosition(D3DXVECTOR3(float(half),
                                   landscape.Sample(half, half) * landscape.m_heightScale + 200.0f,
                                   float(half)));
    for (int f = 0; f < frames; ++f) {
        camera.Apply();
        const double c = ThreadCpuMs();
        const double pc = ProcessCpuMs();
        const auto t = std::chrono::steady_clock::now();
        update(landscape);
        const double ms = Ms(std::chrono::steady_clock::now() - t);
        const double cpuMs = ThreadCpuMs() - c;
        const double processCpuMs = ProcessCpuMs() - pc;
        if (f == 0) {
            r.firstFrameMs = ms;
            r.firstFrameLeaves = landscape.m_splitCount;
            r.firstFrameHitBudget = landscape.m_hitBudget;
        } else {
            r.updateMs.push_back(ms);
            r.updateCpuMs.push_back(cpuMs);
            r.updateProcessCpuMs.push_back(processCpuMs);
            r.steps.push_back(landscape.m_splitSteps + landscape.m_mergeSteps);
            r.splits.push_back(landscape.m_splitSteps);
            r.merges.push_back(landscape.m_mergeSteps);
            r.leaves.push_back(landscape.m_splitCount);
            r.triangles.push_back(landscape.m_trianglesRendered);
        }
        Steer(camera, f);
        camera.Advance(kSpeedPerSecond * kFrameSeconds);
    }
    landscape.Destroy();
    return r;
}

} // namespace

int main()
{
    const auto g0 = std::chrono::steady_clock::now();
    const std::vector<std::int32_t> heights = GenerateTerrain(kWindow, 7, 0.6f);
    std::printf("terrain_generation_s: %.3f\n", Ms(std::chrono::steady_clock::now() - g0) / 1000.0);

    const FlightResult fast = Fly(heights, kFrames, [](CLandscape& l) { return l.Update(); });
    std::printf("initialise_s: %.3f\n", fast.initialiseSeconds);
    std::printf("first_frame_ms: %.2f\n", fast.firstFrameMs);
    std::printf("first_frame_leaves: %d\n", fast.firstFrameLeaves);
    std::printf("first_frame_hit_budget: %d\n", fast.firstFrameHitBudget ? 1 : 0);
    const double median = Quantile(fast.updateMs, 0.5);
    std::printf("update_median_ms: %.3f\n", median);
    std::printf("update_p95_ms: %.3f\n", Quantile(fast.updateMs, 0.95));
    std::printf("update_cpu_median_ms: %.3f\n", Quantile(fast.updateCpuMs, 0.5));
    std::printf("update_process_cpu_median_ms: %.3f\n", Quantile(fast.updateProcessCpuMs, 0.5));
    std::printf("steps_per_frame_median: %.0f\n", Quantile(fast.steps, 0.5));
    std::printf("steps_per_frame_p95: %.0f\n", Quantile(fast.steps, 0.95));
    std::printf("split_steps_median: %.0f\n", Quantile(fast.splits, 0.5));
    std::printf("merge_steps_median: %.0f\n", Quantile(fast.merges, 0.5));
    std::printf("leaves_median: %.0f\n", Quantile(fast.leaves, 0.5));
    std::printf("triangles_written_median: %.0f\n", Quantile(fast.triangles, 0.5));

    if (std::getenv("ROAM_BENCH_NO_BASELINE")) {
        return 0;
    }
    const FlightResult slow = Fly(heights, kBaselineFrames, BaselineUpdate);
    const double baseline = Quantile(slow.updateMs, 0.5);
    std::printf("baseline_frames: %d\n", kBaselineFrames);
    std::printf("baseline_update_median_ms: %.3f\n", baseline);
    std::printf("baseline_update_cpu_median_ms: %.3f\n", Quantile(slow.updateCpuMs, 0.5));
    std::printf("baseline_leaves_median: %.0f\n", Quantile(slow.leaves, 0.5));
    std::printf("speedup_vs_baseline: %.1f\n", median > 0 ? baseline / median : 0.0);
    return 0;
}
