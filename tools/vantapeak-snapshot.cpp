// vantapeak-snapshot: renders still frames of a terrain folder with no
// display, through the real device (headless EGL) and landscape, and writes
// the last one as a PNG. Prints the statistics lines of that frame.
//
//   vantapeak-snapshot [--dir DIR] [--out FILE.png] [--camera X,Y,Z]
//                      [--heading DEGREES] [--min-error E]
//                      [--max-render-time MS] [--wireframe] [--frames N]
//                      [--no-overlay] [--size WxH] [--look classic|enhanced]
//
// Without --camera the camera stands where the start command puts it: over
// the middle of the first window, 200 units above the ground, looking along
// +z; --heading turns it (degrees clockwise seen from above). With --camera
// the window is cut around the camera the way a paging run cuts it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include "flight/CFlightFrame.h"
#include "flight/CPageBuilder.h"
#include "landscape/CGeomorph.h"
#include "landscape/CLandscape.h"
#include "render/Angles.h"
#include "render/CCamera.h"
#include "render/DeviceSetup.h"
#include "render/Look.h"
#include "render/Overlay.h"
#include "render/PageTexture.h"
#include "render/gl/CEglContext.h"
#include "render/gl/CGLDevice.h"
#include "render/gl/Direct3D.h"
#include "terrain/CBitmapEx.h"
#include "terrain/CTerrainModel.h"
#include "terrain/TerrainFiles.h"
#include "terrain/TickCount.h"

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
    Look look = Look::Classic;
};

void Usage()
{
    std::fprintf(stderr,
                 "uso: vantapeak-snapshot [--dir DIR] [--out FILE.png] [--camera X,Y,Z] [--heading GRADOS]\n"
                 "                        [--min-error E] [--max-render-time MS] [--wireframe] [--frames N]\n"
                 "                        [--no-overlay] [--size WxH] [--look classic|enhanced]\n");
}

bool ParseFloat(const char* text, float* value)
{
    char* end = nullptr;
    const float v = std::strtof(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

bool ParseInt(const char* text, long low, long high, long* value)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < low || v > high)
        return false;
    *value = v;
    return true;
}

bool ParseArguments(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        if (arg == "--wireframe") {
            options->wireframe = true;
        } else if (arg == "--no-overlay") {
            options->overlay = false;
        } else if (value == nullptr) {
            return false;
        } else {
            ++i;
            if (arg == "--dir") {
                options->dir = value;
            } else if (arg == "--out") {
                options->out = value;
            } else if (arg == "--camera") {
                const std::string text = value;
                const auto comma1 = text.find(',');
                const auto comma2 = comma1 == std::string::npos ? std::string::npos : text.find(',', comma1 + 1);
                if (comma2 == std::string::npos ||
                    !ParseFloat(text.substr(0, comma1).c_str(), &options->camera[0]) ||
                    !ParseFloat(text.substr(comma1 + 1, comma2 - comma1 - 1).c_str(), &options->camera[1]) ||
                    !ParseFloat(text.substr(comma2 + 1).c_str(), &options->camera[2]))
                    return false;
                options->hasCamera = true;
            } else if (arg == "--heading") {
                if (!ParseFloat(value, &options->heading))
                    return false;
            } else if (arg == "--min-error") {
                if (!ParseFloat(value, &options->minError) || options->minError < 0.0f)
                    return false;
            } else if (arg == "--max-render-time") {
                if (!ParseInt(value, 0, 600000, &n))
                    return false;
                options->maxRenderTime = static_cast<unsigned>(n);
            } else if (arg == "--frames") {
                if (!ParseInt(value, 1, 100000, &n))
                    return false;
                options->frames = static_cast<int>(n);
            } else if (arg == "--look") {
                if (!ParseLook(value, &options->look))
                    return false;
            } else if (arg == "--size") {
                long w = 0, h = 0;
                const std::string text = value;
                const auto x = text.find('x');
                if (x == std::string::npos || !ParseInt(text.substr(0, x).c_str(), 1, 8192, &w) ||
                    !ParseInt(text.substr(x + 1).c_str(), 1, 8192, &h))
                    return false;
                options->width = static_cast<int>(w);
                options->height = static_cast<int>(h);
            } else {
                return false;
            }
        }
    }
    return true;
}

