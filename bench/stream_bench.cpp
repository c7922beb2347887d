// stream_bench: flies a terrain straight from a large file. It first makes
// the file (unless --file names one that exists): a generated 2049 x 2049
// fault terrain upsampled by GDAL (bilinear) to --size samples a side, as a
// 16-bit cloud-optimised GeoTIFF (512-sample tiles, DEFLATE, overviews) in a
// child process, so that its memory is not counted. Then, headless through
// EGL at 556 x 390, it opens the file, reads the overview map, builds the
// first landscape and flies the guided tour (--seconds of simulated time at
// 30 frames a second, --speed km/h), paging on the flying thread. Last it
// times paging runs over the same 4096 windows from the file and from the
// same samples held whole in memory (the classic folder's way), after the
// peak memory of the flight has been taken. Prints `name: value` lines:
//   make_file_s            time to make the file (0 when it existed)
//   overview_ms            overview map read from the coarsest overview
//   first_frame_ms         opening to the first frame presented
//   flight_frames, flight_paging_runs
//   flight_peak_rss_mb     peak resident memory up to the end of the flight
//   paging_file_median_ms  a paging run's build from the file (median of 5)
//   paging_memory_median_ms the same windows from memory (median of 5)
//   paging_ratio           file / memory
//   window_read_file_median_ms, window_read_memory_median_ms: the cut alone
// Options: --size N (65537), --seconds S (60), --speed KMH (1000),
// --file PATH (made when missing, then kept and reused; by default
// stream_<size>.tif in the working folder), --textures DIR (Textures).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QGuiApplication>

#include <gdal.h>
#include <gdal_utils.h>

#include "flight/CHeadlessFlight.h"
#include "flight/CTerrainPager.h"
#include "flight/CTourPilot.h"
#include "landscape/CLandscape.h"
#include "render/CCamera.h"
#include "render/DeviceSetup.h"
#include "render/Overlay.h"
#include "render/gl/CEglContext.h"
#include "render/gl/Direct3D.h"
#include "terrain/CBitmapEx.h"
#include "terrain/CFolderTerrainSource.h"
#include "terrain/CGdal.h"
#include "terrain/CGdalTerrainSource.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainModel.h"
#include "terrain/CWindowPainter.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

