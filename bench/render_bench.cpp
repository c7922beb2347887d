// Frame time of the renderer, headless (surfaceless EGL, Mesa's software
// rasteriser here): a 4096 x 4096 window of seeded terrain at the default
// ROAM parameters, render area 556 x 390, each frame being camera, clear,
// axes, landscape update and draw, the statistics overlay and present. Then
// a paging-like thread cuts a new 4096 x 4096 page texture while frames go
// on and hands it to the landscape; the worst frame from the texture's
// creation to a few frames after it is first drawn, less the median, is the
// stall its arrival causes (once after the time a landscape build takes, as
// paging brings it, and once handed over as soon as it is filled). Last, the
// shimmer: the mean pixel difference over the far half of two still frames
// whose cameras stand 0.25 units apart, and the popping of a scripted
// 600-frame flight (PopMeter), and the detail near the ground: the
// high-frequency energy (mean distance of a pixel's luminance from the mean
// of the 3 x 3 pixels around it) of the lower third of a still frame 20
// units above the ground. The time to build a page (its texture, under the
// enhanced look its light map, and the landscape) is taken once per look,
// the light map's share on its own. All of it once per look, classic
// first, the enhanced figures with the suffix _enhanced. Prints `name:
// value` lines.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include <QGuiApplication>

#include "flight/CFlightFrame.h"
#include "flight/CPageBuilder.h"
#include "flight/DetailTiles.h"
#include "flight/LightMapTexture.h"
#include "flight/PageTexture.h"
#include "landscape/CGeomorph.h"
#include "landscape/CLandscape.h"
#include "landscape/LandscapeVertex.h"
#include "render/CCamera.h"
#include "render/DeviceSetup.h"
#include "render/Look.h"
#include "render/Overlay.h"
#include "render/gl/CEglContext.h"
#include "render/gl/CGLDevice.h"
#include "render/gl/Direct3D.h"
#include "terrain/CBitmapEx.h"
#include "terrain/CTerrainModel.h"
#include "terrain/TerrainFiles.h"

