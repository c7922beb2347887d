// vantapeak-snapshot: renders still frames of a terrain folder with no
// display, through the real device (headless EGL) and landscape, and writes
// the last one as a PNG. Prints the statistics lines of that frame.
//
//   vantapeak-snapshot [--dir DIR] [--out FILE.png] [--camera X,Y,Z]
//                      [--heading DEGREES] [--min-error E]
//                      [--max-render-time MS] [--wireframe] [--frames N]
//                      [--no-overlay] [--size WxH]
//
// Without --camera the camera stands where the start command puts it: over
// the middle of the first window, 200 units above the ground, looking along
// +z; --heading turns it (degrees clockwise seen from above). With --camera
// the window is cut around the camera the way a paging run cuts it.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include "landscape/CLandscape.h"
#include "landscape/TickCount.h"
#include "render/CCamera.h"
#include "render/DeviceSetup.h"
#include "render/Overlay.h"
#include "render/PageTexture.h"
#include "render/gl/CEglContext.h"
#include "render/gl/CGLDevice.h"
#include "render/gl/Direct3D.h"
#include "terrain/CBitmapEx.h"
#include "tools/COptionParser.h"

namespace {

const char* const kHeightmapFile = "terrainMdt_8193x8193.bmp";
const char* const kTextureFile = "terrainMdt_8193x8193_Texture.bmp";

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
};

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
                         if (comma2 == std::string::npos ||
                             !ParseFloat(text.substr(0, comma1).c_str(), &options->camera[0]) ||
                             !ParseFloat(text.substr(comma1 + 1, comma2 - comma1 - 1).c_str(), &options->camera[1]) ||
                             !ParseFloat(text.substr(comma2 + 1).c_str(), &options->camera[2]))
                             return false;
                         options->hasCamera = true;
                         return true;
                     });
    parser.AddCustom("heading", "GRADOS", "giro de la cámara, en grados a la derecha vista desde arriba", "0",
                     "un número", [options](const std::string& text) {
                         return ParseFloat(text.c_str(), &options->heading);
                     });
    parser.AddCustom("min-error", "E", "error de distorsión mínimo del ROAM", "0.05", "un número desde 0",
                     [options](const std::string& text) {
                         float value = 0.0f;
                         if (!ParseFloat(text.c_str(), &value) || value < 0.0f)
                             return false;
                         options->minError = value;
                         return true;
                     });
    parser.AddCustom("max-render-time", "MS", "tiempo máximo de render del ROAM, en milisegundos", "200",
                     "un entero de 0 a 600000", [options](const std::string& text) {
                         long n = 0;
                         if (!ParseInt(text.c_str(), 0, 600000, &n))
                             return false;
                         options->maxRenderTime = static_cast<unsigned>(n);
                         return true;
                     });
    parser.AddFlag("wireframe", "dibuja la malla en lugar de la textura", &options->wireframe);
    parser.AddCustom("frames", "N", "fotogramas que se dibujan antes de guardar el último", "10",
                     "un entero de 1 a 100000", [options](const std::string& text) {
                         long n = 0;
                         if (!ParseInt(text.c_str(), 1, 100000, &n))
                             return false;
                         options->frames = static_cast<int>(n);
                         return true;
                     });
    bool noOverlay = false;
    parser.AddFlag("no-overlay", "sin las líneas de estadísticas sobre la imagen", &noOverlay);
    parser.AddCustom("size", "ANCHOxALTO", "tamaño de la imagen en píxeles, cada lado de 1 a 8192", "556x390",
                     "ANCHOxALTO, p. ej. 556x390", [options](const std::string& text) {
                         long w = 0, h = 0;
                         const auto x = text.find('x');
                         if (x == std::string::npos || !ParseInt(text.substr(0, x).c_str(), 1, 8192, &w) ||
                             !ParseInt(text.substr(x + 1).c_str(), 1, 8192, &h))
                             return false;
                         options->width = static_cast<int>(w);
                         options->height = static_cast<int>(h);
                         return true;
                     });
    const int status = parser.Handle(argc, argv);
    if (noOverlay)
        options->overlay = false;
    return status;
}

// The heightmap's grey levels (red channel) of the window at (x0, z0),
// clamped at the far edges as a paging run clamps it.
std::vector<std::int32_t> CutHeightWindow(const CBitmapEx& heightmap, int x0, int z0, int* width, int* height)
{
    *width = std::min(*width, heightmap.Width() - x0);
    *height = std::min(*height, heightmap.Height() - z0);
    std::vector<std::int32_t> window;
    if (*width < 2 || *height < 2)
        return window;
    window.resize(static_cast<std::size_t>(*width) * *height);
    for (int z = 0; z < *height; ++z)
        for (int x = 0; x < *width; ++x)
            window[static_cast<std::size_t>(z) * *width + x] =
                static_cast<std::int32_t>((heightmap.ReadPixel(x0 + x, z0 + z) >> 16) & 0xFF);
    return window;
}

std::string Path(const std::string& dir, const char* name) { return dir + "/" + name; }