double PeakRssMb()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The generated terrain upsampled to size x size into `path`. 0 or -1.
int MakeFile(const std::string& path, int size)
{
    constexpr int kBase = 2049;
    CTerrainModel model;
    if (model.AllocateGrid(kBase, kBase) != 0 || model.GenerateFaults(7) != 0)
        return -1;
    CGdal::Initialise();
    GDALDatasetH memory = GDALCreate(GDALGetDriverByName("MEM"), "", kBase, kBase, 1, GDT_UInt16, nullptr);
    std::vector<std::uint16_t> codes(static_cast<std::size_t>(kBase) * kBase);
    for (std::size_t i = 0; i < codes.size(); ++i)
        codes[i] = CHeightmap16File::Code(model.m_grid[i]);
    if (GDALRasterIO(GDALGetRasterBand(memory, 1), GF_Write, 0, 0, kBase, kBase, codes.data(), kBase, kBase,
                     GDT_UInt16, 0, 0) != CE_None) {
        GDALClose(memory);
        return -1;
    }
    // 10 m samples at the final size, on a UTM grid.
    const double spacing = 10.0 * (size - 1) / (kBase - 1);
    double transform[6] = {400000.0, spacing, 0.0, 4700000.0, 0.0, -spacing};
    GDALSetGeoTransform(memory, transform);
    GDALSetMetadataItem(memory, CHeightmap16File::kScaleItem, "0.0097", nullptr);
    const std::string sizeText = std::to_string(size);
    const char* arguments[] = {"-of", "COG", "-outsize", sizeText.c_str(), sizeText.c_str(), "-r", "bilinear",
                               "-co", "COMPRESS=DEFLATE", "-co", "PREDICTOR=2", "-co", "BIGTIFF=YES",
                               "-co", "NUM_THREADS=2", nullptr};
    GDALTranslateOptions* options = GDALTranslateOptionsNew(const_cast<char**>(arguments), nullptr);
    GDALDatasetH out = GDALTranslate(path.c_str(), memory, options, nullptr);
    GDALTranslateOptionsFree(options);
    GDALClose(memory);
    if (out == nullptr)
        return -1;
    GDALClose(out);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    int size = 65537;
    double seconds = 60.0;
    float speed = 1000.0f;
    std::string file;
    std::string textures = "Textures";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--size") == 0)
            size = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::atof(argv[i + 1]);
        else if (std::strcmp(argv[i], "--speed") == 0)
            speed = static_cast<float>(std::atof(argv[i + 1]));
        else if (std::strcmp(argv[i], "--file") == 0)
            file = argv[i + 1];
        else if (std::strcmp(argv[i], "--textures") == 0)
            textures = argv[i + 1];
    }
    if (size < 8193) {
        std::fprintf(stderr, "stream_bench: --size must be at least 8193\n");
        return 2;
    }
    if (file.empty())
        file = "stream_" + std::to_string(size) + ".tif";
    struct stat info {};
    double makeSeconds = 0.0;
    if (::stat(file.c_str(), &info) != 0) {
        // Made under a passing name and renamed when whole, so that an
        // interrupted run never leaves a truncated file to be reused.
        const std::string partial = file + ".part" + std::to_string(::getpid());
        const Clock::time_point t = Clock::now();
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(MakeFile(partial, size) == 0 ? 0 : 1);
        int status = 1;
        if (child > 0)
            ::waitpid(child, &status, 0);
        if (child < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
            std::rename(partial.c_str(), file.c_str()) != 0) {
            std::remove(partial.c_str());
            std::fprintf(stderr, "stream_bench: cannot make %s\n", file.c_str());
            return 1;
        }
        makeSeconds = Ms(t) / 1000.0;
    }
    std::printf("make_file_s: %.1f\n", makeSeconds);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    CEglContext context;
    IDevice* device = nullptr;
    InitDirect3D(&context, 556, 390, &device);
    if (device == nullptr) {
        std::fprintf(stderr, "stream_bench: no headless OpenGL 3.3 context\n");
        return 1;
    }
    CCamera camera;
    camera.SetDevice(device);
    camera.SetupProjection();
    CreateOverlayFont(device);
    SetupRenderState(device);

    const Clock::time_point opened = Clock::now();
    CGdalTerrainSource source;
    if (source.Open({file}) != 0) {
        std::fprintf(stderr, "stream_bench: %s\n", source.Message().c_str());
        return 1;
    }
    {
        const Clock::time_point t = Clock::now();
        std::vector<std::int32_t> overview;
        std::int32_t w = 0, h = 0;
        source.ReadReduced(256, &overview, &w, &h);
        std::printf("overview_ms: %.0f\n", Ms(t));
    }
    CWindowPainter painter;
    painter.LoadTiles(textures);
    CTerrainPager pager(device, source, &painter);
    CHeadlessFlight::Settings settings;
    settings.fps = 30;
    settings.frames = static_cast<int>(seconds * settings.fps);
    settings.speedKmh = speed;
    settings.overlay = false;
    const float speedPerSecond = speed * 1000.0f / 3600.0f;
    const std::int32_t margin = pager.Window().margin;
    settings.steering = [pilot = std::make_shared<CTourPilot>(), &source, margin,
                         speedPerSecond](const CameraSnapshot& c, double, double step) {
        return pilot->Steer(c.position.x, c.position.z, c.look.x, c.look.z, source.Width(), source.Height(), margin,
                            static_cast<float>(step), speedPerSecond);
    };
    CHeadlessFlight flight(device, pager, true, camera);
    double firstFrame = -1.0;
    const int flown = flight.Fly(settings, [&](int) {
        if (firstFrame < 0.0)
            firstFrame = Ms(opened);
        return 0;
    });
    if (flown != 0) {
        std::fprintf(stderr, "stream_bench: the flight failed\n");
        return 1;
    }
    std::printf("first_frame_ms: %.0f\n", firstFrame);
    std::printf("flight_frames: %d\n", settings.frames);
    std::printf("flight_paging_runs: %d\n", flight.PagingRuns());
    std::printf("flight_peak_rss_mb: %.0f\n", PeakRssMb());
    std::fflush(stdout);

    // The same 4096 windows, from the file and from memory (the samples of
    // the terrain's first 8193 x 8193, as the classic folder holds them).
    CTerrainModel model;
    CBitmapEx texture;
    std::vector<std::int32_t> whole(static_cast<std::size_t>(8193) * 8193);
    std::int32_t w = 8193, h = 8193;
    source.ReadWindow(0, 0, &w, &h, whole.data());
    model.m_image.CreateBlank(8193, 8193);
    model.m_gridWidth = model.m_gridHeight = 8193;
    model.m_heights16.assign(whole.begin(), whole.end());
    model.m_heightScale16 = source.HeightScale();
    whole = std::vector<std::int32_t>();
    texture.CreateBlank(8193, 8193);
    CFolderTerrainSource memory(model, &texture);
    CTerrainPager memoryPager(device, memory, nullptr);
    std::vector<double> fromFile;
    std::vector<double> fromMemory;
    std::vector<double> readFile;
    std::vector<double> readMemory;
    std::vector<std::int32_t> window(static_cast<std::size_t>(4096) * 4096);
    for (const std::int32_t origin : {0, 1024, 2048, 3072, 4096}) {
        for (ITerrainSource* s : {static_cast<ITerrainSource*>(&source), static_cast<ITerrainSource*>(&memory)}) {
            std::int32_t ww = 4096, wh = 4096;
            const Clock::time_point t = Clock::now();
            s->ReadWindow(4096 - origin, origin, &ww, &wh, window.data());
            (s == &source ? readFile : readMemory).push_back(Ms(t));
        }
        for (CTerrainPager* p : {&pager, &memoryPager}) {
            const Clock::time_point t = Clock::now();
            CTerrainPager::Page page = p->BuildAt(origin, 4096 - origin, true);
            if (page.landscape)
                page.landscape->Destroy();
            (p == &pager ? fromFile : fromMemory).push_back(Ms(t));
        }
    }
    const double fileMedian = Median(fromFile);
    const double memoryMedian = Median(fromMemory);
    std::printf("paging_file_median_ms: %.0f\n", fileMedian);
    std::printf("paging_memory_median_ms: %.0f\n", memoryMedian);
    std::printf("paging_ratio: %.2f\n", memoryMedian > 0.0 ? fileMedian / memoryMedian : 0.0);
    std::printf("window_read_file_median_ms: %.0f\n", Median(readFile));
    std::printf("window_read_memory_median_ms: %.0f\n", Median(readMemory));
    device->DetachRenderThread();
    ReleaseDirect3D();
    return 0;
}