namespace {

constexpr int kWindow = 4096;
constexpr int kWidth = 556;
constexpr int kHeight = 390;
constexpr int kWarmUpFrames = 10;
constexpr int kFrames = 120;
constexpr int kFramesAfterSwap = 10;
constexpr int kBuildMilliseconds = 1500;
constexpr int kSettleFrames = 12;      // frames the mesh (and its morphs) get to settle for a still camera
constexpr float kShimmerStep = 0.25f;  // world units between the two shimmer cameras
constexpr int kPopFrames = 600;        // frames of the popping flight
constexpr float kPopStep = 0.5f;       // its forward move per frame, world units
constexpr float kPopTurn = 0.002f;     // and its turn per frame, radians

double Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Smooth value noise in octaves, seeded, as grey levels 0..255.
std::vector<std::int32_t> GenerateHeights(int size, std::uint32_t seed)
{
    const auto lattice = [seed](int x, int y) {
        std::uint32_t h = seed ^ (static_cast<std::uint32_t>(x) * 0x8DA6B343u) ^
                          (static_cast<std::uint32_t>(y) * 0xD8163841u);
        h ^= h >> 13;
        h *= 0x85EBCA6Bu;
        h ^= h >> 16;
        return (h & 0xFFFF) / 65535.0f;
    };
    const auto smooth = [](float t) { return t * t * (3.0f - 2.0f * t); };
    std::vector<float> sum(static_cast<std::size_t>(size) * size, 0.0f);
    float amplitude = 1.0f, total = 0.0f;
    for (int cell = 512; cell >= 8; cell /= 2, amplitude *= 0.5f) {
        total += amplitude;
        for (int y = 0; y < size; ++y) {
            const int cy = y / cell;
            const float ty = smooth(static_cast<float>(y % cell) / cell);
            for (int x = 0; x < size; ++x) {
                const int cx = x / cell;
                const float tx = smooth(static_cast<float>(x % cell) / cell);
                const float top = lattice(cx, cy) + (lattice(cx + 1, cy) - lattice(cx, cy)) * tx;
                const float bottom = lattice(cx, cy + 1) + (lattice(cx + 1, cy + 1) - lattice(cx, cy + 1)) * tx;
                sum[static_cast<std::size_t>(y) * size + x] += amplitude * (top + (bottom - top) * ty);
            }
        }
    }
    std::vector<std::int32_t> heights(sum.size());
    for (std::size_t i = 0; i < sum.size(); ++i)
        heights[i] = std::clamp(static_cast<int>(sum[i] / total * 255.0f), 0, 255);
    return heights;
}

// A colour raster over the heights: water, grass, rock and snow bands.
void PaintColours(const std::vector<std::int32_t>& heights, int size, CBitmapEx* raster)
{
    raster->CreateBlank(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int h = heights[static_cast<std::size_t>(y) * size + x];
            const std::uint32_t c = h < 70 ? 0x1E3CA0 : h < 120 ? 0x468C32 : h < 170 ? 0x786E3C : 0xE6E6E6;
            raster->WritePixel(x, y, c);
        }
}

std::unique_ptr<CLandscape> BuildLandscape(IDevice* device, const std::vector<std::int32_t>& heights,
                                           const CBitmapEx& colours)
{
    auto landscape = CPageBuilder::BuildPage(device, &colours, 0, 0, 0.0f, CTerrainModel::kClassicHeightScale, heights.data(), kWindow, kWindow);
    landscape->m_minError = 0.05f;
    landscape->m_maxRenderTime = 200;
    return landscape;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The largest on-screen jump of any drawn vertex between consecutive frames,
// beyond what the camera's own motion explains: both positions of a vertex
// are projected with the later frame's camera. A vertex that a split adds
// is compared with the middle of the edge it lay on in the frame before,
// and one that a merge removes with the middle of the edge it then lies on.
// Only vertices inside the picture in both positions count.
class PopMeter {
public:
    void Add(const LandscapeVertex* v, std::size_t vertexCount, const D3DXMATRIX& view, const D3DXMATRIX& projection)
    {
        const glm::mat4 viewProj = projection * view;
        std::unordered_map<std::uint64_t, float> vertices, middles;
        vertices.reserve(vertexCount);
        middles.reserve(vertexCount);
        for (std::size_t t = 0; t + 2 < vertexCount; t += 3) {
            for (int k = 0; k < 3; ++k) {
                const LandscapeVertex& a = v[t + k];
                const LandscapeVertex& b = v[t + (k + 1) % 3];
                vertices[Key(a.x, a.z)] = a.y;
                const auto sx = static_cast<std::int64_t>(a.x) + static_cast<std::int64_t>(b.x);
                const auto sz = static_cast<std::int64_t>(a.z) + static_cast<std::int64_t>(b.z);
                if (sx % 2 == 0 && sz % 2 == 0)
                    middles[Key(sx / 2, sz / 2)] = 0.5f * (a.y + b.y);
            }
        }
        if (m_started) {
            for (const auto& [key, y] : vertices) {
                if (const auto kept = m_vertices.find(key); kept != m_vertices.end())
                    Jump(viewProj, key, kept->second, y);
                else if (const auto added = m_middles.find(key); added != m_middles.end())
                    Jump(viewProj, key, added->second, y);
            }
            for (const auto& [key, y] : m_vertices) {
                if (vertices.count(key) != 0)
                    continue;
                const auto now = middles.find(key);
                if (now != middles.end())
                    Jump(viewProj, key, y, now->second);
            }
        }
        m_vertices = std::move(vertices);
        m_middles = std::move(middles);
        m_started = true;
    }
    double Max() const { return m_max; }

private:
    static std::uint64_t Key(double x, double z)
    {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(static_cast<std::int32_t>(x))) << 32 |
               static_cast<std::uint32_t>(static_cast<std::int32_t>(z));
    }
    static bool Pixel(const glm::mat4& viewProj, float x, float y, float z, glm::vec2* pixel)
    {
        const glm::vec4 clip = viewProj * glm::vec4(x, y, z, 1.0f);
        if (clip.w <= 1.0f)
            return false;
        const glm::vec2 ndc(clip.x / clip.w, clip.y / clip.w);
        if (std::abs(ndc.x) > 1.0f || std::abs(ndc.y) > 1.0f)
            return false;
        *pixel = glm::vec2((ndc.x + 1.0f) * 0.5f * kWidth, (1.0f - ndc.y) * 0.5f * kHeight);
        return true;
    }
    void Jump(const glm::mat4& viewProj, std::uint64_t key, float before, float after)
    {
        const float x = static_cast<float>(static_cast<std::int32_t>(key >> 32));
        const float z = static_cast<float>(static_cast<std::int32_t>(key & 0xFFFFFFFFu));
        glm::vec2 a, b;
        if (Pixel(viewProj, x, before, z, &a) && Pixel(viewProj, x, after, z, &b))
            m_max = std::max(m_max, static_cast<double>(glm::length(a - b)));
    }

    std::unordered_map<std::uint64_t, float> m_vertices, m_middles; // of the frame before
    bool m_started = false;
    double m_max = 0.0;
};

struct Figures {
    double median = 0, roamMedian = 0, drawMedian = 0, worst = 0, worstAtOnce = 0, shimmer = 0, pop = 0;
    double build = 0, lightMap = 0, detail = 0;
    int triangles = 0;
};

// The mean distance of a pixel's luminance from the mean of the 3 x 3
// pixels around it, over rows first..end - 1 of a kWidth-wide frame.
double HighFrequency(const std::vector<std::uint32_t>& pixels, int first, int end)
{
    const auto luminance = [&](int x, int y) {
        const std::uint32_t c = pixels[static_cast<std::size_t>(y) * kWidth + x];
        return 0.299 * ((c >> 16) & 0xFF) + 0.587 * ((c >> 8) & 0xFF) + 0.114 * (c & 0xFF);
    };
    double sum = 0.0;
    int count = 0;
    for (int y = std::max(first, 1); y < std::min(end, kHeight - 1); ++y)
        for (int x = 1; x < kWidth - 1; ++x, ++count) {
            double mean = 0.0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    mean += luminance(x + dx, y + dy);
            sum += std::abs(luminance(x, y) - mean / 9.0);
        }
    return count > 0 ? sum / count : 0.0;
}

// Frame times, texture arrival and shimmer under one look, on a landscape of
// its own (its page texture made under that look).
Figures RunLook(IDevice* device, CCamera& camera, Look look, const std::vector<std::int32_t>& heights,
                const CBitmapEx& colours)
{
    device->SetLook(look);
    // Run from data/: the tiles of Textures/ for the enhanced look's detail.
    SetupDetail(device, TerrainFiles::kTilesFolder, CTerrainModel{});
    std::mutex landscapeLock;
    const auto buildStart = std::chrono::steady_clock::now();
    std::unique_ptr<CLandscape> landscape = BuildLandscape(device, heights, colours);
    const double build = Milliseconds(std::chrono::steady_clock::now() - buildStart);
    double lightMapTime = 0.0;
    if (look == Look::Enhanced) {
        const auto start = std::chrono::steady_clock::now();
        ITexture* lightMap =
            CreateLightMapTexture(device, heights.data(), kWindow, kWindow, CTerrainModel::kClassicHeightScale);
        lightMapTime = Milliseconds(std::chrono::steady_clock::now() - start);
        if (lightMap != nullptr)
            lightMap->Release();
    }
    camera.SetPosition(CPageBuilder::StartPosition(*landscape, kWindow, kWindow));
    SetupRenderState(device);

    std::vector<double> roamTimes, drawTimes; // the landscape's own timings, milliseconds
    FrameStatus status;
    status.speedKmh = 100.0f;
    status.fps = 40;
    const auto frame = [&]() {
        const auto start = std::chrono::steady_clock::now();
        camera.Apply();
        CLandscape* shown = landscape.get();
        const FrameFigures figures = CFlightFrame::Draw(device, camera.Snapshot(), landscapeLock, shown, {},
                                                        [&status]() { return status; }, true);
        roamTimes.push_back(figures.roamTime);
        drawTimes.push_back(figures.drawTime);
        camera.Advance(0.5f); // 100 km/h at about 18 ms a frame
        return Milliseconds(std::chrono::steady_clock::now() - start);
    };

    for (int i = 0; i < kWarmUpFrames; ++i)
        frame();
    roamTimes.clear();
    drawTimes.clear();
    std::vector<double> times;
    for (int i = 0; i < kFrames; ++i)
        times.push_back(frame());
    const int triangles = landscape->m_trianglesRendered;
    const double median = Median(times);
    const double roamMedian = Median(roamTimes);
    const double drawMedian = Median(drawTimes);

    // Texture arrival as a paging run brings it: a paging-like thread cuts a
    // new 4096 x 4096 page texture, then (while the landscape would be
    // built) hands it over; the render thread puts it on the landscape at the
    // next frame. Then the worst case: a texture drawn as soon as it is
    // filled, before the render thread has copied it in slices.
    const auto arrive = [&](bool waitForBuild) {
        std::atomic<bool> handedOver{false};
        ITexture* arriving = nullptr;
        ITexture* arrivingLightMap = nullptr;
        std::thread paging([&]() {
            ITexture* texture = CreatePageTexture(device, colours, 0, 0, kWindow, kWindow);
            ITexture* lightMap = look == Look::Enhanced ? CreateLightMapTexture(device, heights.data(), kWindow, kWindow,
                                                                                 CTerrainModel::kClassicHeightScale)
                                                        : nullptr;
            // A paging run builds the landscape next, which takes seconds;
            // here it is stood for by a wait, so that what is measured is the
            // texture's doing and not the build's share of the processors.
            if (waitForBuild)
                std::this_thread::sleep_for(std::chrono::milliseconds(kBuildMilliseconds));
            std::lock_guard<std::mutex> lock(landscapeLock);
            arriving = texture;
            arrivingLightMap = lightMap;
            handedOver = true;
        });
        std::vector<double> arrival;
        bool swapped = false;
        int afterSwap = 0;
        while (afterSwap < kFramesAfterSwap) {
            if (!swapped && handedOver) {
                std::lock_guard<std::mutex> lock(landscapeLock);
                if (landscape->m_texture != nullptr)
                    landscape->m_texture->Release();
                landscape->m_texture = arriving;
                if (arrivingLightMap != nullptr) {
                    if (landscape->m_lightMap != nullptr)
                        landscape->m_lightMap->Release();
                    landscape->m_lightMap = arrivingLightMap;
                }
                swapped = true;
            }
            arrival.push_back(frame());
            afterSwap += swapped ? 1 : 0;
        }
        paging.join();
        return *std::max_element(arrival.begin(), arrival.end());
    };
    const double worst = arrive(true);
    const double worstAtOnce = arrive(false);

    // Shimmer: two still frames (no overlay) from cameras 0.25 units apart
    // sideways, each after the mesh has settled; the mean absolute
    // difference per channel over the top (far) half of the picture.
    const auto still = [&](const D3DXVECTOR3& eye) {
        camera.SetPosition(eye);
        for (int i = 0; i < kSettleFrames; ++i) {
            camera.Apply();
            CLandscape* shown = landscape.get();
            CFlightFrame::Draw(device, camera.Snapshot(), landscapeLock, shown, {}, {}, false);
        }
        std::vector<std::uint32_t> pixels;
        static_cast<CGLDevice*>(device)->ReadBackBuffer(&pixels);
        return pixels;
    };
    const CameraSnapshot at = camera.Snapshot();
    const std::vector<std::uint32_t> first = still(at.position);
    const std::vector<std::uint32_t> second = still(at.position + at.right * kShimmerStep);
    double difference = 0.0;
    const std::size_t farHalf = static_cast<std::size_t>(kWidth) * (kHeight / 2);
    for (std::size_t i = 0; i < farHalf && i < first.size() && i < second.size(); ++i)
        for (int shift : {0, 8, 16})
            difference += std::abs(static_cast<int>((first[i] >> shift) & 0xFF) -
                                   static_cast<int>((second[i] >> shift) & 0xFF));
    Figures figures;
    figures.median = median;
    figures.roamMedian = roamMedian;
    figures.drawMedian = drawMedian;
    figures.triangles = triangles;
    figures.worst = worst;
    figures.worstAtOnce = worstAtOnce;
    figures.shimmer = difference / (3.0 * static_cast<double>(farHalf));
    figures.build = build;
    figures.lightMap = lightMapTime;

    // Near the ground: 20 units above it at the start, looking ahead.
    {
        D3DXVECTOR3 low = CPageBuilder::StartPosition(*landscape, kWindow, kWindow);
        low.y -= 200.0f - 20.0f;
        const std::vector<std::uint32_t> near = still(low);
        figures.detail = HighFrequency(near, 2 * kHeight / 3, kHeight);
    }

    // Popping: a scripted flight of kPopFrames frames, forward and turning
    // gently, from the start position, once the mesh has settled there (the
    // jump to the start is no flight's doing).
    camera.SetPosition(CPageBuilder::StartPosition(*landscape, kWindow, kWindow));
    for (int i = 0; i < kSettleFrames; ++i) {
        camera.Apply();
        CLandscape* shown = landscape.get();
        CFlightFrame::Draw(device, camera.Snapshot(), landscapeLock, shown, {}, {}, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(CGeomorph::kMilliseconds / CGeomorph::kMinFrames));
    }
    PopMeter pops;
    for (int i = 0; i < kPopFrames; ++i) {
        camera.Apply();
        CLandscape* shown = landscape.get();
        CFlightFrame::Draw(device, camera.Snapshot(), landscapeLock, shown, {}, {}, false);
        D3DXMATRIX view, projection;
        device->GetTransform(D3DTS_VIEW, &view);
        device->GetTransform(D3DTS_PROJECTION, &projection);
        void* data = nullptr;
        if (landscape->m_vertexBuffer->Lock(&data) == 0) {
            pops.Add(static_cast<const LandscapeVertex*>(data), 3 * static_cast<std::size_t>(landscape->m_trianglesRendered),
                     view, projection);
            landscape->m_vertexBuffer->Unlock();
        }
        camera.Advance(kPopStep);
        camera.Turn(kPopTurn);
    }
    figures.pop = pops.Max();
    landscape->Destroy();
    return figures;
}


} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    CEglContext context;
    IDevice* device = nullptr;
    InitDirect3D(&context, kWidth, kHeight, &device);
    if (device == nullptr) {
        std::fprintf(stderr, "render_bench: no headless OpenGL 3.3 context\n");
        return 1;
    }
    CCamera camera;
    camera.SetDevice(device);
    camera.SetupProjection();
    CreateOverlayFont(device);

    const std::vector<std::int32_t> heights = GenerateHeights(kWindow, 7);
    CBitmapEx colours;
    PaintColours(heights, kWindow, &colours);
    const Figures classic = RunLook(device, camera, Look::Classic, heights, colours);
    const Figures enhanced = RunLook(device, camera, Look::Enhanced, heights, colours);

    std::printf("frame_median_ms: %.2f\n", classic.median);
    std::printf("frame_roam_median_ms: %.0f\n", classic.roamMedian);
    std::printf("frame_draw_median_ms: %.0f\n", classic.drawMedian);
    std::printf("frame_triangles: %d\n", classic.triangles);
    std::printf("texture_arrival_max_frame_ms: %.2f\n", classic.worst);
    std::printf("texture_arrival_max_stall_ms: %.2f\n", std::max(0.0, classic.worst - classic.median));
    std::printf("texture_drawn_at_once_max_stall_ms: %.2f\n", std::max(0.0, classic.worstAtOnce - classic.median));
    std::printf("shimmer: %.3f\n", classic.shimmer);
    std::printf("pop_max_px: %.2f\n", classic.pop);
    std::printf("frame_median_ms_enhanced: %.2f\n", enhanced.median);
    std::printf("frame_ratio_enhanced: %.3f\n", classic.median > 0.0 ? enhanced.median / classic.median : 0.0);
    std::printf("texture_arrival_max_stall_ms_enhanced: %.2f\n", std::max(0.0, enhanced.worst - enhanced.median));
    std::printf("texture_drawn_at_once_max_stall_ms_enhanced: %.2f\n",
                std::max(0.0, enhanced.worstAtOnce - enhanced.median));
    std::printf("shimmer_enhanced: %.3f\n", enhanced.shimmer);
    std::printf("pop_max_px_enhanced: %.2f\n", enhanced.pop);
    std::printf("shimmer_ratio_enhanced: %.3f\n", classic.shimmer > 0.0 ? enhanced.shimmer / classic.shimmer : 0.0);
    std::printf("near_ground_hf: %.3f\n", classic.detail);
    std::printf("near_ground_hf_enhanced: %.3f\n", enhanced.detail);
    std::printf("near_ground_hf_ratio_enhanced: %.3f\n", classic.detail > 0.0 ? enhanced.detail / classic.detail : 0.0);
    std::printf("page_build_ms: %.0f\n", classic.build);
    std::printf("page_build_ms_enhanced: %.0f\n", enhanced.build);
    std::printf("light_map_ms_enhanced: %.0f\n", enhanced.lightMap);

    device->DetachRenderThread();
    ReleaseDirect3D();
    return 0;
}
