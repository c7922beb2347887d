// vantapeak-terrain: generates a synthetic terrain, the files
// terrainMdt_8193x8193.bmp (heightmap) and terrainMdt_8193x8193_Texture.bmp
// (texture painted from the five tiles), into a folder; with --heights16
// also terrainMdt_8193x8193_16.tif (16-bit heightmap). With --import it
// makes the same three files from an elevation file instead.
//
//   vantapeak-terrain [--out DIR] [--size N] [--seed N] [--textures DIR] [--heights16]
//   vantapeak-terrain --import FILE [--out DIR] [--size N] [--vertical-scale S] [--textures DIR]
//
// Prints the closing message on success; on failure prints the reason and
// exits with status 1 (2 for bad options). Ctrl+C cancels cleanly: earlier
// files stay as they were.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include <unistd.h>

#include "terrain/CElevationImporter.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/TerrainFiles.h"

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int)
{
    g_interrupted.store(true);
}

void Usage(std::FILE* out)
{
    std::fprintf(out,
        "Uso: vantapeak-terrain [opciones]\n"
        "     vantapeak-terrain --import FICHERO [opciones]\n"
        "Genera %s y %s en una carpeta.\n"
        "  --out DIR       carpeta de salida (por defecto, la actual)\n"
        "  --size N        lado del terreno en pixeles, %d a %d (por defecto %d);\n"
        "                  con --import, lado mayor tras remuestrear (por defecto, el del fichero)\n"
        "  --seed N        semilla, 0 a 4294967295 (por defecto, la hora actual)\n"
        "  --textures DIR  carpeta de las texturas (por defecto, DIR/Textures de --out)\n"
        "  --heights16     escribe también %s, las alturas con 16 bits\n"
        "  --import FICHERO  crea el terreno y %s a partir de un fichero de\n"
        "                  elevaciones (GeoTIFF, SRTM .hgt, PNG de 16 bits, ASCII grid, ENVI...)\n"
        "  --vertical-scale S  con --import, exageración del relieve sobre su proporción\n"
        "                  real (por defecto 1)\n"
        "  --help          muestra esta ayuda\n",
        TerrainFiles::kHeightmap, TerrainFiles::kTexture, CTerrainGenerator::kMinSize,
        CTerrainGenerator::kMaxSize, CTerrainGenerator::kDefaultSize, TerrainFiles::kHeights16,
        TerrainFiles::kHeights16);
}

bool ParseNumber(const char* text, long long low, long long high, long long& value)
{
    if (text == nullptr || *text == '\0')
        return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || end == nullptr || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

bool ParseScale(const char* text, double& value)
{
    if (text == nullptr || *text == '\0')
        return false;
    errno = 0;
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (errno != 0 || end == nullptr || *end != '\0' || !(parsed > 0.0) || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

void DrawProgress(const char* label, float fraction)
{
    constexpr int kBarWidth = 40;
    const int filled = static_cast<int>(fraction * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r%s [%s] %3d%%", label, bar, static_cast<int>(fraction * 100.0f));
    std::fflush(stderr);
}

// Runs `job` (a generator or an importer) on a worker thread, drawing its
// progress and passing Ctrl+C on as a cancel. Returns the exit status.
template <typename Job, typename Settings>
int RunJob(Job& job, const Settings& settings, const char* label)
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::atomic<bool> finished{false};
    int result = -1;
    std::thread worker([&] {
        result = job.Run(settings);
        finished.store(true, std::memory_order_release);
    });
    const bool showProgress = ::isatty(STDERR_FILENO) != 0;
    while (!finished.load(std::memory_order_acquire)) {
        if (g_interrupted.load())
            job.Cancel();
        if (showProgress)
            DrawProgress(label, job.Progress());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    worker.join();
    if (showProgress) {
        if (result == 0)
            DrawProgress(label, 1.0f);
        std::fputc('\n', stderr);
    }
    for (const std::string& tile : job.MissingTiles())
        std::fprintf(stderr, "Aviso: no se pudo leer la textura %s\n", tile.c_str());
    if (result != 0) {
        std::fprintf(stderr, "vantapeak-terrain: %s\n", job.Message().c_str());
        return 1;
    }
    std::printf("%s\n", job.Message().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CTerrainGenerator::Settings settings;
    settings.seed = static_cast<std::uint32_t>(std::time(nullptr));
    bool texturesGiven = false;
    bool sizeGiven = false;
    bool seedGiven = false;
    const char* importFile = nullptr;
    double verticalScale = 0.0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            Usage(stdout);
            return 0;
        }
        if (option == "--heights16") {
            settings.heights16 = true;
            continue;
        }
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long long number = 0;
        if (value == nullptr) {
            std::fprintf(stderr, "vantapeak-terrain: opción no válida o sin valor: %s\n", option.c_str());
            Usage(stderr);
            return 2;
        }
        ++i;
        if (option == "--out") {
            settings.folder = value;
        } else if (option == "--textures") {
            settings.texturesFolder = value;
            texturesGiven = true;
        } else if (option == "--import") {
            importFile = value;
        } else if (option == "--vertical-scale") {
            if (!ParseScale(value, verticalScale)) {
                std::fprintf(stderr, "vantapeak-terrain: escala vertical no válida: %s (debe ser mayor que 0)\n", value);
                return 2;
            }
        } else if (option == "--size") {
            if (!ParseNumber(value, CTerrainGenerator::kMinSize, CTerrainGenerator::kMaxSize, number)) {
                std::fprintf(stderr, "vantapeak-terrain: tamaño no válido: %s (debe estar entre %d y %d)\n", value,
                    CTerrainGenerator::kMinSize, CTerrainGenerator::kMaxSize);
                return 2;
            }
            settings.size = static_cast<std::int32_t>(number);
            sizeGiven = true;
        } else if (option == "--seed") {
            if (!ParseNumber(value, 0, 4294967295LL, number)) {
                std::fprintf(stderr, "vantapeak-terrain: semilla no válida: %s\n", value);
                return 2;
            }
            settings.seed = static_cast<std::uint32_t>(number);
            seedGiven = true;
        } else {
            std::fprintf(stderr, "vantapeak-terrain: opción no válida o sin valor: %s\n", option.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (!texturesGiven)
        settings.texturesFolder = (settings.folder.empty() ? std::string(".") : settings.folder) + "/Textures";

    if (importFile == nullptr) {
        if (verticalScale != 0.0) {
            std::fprintf(stderr, "vantapeak-terrain: --vertical-scale solo vale con --import\n");
            return 2;
        }
        CTerrainGenerator generator;
        return RunJob(generator, settings, "Generando terreno");
    }
    if (seedGiven) {
        std::fprintf(stderr, "vantapeak-terrain: --seed no vale con --import\n");
        return 2;
    }
    CElevationImporter::Settings import;
    import.source = importFile;
    import.folder = settings.folder;
    import.size = sizeGiven ? settings.size : 0;
    import.verticalScale = verticalScale != 0.0 ? verticalScale : 1.0;
    import.texturesFolder = settings.texturesFolder;
    CElevationImporter importer;
    return RunJob(importer, import, "Importando terreno");
}
