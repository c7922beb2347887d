// vantapeak-terrain: generates a synthetic terrain, the files
// terrainMdt_8193x8193.bmp (heightmap) and terrainMdt_8193x8193_Texture.bmp
// (texture painted from the five tiles), into a folder.
//
//   vantapeak-terrain [--out DIR] [--size N] [--seed N] [--textures DIR]
//
// Prints the closing message on success; on failure prints the reason and
// exits with status 1 (2 for bad options; --help lists them). Ctrl+C
// cancels cleanly: earlier files stay as they were.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include <unistd.h>

#include "terrain/CTerrainGenerator.h"
#include "tools/COptionParser.h"

namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void OnInterrupt(int)
{
    g_interrupted.store(true);
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
    long long size = CTerrainGenerator::kDefaultSize;
    long long seed = -1;
    std::string texturesFolder;
    COptionParser options("vantapeak-terrain", "[opciones]",
        std::string("Genera un terreno sintético (fallas) y pinta su textura con las cinco texturas:\n") +
            CTerrainGenerator::kHeightmapName + " y " + CTerrainGenerator::kTextureName + " en una carpeta.");
    options.AddText("out", "DIR", "carpeta de salida", &settings.folder, "la actual");
    options.AddInteger("size", "N", "lado del terreno en píxeles, de " + std::to_string(CTerrainGenerator::kMinSize) +
        " a " + std::to_string(CTerrainGenerator::kMaxSize), CTerrainGenerator::kMinSize,
        CTerrainGenerator::kMaxSize, &size);
    options.AddInteger("seed", "N", "semilla del generador, de 0 a 4294967295", 0, 4294967295LL, &seed,
        "la hora actual");
    options.AddText("textures", "DIR", "carpeta de las cinco texturas", &texturesFolder, "DIR/Textures de --out");
    if (const int status = options.Handle(argc, argv); status >= 0)
        return status;
    settings.size = static_cast<std::int32_t>(size);
    settings.seed = seed >= 0 ? static_cast<std::uint32_t>(seed) : static_cast<std::uint32_t>(std::time(nullptr));
    settings.texturesFolder = !texturesFolder.empty()
        ? texturesFolder
        : (settings.folder.empty() ? std::string(".") : settings.folder) + "/Textures";

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