std::string Path(const std::string& dir, const char* name) { return dir + "/" + name; }

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArguments(argc, argv, &options)) {
        Usage();
        return 2;
    }
    // Fonts need a QGuiApplication; without a display Qt's offscreen
    // platform serves.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    CTerrainModel terrain;
    if (terrain.LoadHeightmap(Path(options.dir, TerrainFiles::kHeightmap).c_str()) != 0 ||
        !terrain.m_image.HasPixels()) {
        std::fprintf(stderr, "Error en leer el fichero %s\n", TerrainFiles::kHeightmap);
        return 1;
    }
    CBitmapEx texture;
    if (!options.wireframe && (texture.LoadFromFile(Path(options.dir, TerrainFiles::kTexture).c_str()) != 0 ||
                               !texture.HasPixels())) {
        std::fprintf(stderr, "Error en leer el fichero %s\n", TerrainFiles::kTexture);
        return 1;
    }

    CEglContext context;
    IDevice* device = nullptr;
    InitDirect3D(&context, options.width, options.height, &device);
    if (device == nullptr) {
        std::fprintf(stderr, "vantapeak-snapshot: no se puede crear un contexto OpenGL 3.3 sin pantalla\n");
        return 1;
    }
    device->SetLook(options.look);
    CCamera camera;
    camera.SetDevice(device);
    camera.SetupProjection();
    CreateOverlayFont(device);

    // Without --camera the window is the start command's, at the origin; with
    // it, the one a paging run would cut around the camera, moved back inside
    // the heightmap when the camera is past its far edge.
    const std::int32_t mapWidth = terrain.m_gridWidth;
    const std::int32_t mapHeight = terrain.m_gridHeight;
    const PageWindow page = ComputePageWindow(mapWidth, mapHeight);
    std::int32_t x0 = 0, z0 = 0;
    if (options.hasCamera) {
        CPageBuilder::PageOrigin(options.camera[0], options.camera[2], page.width, page.height, &x0, &z0);
        x0 = std::min(x0, std::max(0, mapWidth - 2));
        z0 = std::min(z0, std::max(0, mapHeight - 2));
    }
    std::int32_t windowWidth = page.width, windowHeight = page.height;
    std::unique_ptr<std::int32_t[]> window;
    if (CPageBuilder::CutWindow(terrain, x0, z0, &windowWidth, &windowHeight, &window) != 0 || windowWidth < 2 ||
        windowHeight < 2) {
        std::fprintf(stderr, "vantapeak-snapshot: el terreno es demasiado pequeño\n");
        ReleaseDirect3D();
        return 1;
    }

    int initialised = 0;
    std::unique_ptr<CLandscape> built =
        CPageBuilder::BuildPage(device, options.wireframe ? nullptr : &texture, x0, z0, 0.0f, window.get(),
                                windowWidth, windowHeight, &initialised);
    window.reset();
    if (initialised != 0) {
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
        camera.SetPosition(CPageBuilder::StartPosition(*landscape, windowWidth, windowHeight));
    }
    if (options.heading != 0.0f)
        camera.Turn(DegreesToRadians(options.heading));
    SetupRenderState(device);
    SetFillMode(device, options.wireframe);

    std::vector<OverlayLine> lines;
    const std::uint32_t start = TickCount();
    // The enhanced look draws split and merged vertices moving over a few
    // frames: enough more frames for the kept one to show them settled.
    const int frames = options.frames + (options.look == Look::Enhanced ? static_cast<int>(CGeomorph::kMinFrames) : 0);
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