// One statistics line, formatted printf-style (Windows-1252 text).
template <typename... Args>
std::string Format(const char* format, Args... args)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
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

    CBitmapEx heightmap;
    if (heightmap.LoadFromFile(Path(options.dir, kHeightmapFile).c_str()) != 0 || !heightmap.HasPixels()) {
        std::fprintf(stderr, "Error en leer el fichero %s\n", kHeightmapFile);
        return 1;
    }
    CBitmapEx texture;
    if (!options.wireframe &&
        (texture.LoadFromFile(Path(options.dir, kTextureFile).c_str()) != 0 || !texture.HasPixels())) {
        std::fprintf(stderr, "Error en leer el fichero %s\n", kTextureFile);
        return 1;
    }

    CEglContext context;
    IDevice* device = nullptr;
    InitDirect3D(&context, options.width, options.height, &device);
    if (device == nullptr) {
        std::fprintf(stderr, "vantapeak-snapshot: no se puede crear un contexto OpenGL 3.3 sin pantalla\n");
        return 1;
    }
    CCamera camera;
    camera.SetDevice(device);
    camera.SetupProjection();
    CreateOverlayFont(device);

    const PageWindow page = ComputePageWindow(heightmap.Width(), heightmap.Height());
    int x0 = 0, z0 = 0;
    if (options.hasCamera) {
        x0 = static_cast<int>(std::max(0.0f, options.camera[0] - page.width * 0.5f));
        z0 = static_cast<int>(std::max(0.0f, options.camera[2] - page.height * 0.5f));
        x0 = std::min(x0, std::max(0, heightmap.Width() - 2));
        z0 = std::min(z0, std::max(0, heightmap.Height() - 2));
    }
    int windowWidth = page.width, windowHeight = page.height;
    const std::vector<std::int32_t> window = CutHeightWindow(heightmap, x0, z0, &windowWidth, &windowHeight);
    if (window.empty()) {
        std::fprintf(stderr, "vantapeak-snapshot: el terreno es demasiado pequeño\n");
        ReleaseDirect3D();
        return 1;
    }

    CLandscape landscape;
    landscape.m_originX = static_cast<float>(x0);
    landscape.m_originZ = static_cast<float>(z0);
    landscape.m_device = device;
    landscape.m_texture =
        options.wireframe ? nullptr : CreatePageTexture(device, texture, x0, z0, windowWidth, windowHeight);
    landscape.m_minError = options.minError;
    landscape.m_maxRenderTime = options.maxRenderTime;
    landscape.SetHeightWindow(windowHeight, window.data(), windowWidth);
    if (landscape.Initialise() != 0) {
        std::fprintf(stderr, "vantapeak-snapshot: no se puede crear el paisaje\n");
        landscape.Destroy();
        ReleaseDirect3D();
        return 1;
    }

    if (options.hasCamera) {
        camera.SetPosition({options.camera[0], options.camera[1], options.camera[2]});
    } else {
        const int halfW = windowWidth / 2;
        const int halfH = windowHeight / 2;
        const float ground = static_cast<float>(landscape.Sample(halfW, halfH)) * landscape.m_heightScale;
        camera.SetPosition({static_cast<float>(halfW + x0), ground + 200.0f, static_cast<float>(halfH + z0)});
    }
    if (options.heading != 0.0f)
        camera.Turn(options.heading * 3.14159265358979f / 180.0f);
    SetupRenderState(device);
    SetFillMode(device, options.wireframe);

    std::vector<std::string> lines;
    const std::uint32_t start = TickCount();
    for (int frame = 0; frame < options.frames; ++frame) {
        camera.Apply();
        const D3DXVECTOR3 eye = camera.Position();
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
        device->BeginScene();
        DrawAxes(device);
        landscape.Update();
        const std::uint32_t elapsed = TickCount() - start;
        const unsigned fps = elapsed > 1000 ? static_cast<unsigned>(frame) / (elapsed / 1000) : 0;
        lines = {
            Format("Tiempo ROAM:%d mseg", landscape.m_roamTime),
            Format("Tiempo DirectX:%d mseg", landscape.m_drawTime),
            Format("Camara: X:%.2fKms Y:%.2fm Z:%.2fKms", eye.x / 1000.0, static_cast<double>(eye.y),
                   eye.z / 1000.0),
            Format("Velocidad:%.2f", 0.0),
            Format("N\xBA triangulos renderizados:%ld", static_cast<long>(landscape.m_trianglesRendered)),
            Format("Frames por segundo:%d", static_cast<int>(fps)),
        };
        if (options.overlay) {
            const int tops[] = {0, 20, 40, 60, 80, 140};
            for (std::size_t i = 0; i < lines.size(); ++i)
                DrawOverlayText(tops[i], lines[i].c_str());
        }
        device->EndScene();
        device->Present();
    }

    std::vector<std::uint32_t> pixels;
    auto* gl = static_cast<CGLDevice*>(device);
    gl->ReadBackBuffer(&pixels);
    QImage image(reinterpret_cast<const uchar*>(pixels.data()), options.width, options.height, options.width * 4,
                 QImage::Format_RGB32);
    const bool saved = image.save(QString::fromLocal8Bit(options.out.c_str()), "PNG");
    for (const std::string& line : lines)
        std::printf("%s\n", QString::fromLatin1(line.c_str()).toUtf8().constData());

    landscape.Destroy();
    gl->DetachRenderThread();
    ReleaseDirect3D();
    if (!saved) {
        std::fprintf(stderr, "vantapeak-snapshot: no se puede escribir %s\n", options.out.c_str());
        return 1;
    }
    return 0;
}
