// vantapeak-snapshot: renders still frames of a terrain folder with no
// display, through the real device (headless EGL) and landscape, and writes
// the last one as a PNG. Prints the statistics lines of that frame.
//
//   vantapeak-snapshot [--dir DIR] [--out FILE.png] [--camera X,Y,Z]
//                      [--heading DEGREES] [--min-error E]
//                      [--max-render-time MS] [--wireframe] [--frames N]
//                      [--no-overlay] [--size WxH] [--clearance M]
//                      [--look classic|enhanced]
//
// With --record OUT it records a flight instead: OUT.mp4 (H.264) or a folder
// of numbered PNG frames, flown as the program flies from its start, in
// simulated time (--seconds S at --fps F, --speed KMH, --turn DEG per
// second, --clearance M for terrain following). It prints record_fps, the
// frames rendered and written per second of wall time.
//
// --clearance M on a still lifts the camera to at least M above the ground.
//
// Without --camera the camera stands where the start command puts it: over
// the middle of the first window, 200 units above the ground, looking along
// +z; --heading turns it (degrees clockwise seen from above). With --camera
// the window is cut around the camera the way a paging run cuts it.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include "flight/CFlightFrame.h"
#include "flight/CHeadlessFlight.h"
#include "flight/CPageBuilder.h"
#include "flight/CTerrainPager.h"
#include "flight/CTerrainFollower.h"
#include "flight/CTourPilot.h"
#include "flight/DetailTiles.h"
#include "flight/PageTexture.h"
#include "landscape/CGeomorph.h"
#include "landscape/CLandscape.h"
#include "render/Angles.h"
#include "render/CCamera.h"
#include "render/DeviceSetup.h"
#include "render/Look.h"
#include "render/Overlay.h"
#include "render/Units.h"
#include "render/gl/CEglContext.h"
#include "render/gl/CGLDevice.h"
#include "render/gl/Direct3D.h"
#include "terrain/CBitmapEx.h"
#include "terrain/CFolderTerrainSource.h"
#include "terrain/CGdalTerrainSource.h"
#include "terrain/CTerrainModel.h"
#include "terrain/CTileCache.h"
#include "terrain/CWindowPainter.h"
#include "terrain/TerrainFiles.h"
#include "terrain/TickCount.h"
#include "tools/CFlightOptions.h"
#include "tools/COptionParser.h"
#include "tools/CPngSequence.h"
#include "tools/CVideoEncoder.h"

