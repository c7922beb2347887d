// vantapeak-terrain: generates a synthetic terrain, the files
// terrainMdt_8193x8193.bmp (heightmap) and terrainMdt_8193x8193_Texture.bmp
// (texture painted from the five tiles), into a folder.
//
//   vantapeak-terrain [--out DIR] [--size N] [--seed N] [--textures DIR] [--blend]
//
// Prints the closing message on success; on failure prints the reason and
// exits with status 1 (2 for bad options). Ctrl+C cancels cleanly: earlier
// files stay as they were.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include <unistd.h>

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
        "Genera %s y %s en una carpeta.\n"
        "  --out DIR       carpeta de salida (por defecto, la actual)\n"
        "  --size N        lado del terreno en pixeles, %d a %d (por defecto %d)\n"
        "  --seed N        semilla, 0 a 4294967295 (por defecto, la hora actual)\n"
        "  --textures DIR  carpeta de las texturas (por defecto, DIR/Textures de --out)\n"
        "  --blend         transiciones suaves entre bandas y roca en las pendientes\n"
        "  --help          muestra esta ayuda\n",
        TerrainFiles::kHeightmap, TerrainFiles::kTexture, CTerrainGenerator::kMinSize,
        CTerrainGenerator::kMaxSize, CTerrainGenerator::kDefaultSize);
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

void DrawProgress(float fraction)
{
    constexpr int kBarWidth = 40;
    const int filled = static_cast<int>(fraction * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\rGenerando terreno [%s] %3d%%", bar, static_cast<int>(fraction * 100.0f));
    std::fflush(stderr);
}

} // namespace

int main(int argc, char** argv)
{
    CTerrainGenerator::Settings settings;
    settings.seed = static_cast<std::uint32_t>(std::time(nullptr));
    bool texturesGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            Usage(stdout);
            return 0;
        }
        if (option == "--blend") {
            settings.blend = true;
            continue;
        }
        const char* value = i + 1 < argc ? argv[++i] : nullptr;
        long long number = 0;
        if (option == "--out" && value != nullptr) {
            settings.folder = value;
        } else if (option == "--textures" && value != nullptr) {
            settings.texturesFolder = value;
            texturesGiven = true;
        } else if (option == "--size" && value != nullptr) {
            if (!ParseNumber(value, CTerrainGenerator::kMinSize, CTerrainGenerator::kMaxSize, number)) {
                std::fprintf(stderr, "vantapeak-terrain: tamaño no válido: %s (debe estar entre %d y %d)\n", value,
                    CTerrainGenerator::kMinSize, CTerrainGenerator::kMaxSize);
                return 2;
            }
            settings.size = static_cast<std::int32_t>(number);
        } else if (option == "--seed" && value != nullptr) {
            if (!ParseNumber(value, 0, 4294967295LL, number)) {
                std::fprintf(stderr, "vantapeak-terrain: semilla no válida: %s\n", value);
                return 2;
            }
            settings.seed = static_cast<std::uint32_t>(number);
        } else {
            std::fprintf(stderr, "vantapeak-terrain: opción no válida o sin valor: %s\n", option.c_str());
            Usage(stderr);
            return 2;
        }
    }
    if (!texturesGiven)
        settings.texturesFolder = (settings.folder.empty() ? std::string(".") : settings.folder) + "/Textures";

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    CTerrainGenerator generator;
    std::atomic<bool> finished{false};
    int result = -1;
    std::thread worker([&] {
        result = generator.Run(settings);
        finished.store(true, std::memory_order_release);
    });
    const bool showProgress = ::isatty(STDERR_FILENO) != 0;
    while (!finished.load(std::memory_order_acquire)) {
        if (g_interrupted.load())
            generator.Cancel();
        if (showProgress)
            DrawProgress(generator.Progress());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    worker.join();
    if (showProgress) {
        if (result == 0)
            DrawProgress(1.0f);
        std::fputc('\n', stderr);
    }
    for (const std::string& tile : generator.MissingTiles())
        std::fprintf(stderr, "Aviso: no se pudo leer la textura %s\n", tile.c_str());
    if (result != 0) {
        std::fprintf(stderr, "vantapeak-terrain: %s\n", generator.Message().c_str());
        return 1;
    }
    std::printf("%s\n", generator.Message().c_str());
    return 0;
}
