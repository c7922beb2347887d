// vantapeak-terrain: generates a synthetic terrain, the files
// terrainMdt_8193x8193.bmp (heightmap) and terrainMdt_8193x8193_Texture.bmp
// (texture painted from the five tiles), into a folder; with --heights16
// also terrainMdt_8193x8193_16.tif (16-bit heightmap). With --import it
// makes the same three files from an elevation file instead.
//
//   vantapeak-terrain [--out DIR] [--size N] [--seed N] [--textures DIR] [--heights16] [--blend]
//   vantapeak-terrain --import FILE [--out DIR] [--size N] [--vertical-scale S] [--textures DIR] [--blend]
//   vantapeak-terrain --import FILE [--import FILE...] --cog OUT.tif
//
// Prints the closing message on success; on failure prints the reason and
// exits with status 1 (2 for bad options; --help lists them). Ctrl+C
// cancels cleanly: earlier files stay as they were.

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "terrain/CCogWriter.h"
#include "terrain/CElevationImporter.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/TerrainFiles.h"
#include "tools/COptionParser.h"

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int)
{
    g_interrupted.store(true);
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

// How long a cancel may go unheeded (a network read that hangs on) before a
// job that has not touched its folder yet is left behind.
constexpr auto kCancelGrace = std::chrono::seconds(2);

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
    std::chrono::steady_clock::time_point cancelled{};
    while (!finished.load(std::memory_order_acquire)) {
        if (g_interrupted.load() && cancelled == std::chrono::steady_clock::time_point{}) {
            job.Cancel();
            cancelled = std::chrono::steady_clock::now();
        }
        if constexpr (requires { job.Abandon(); }) {
            // Nothing written, and nothing will be: ending here leaves the
            // folder as it was.
            if (cancelled != std::chrono::steady_clock::time_point{}
                && std::chrono::steady_clock::now() - cancelled > kCancelGrace && job.Abandon()) {
                if (showProgress)
                    std::fputc('\n', stderr);
                std::fprintf(stderr, "vantapeak-terrain: %s\n", CElevationImporter::kCancelledMessage);
                std::_Exit(1);
            }
        }
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
        if constexpr (requires { job.Detail(); }) {
            if (!job.Detail().empty())
                std::fprintf(stderr, "vantapeak-terrain: (%s)\n", job.Detail().c_str());
        }
        return 1;
    }
    std::printf("%s\n", job.Message().c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    CTerrainGenerator::Settings settings;
    long long size = -1;
    long long seed = -1;
    std::string texturesFolder;
    std::vector<std::string> importFiles;
    std::string cogFile;
    double verticalScale = 0.0;
    COptionParser options("vantapeak-terrain", "[opciones]",
        std::string("Genera un terreno sintético (fallas) y pinta su textura con las cinco texturas:\n") +
            TerrainFiles::kHeightmap + " y " + TerrainFiles::kTexture + " en una carpeta. Con --import hace\n" +
            "los mismos ficheros y " + TerrainFiles::kHeights16 + " a partir de un fichero de elevaciones.");
    options.AddText("out", "DIR", "carpeta de salida", &settings.folder, "la actual");
    options.AddInteger("size", "N", "lado del terreno en píxeles, de " + std::to_string(CTerrainGenerator::kMinSize) +
        " a " + std::to_string(CTerrainGenerator::kMaxSize) + "; con --import, lado mayor tras remuestrear (cada lado "
        "del terreno, de " + std::to_string(CElevationImporter::kMinTerrainSize) + " a " +
        std::to_string(CElevationImporter::kMaxSize) + ")",
        CTerrainGenerator::kMinSize, CTerrainGenerator::kMaxSize, &size,
        std::to_string(CTerrainGenerator::kDefaultSize) + "; con --import, el del fichero");
    options.AddInteger("seed", "N", "semilla del generador, de 0 a 4294967295", 0, 4294967295LL, &seed,
        "la hora actual");
    options.AddText("textures", "DIR", "carpeta de las cinco texturas", &texturesFolder, "DIR/Textures de --out");
    options.AddFlag("heights16", std::string("escribe también ") + TerrainFiles::kHeights16 +
        ", las alturas con 16 bits", &settings.heights16);
    options.AddFlag("blend", "transiciones suaves entre bandas y roca en las pendientes", &settings.blend);
    options.AddCustom("import", "FICHERO", "crea el terreno a partir de un fichero de elevaciones (GeoTIFF, "
        "SRTM .hgt, PNG de 16 bits, ASCII grid, ENVI...); con --cog, repetida, une teselas", "ninguno", "un fichero",
        [&importFiles](const std::string& value) {
            importFiles.push_back(value);
            return !value.empty();
        });
    options.AddText("cog", "SALIDA.tif", "con --import, escribe en su lugar un GeoTIFF optimizado para la nube "
        "con vistas reducidas, de cualquier tamaño (para vantapeak --terrain)", &cogFile, "ninguno");
    options.AddNumber("vertical-scale", "S", "con --import, exageración del relieve sobre su proporción real",
        1.0e-6, 1.0e6, &verticalScale, "1");
    if (const int status = options.Handle(argc, argv); status >= 0)
        return status;
    const bool sizeGiven = size >= 0;
    settings.size = sizeGiven ? static_cast<std::int32_t>(size) : CTerrainGenerator::kDefaultSize;
    settings.seed = seed >= 0 ? static_cast<std::uint32_t>(seed) : static_cast<std::uint32_t>(std::time(nullptr));
    settings.texturesFolder = !texturesFolder.empty()
        ? texturesFolder
        : (settings.folder.empty() ? std::string(".") : settings.folder) + "/" + TerrainFiles::kTilesFolder;

    if (!cogFile.empty()) {
        if (importFiles.empty() || sizeGiven || seed >= 0 || verticalScale != 0.0) {
            std::fprintf(stderr, "vantapeak-terrain: --cog solo vale con --import (sin --size, --seed ni "
                                 "--vertical-scale)\n");
            return 2;
        }
        CCogWriter writer;
        return RunJob(writer, CCogWriter::Settings{importFiles, cogFile}, "Escribiendo GeoTIFF");
    }
    if (importFiles.size() > 1) {
        std::fprintf(stderr, "vantapeak-terrain: varios ficheros --import solo valen con --cog\n");
        return 2;
    }
    if (importFiles.empty()) {
        if (verticalScale != 0.0) {
            std::fprintf(stderr, "vantapeak-terrain: --vertical-scale solo vale con --import\n");
            return 2;
        }
        CTerrainGenerator generator;
        return RunJob(generator, settings, "Generando terreno");
    }
    if (seed >= 0) {
        std::fprintf(stderr, "vantapeak-terrain: --seed no vale con --import\n");
        return 2;
    }
    CElevationImporter::Settings import;
    import.source = importFiles.front();
    import.folder = settings.folder;
    import.size = sizeGiven ? settings.size : 0;
    import.verticalScale = verticalScale != 0.0 ? verticalScale : 1.0;
    import.texturesFolder = settings.texturesFolder;
    import.blend = settings.blend;
    CElevationImporter importer;
    return RunJob(importer, import, "Importando terreno");
}