namespace {

struct Options {
    std::string dir = ".";
    std::string out = "snapshot.png";
    bool hasCamera = false;
    float camera[3] = {0, 0, 0};
    float heading = 0.0f;
    float minError = 0.05f;
    unsigned maxRenderTime = 200;
    bool wireframe = false;
    int frames = 10;
    bool overlay = true;
    int width = 556;
    int height = 390;
    // The recorded flight: OUT (empty: a still), its length and frame rate.
    std::string record;
    double seconds = 10.0;
    int fps = 30;
    // Speed, turn, guided flight, terrain following and look, as the window
    // program reads them; the speed and turn only steer a recording.
    CFlightOptions flight{CFlightOptions::Host::Snapshot};
};

// A number of the command line as float: finite, and finite as a float.
bool ReadFloat(const std::string& text, float* value)
{
    double v = 0.0;
    if (!COptionParser::ReadNumber(text, &v) || std::fabs(v) > std::numeric_limits<float>::max())
        return false;
    *value = static_cast<float>(v);
    return true;
}

// Reads the command line into `options`. Returns -1 when the program runs
// on, otherwise its exit status (help or version printed: 0; an error: 2).
int ParseArguments(int argc, char** argv, Options* options)
{
    COptionParser parser("vantapeak-snapshot", "[opciones]",
                         "Dibuja sin pantalla (EGL) fotogramas de la carpeta de un terreno con el paisaje ROAM\n"
                         "y guarda el último como PNG; escribe sus líneas de estadísticas.");
    parser.AddText("dir", "DIR", "carpeta del terreno (mapa de alturas y textura)", &options->dir);
    parser.AddText("out", "FICHERO.png", "imagen de salida", &options->out);
    parser.AddCustom("camera", "X,Y,Z", "posición de la cámara; la ventana se corta a su alrededor",
                     "centro de la primera ventana, 200 sobre el suelo", "tres números X,Y,Z",
                     [options](const std::string& text) {
                         const auto comma1 = text.find(',');
                         const auto comma2 =
                             comma1 == std::string::npos ? std::string::npos : text.find(',', comma1 + 1);
                         if (comma2 == std::string::npos || !ReadFloat(text.substr(0, comma1), &options->camera[0]) ||
                             !ReadFloat(text.substr(comma1 + 1, comma2 - comma1 - 1), &options->camera[1]) ||
                             !ReadFloat(text.substr(comma2 + 1), &options->camera[2]))
                             return false;
                         options->hasCamera = true;
                         return true;
                     });
    parser.AddCustom("heading", "GRADOS", "giro de la cámara, en grados a la derecha vista desde arriba", "0",
                     "un número", [options](const std::string& text) { return ReadFloat(text, &options->heading); });
    parser.AddCustom("min-error", "E", "error de distorsión mínimo del ROAM", "0.05", "un número desde 0",
                     [options](const std::string& text) {
                         float value = 0.0f;
                         if (!ReadFloat(text, &value) || value < 0.0f)
                             return false;
                         options->minError = value;
                         return true;
                     });
    long long maxRenderTime = options->maxRenderTime;
    parser.AddInteger("max-render-time", "MS", "tiempo máximo de render del ROAM, en milisegundos", 0, 600000,
                      &maxRenderTime);
    parser.AddFlag("wireframe", "dibuja la malla en lugar de la textura", &options->wireframe);
    long long frames = options->frames;
    parser.AddInteger("frames", "N", "fotogramas que se dibujan antes de guardar el último", 1, 100000, &frames);
    bool noOverlay = false;
    parser.AddFlag("no-overlay", "sin las líneas de estadísticas sobre la imagen", &noOverlay);
    parser.AddCustom("size", "ANCHOxALTO", "tamaño de la imagen en píxeles, cada lado de 1 a 8192", "556x390",
                     "ANCHOxALTO, p. ej. 556x390", [options](const std::string& text) {
                         long long w = 0, h = 0;
                         const auto x = text.find('x');
                         if (x == std::string::npos || !COptionParser::ReadInteger(text.substr(0, x), &w) ||
                             !COptionParser::ReadInteger(text.substr(x + 1), &h) || w < 1 || w > 8192 || h < 1 ||
                             h > 8192)
                             return false;
                         options->width = static_cast<int>(w);
                         options->height = static_cast<int>(h);
                         return true;
                     });
    parser.AddText("record", "SALIDA", "graba un vuelo en vez de una imagen: SALIDA.mp4 (H.264) o una carpeta "
                   "de fotogramas PNG numerados", &options->record, "ninguna");
    parser.AddCustom("seconds", "S", "con --record, segundos de vuelo", "10", "un número mayor que 0 y hasta 3600",
                     [options](const std::string& text) {
                         float value = 0.0f;
                         if (!ReadFloat(text, &value) || !(value > 0.0f) || value > 3600.0f)
                             return false;
                         options->seconds = value;
                         return true;
                     });
    long long fps = options->fps;
    parser.AddInteger("fps", "F", "con --record, fotogramas por segundo", 1, 240, &fps);
    options->flight.Declare(parser);
    const int status = parser.Handle(argc, argv);
    options->maxRenderTime = static_cast<unsigned>(maxRenderTime);
    options->frames = static_cast<int>(frames);
    options->fps = static_cast<int>(fps);
    if (noOverlay)
        options->overlay = false;
    return status;
}

std::string Path(const std::string& dir, const char* name) { return dir + "/" + name; }

bool EndsWithMp4(const std::string& path)
{
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    for (char& c : tail)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".mp4";
}

// Set by SIGINT and SIGTERM during a recording: the flight stops at its next
// frame and the partial output is removed, however many signals come.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int)
{
    g_interrupted.store(true);
}

void CatchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The video or the folder of frames a recording writes into.
class Recording {
public:
    explicit Recording(bool video) : m_video(video) {}
    int Open(const std::string& path, int width, int height, int fps, std::string* error)
    {
        return m_video ? m_encoder.Open(path, width, height, fps, error) : m_frames.Open(path, width, height, error);
    }
    int Write(const std::uint32_t* pixels, std::string* error)
    {
        return m_video ? m_encoder.Write(pixels, error) : m_frames.Write(pixels, error);
    }
    int Finish(std::string* error) { return m_video ? m_encoder.Finish(error) : m_frames.Finish(error); }

private:
    bool m_video;
    CVideoEncoder m_encoder;
    CPngSequence m_frames;
};

// The progress bar on standard error, redrawn in place.
void ShowProgress(int done, int total)
{
    constexpr int kWidth = 40;
    const int filled = total > 0 ? done * kWidth / total : kWidth;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i)
        bar[i] = i < filled ? '#' : '-';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\rGrabando [%s] %3d%% %d/%d", bar, total > 0 ? done * 100 / total : 100, done, total);
    if (done == total)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

// Records the flight of --record; the exit status.
int RecordFlight(const Options& options, CTerrainPager& pager, IDevice* device, CCamera& camera)
{
    const int frames = std::max(1, static_cast<int>(std::lround(options.seconds * options.fps)));
    Recording recording(EndsWithMp4(options.record));
    std::string error;
    // From here on a signal must not leave OUT.part behind.
    CatchInterrupts();
    // The output is opened before anything is rendered: an unwritable one
    // fails at once.
    if (recording.Open(options.record, options.width, options.height, options.fps, &error) != 0) {
        std::fprintf(stderr, "vantapeak-snapshot: %s\n", error.c_str());
        return 1;
    }
    CHeadlessFlight::Settings settings;
    settings.frames = frames;
    settings.fps = options.fps;
    settings.speedKmh = static_cast<float>(options.flight.speedKmh);
    settings.clearance = static_cast<float>(options.flight.clearance);
    settings.minError = options.minError;
    settings.maxRenderTime = options.maxRenderTime;
    settings.overlay = options.overlay;
    const float turnRate = DegreesToRadians(static_cast<float>(options.flight.turnDegreesPerSecond));
    if (options.flight.tour) {
        const std::int32_t mapWidth = pager.Source().Width();
        const std::int32_t mapHeight = pager.Source().Height();
        const std::int32_t margin = pager.Window().margin;
        const float speedPerSecond = KmhToUnitsPerSecond(settings.speedKmh);
        settings.steering = [pilot = std::make_shared<CTourPilot>(), mapWidth, mapHeight, margin,
                             speedPerSecond](const CameraSnapshot& camera, double, double stepSeconds) {
            return pilot->Steer(camera.position.x, camera.position.z, camera.look.x, camera.look.z, mapWidth,
                                mapHeight, margin, static_cast<float>(stepSeconds), speedPerSecond);
        };
    } else if (turnRate != 0.0f) {
        settings.steering = [turnRate](const CameraSnapshot&, double, double stepSeconds) {
            return static_cast<float>(turnRate * stepSeconds);
        };
    }

    auto* gl = static_cast<CGLDevice*>(device);
    std::vector<std::uint32_t> pixels;
    const std::uint32_t start = TickCount();
    CHeadlessFlight flight(device, pager, !options.wireframe, camera);
    const std::string interrupted = "grabación interrumpida; no se ha escrito " + options.record;
    const int flown = flight.Fly(settings, [&](int frame) {
        if (g_interrupted.load()) {
            error = interrupted;
            return -1;
        }
        gl->ReadBackBuffer(&pixels);
        if (recording.Write(pixels.data(), &error) != 0)
            return -1;
        ShowProgress(frame + 1, frames);
        return 0;
    });
    if (flown != 0) {
        if (error.empty())
            error = "no se puede crear el paisaje";
        std::fprintf(stderr, "\nvantapeak-snapshot: %s\n", error.c_str());
        return 1;
    }
    if (g_interrupted.load()) {
        std::fprintf(stderr, "\nvantapeak-snapshot: %s\n", interrupted.c_str());
        return 1;
    }
    if (recording.Finish(&error) != 0) {
        std::fprintf(stderr, "vantapeak-snapshot: %s\n", error.c_str());
        return 1;
    }
    const double wallSeconds = std::max<std::uint32_t>(1, TickCount() - start) / 1000.0;
    std::printf("frames: %d\n", frames);
    std::printf("paging_runs: %d\n", flight.PagingRuns());
    std::printf("record_fps: %.2f\n", frames / wallSeconds);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (const int status = ParseArguments(argc, argv, &options); status >= 0)
        return status;
    // Fonts need a QGuiApplication; without a display Qt's offscreen
    // platform serves.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    CTerrainModel terrain;
    CBitmapEx texture;
    std::unique_ptr<ITerrainSource> source;
    CWindowPainter painter;
    if (!options.flight.terrain.empty()) {
        CTileCache::Configure(CTileCache::DefaultFolder(), static_cast<std::int64_t>(options.flight.cacheSizeMb * 1048576.0));
        auto streamed = std::make_unique<CGdalTerrainSource>();
        if (streamed->Open(options.flight.terrain, options.flight.verticalScale) != 0 ||
            (!options.flight.imagery.empty() && streamed->OpenImagery(options.flight.imagery) != 0)) {
            std::fprintf(stderr, "vantapeak-snapshot: %s\n", streamed->Message().c_str());
            return 1;
        }
        painter.LoadTiles(Path(options.dir, TerrainFiles::kTilesFolder));
        source = std::move(streamed);
    } else {
        if (terrain.LoadHeightmap(Path(options.dir, TerrainFiles::kHeightmap).c_str()) != 0 ||
            !terrain.m_image.HasPixels()) {
            std::fprintf(stderr, "Error en leer el fichero %s\n", TerrainFiles::kHeightmap);
            return 1;
        }
        if (terrain.LoadHeights16(Path(options.dir, TerrainFiles::kHeights16).c_str()) != 0) {
            std::fprintf(stderr, "Error en leer el fichero %s\n", TerrainFiles::kHeights16);
            return 1;
        }
        if (!options.wireframe && (texture.LoadFromFile(Path(options.dir, TerrainFiles::kTexture).c_str()) != 0 ||
                                   !texture.HasPixels())) {
            std::fprintf(stderr, "Error en leer el fichero %s\n", TerrainFiles::kTexture);
            return 1;
        }
        source = std::make_unique<CFolderTerrainSource>(terrain, &texture);
    }

    CEglContext context;
    IDevice* device = nullptr;
    InitDirect3D(&context, options.width, options.height, &device);
    if (device == nullptr) {
        std::fprintf(stderr, "vantapeak-snapshot: no se puede crear un contexto OpenGL 3.3 sin pantalla\n");
        return 1;
    }
    device->SetLook(options.flight.look);
    // The ground detail follows the levels the terrain was painted with.
    if (options.flight.terrain.empty())
        SetupDetail(device, Path(options.dir, TerrainFiles::kTilesFolder), terrain);
    else
        SetupDetail(device, Path(options.dir, TerrainFiles::kTilesFolder), *source, options.flight.imagery.empty());
    CCamera camera;
    camera.SetDevice(device);
    camera.SetupProjection();
    CreateOverlayFont(device);
    CTerrainPager pager(device, *source, &painter);

    if (!options.record.empty()) {
        SetupRenderState(device);
        SetFillMode(device, options.wireframe);
        const int status = RecordFlight(options, pager, device, camera);
        device->DetachRenderThread();
        ReleaseDirect3D();
        return status;
    }

    // Without --camera the window is the start command's, at the origin; with
    // it, the one a paging run would cut around the camera, moved back inside
    // the heightmap when the camera is past its far edge.
    const std::int32_t mapWidth = source->Width();
    const std::int32_t mapHeight = source->Height();
    const PageWindow& page = pager.Window();
    std::int32_t x0 = 0, z0 = 0;
    if (options.hasCamera) {
        CPageBuilder::PageOrigin(options.camera[0], options.camera[2], page.width, page.height, &x0, &z0);
        x0 = std::min(x0, std::max(0, mapWidth - 2));
        z0 = std::min(z0, std::max(0, mapHeight - 2));
    }
    CTerrainPager::Page first = pager.BuildAt(x0, z0, !options.wireframe);
    if (!first.landscape || first.width < 2 || first.height < 2) {
        const bool unread = !first.landscape && first.status != 0;
        if (first.landscape)
            first.landscape->Destroy();
        std::fprintf(stderr, "vantapeak-snapshot: %s\n",
                     unread ? "no se puede leer el terreno" : "el terreno es demasiado pequeño");
        ReleaseDirect3D();
        return 1;
    }
    std::unique_ptr<CLandscape> built = std::move(first.landscape);
    if (first.status != 0) {
        std::fprintf(stderr, "vantapeak-snapshot: no se puede crear el paisaje\n");
        built->Destroy();
        ReleaseDirect3D();
        return 1;
    }
    built->m_minError = options.minError;
    built->m_maxRenderTime = options.maxRenderTime;
    CLandscape* const landscape = built.get();
    std::mutex landscapeLock;

    if (options.hasCamera) {
        camera.SetPosition({options.camera[0], options.camera[1], options.camera[2]});
    } else {
        D3DXVECTOR3 start;
        float pitch = 0.0f;
        pager.StartView(*landscape, first.width, first.height, &start, &pitch);
        camera.SetPosition(start);
        if (pitch != 0.0f)
            camera.Pitch(pitch, pitch);
    }
    if (options.heading != 0.0f)
        camera.Turn(DegreesToRadians(options.heading));
    if (options.flight.clearance > 0.0)
        CTerrainFollower::Follow(camera, *landscape, static_cast<float>(options.flight.clearance), 0.0f, 0.0f);
    SetupRenderState(device);
    SetFillMode(device, options.wireframe);

    std::vector<OverlayLine> lines;
    const std::uint32_t start = TickCount();
    // The enhanced look draws split and merged vertices moving over a few
    // frames: enough more frames for the kept one to show them settled.
    const int frames = options.frames + (options.flight.look == Look::Enhanced ? static_cast<int>(CGeomorph::kMinFrames) : 0);
    for (int frame = 0; frame < frames; ++frame) {
        camera.Apply();
        const std::uint32_t elapsed = TickCount() - start;
        FrameStatus status;
        status.fps = elapsed > 1000 ? static_cast<std::uint32_t>(frame) / (elapsed / 1000) : 0;
        CFlightFrame::Draw(device, camera.Snapshot(), landscapeLock, landscape, {},
                           [&status]() { return status; }, options.overlay, &lines);
    }

    std::vector<std::uint32_t> pixels;
    auto* gl = static_cast<CGLDevice*>(device);
    gl->ReadBackBuffer(&pixels);
    QImage image(reinterpret_cast<const uchar*>(pixels.data()), options.width, options.height, options.width * 4,
                 QImage::Format_RGB32);
    const bool saved = image.save(QString::fromLocal8Bit(options.out.c_str()), "PNG");
    for (const OverlayLine& line : lines)
        std::printf("%s\n", QString::fromLatin1(line.text.c_str()).toUtf8().constData());

    built->Destroy();
    device->DetachRenderThread();
    ReleaseDirect3D();
    if (!saved) {
        std::fprintf(stderr, "vantapeak-snapshot: no se puede escribir %s\n", options.out.c_str());
        return 1;
    }
    return 0;
}
