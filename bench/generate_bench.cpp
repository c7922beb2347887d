// generate_bench: times one whole terrain generation (default 8193 x 8193:
// 1000 faults with smoothing, normalising, heightmap write and read-back,
// texture synthesis and write) into a temporary folder, with the tiles of
// Textures/ (run from data/). Prints `name: value` lines:
//   generate_total_s  wall time of the whole run
//   faults_phase_s    wall time of the fault-and-smoothing phase
//   peak_rss_mb       peak resident memory of the process
//   cpu_total_s       processor time of the whole run, all threads (on a
//                     shared machine, compare it with generate_total_s to see
//                     how much of the wall time went to other processes)
// Options: --size N (default 8193), --seed N (default 1), --textures DIR.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

#include "bench/BenchOptions.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/TerrainFiles.h"

int main(int argc, char** argv)
{
    CTerrainGenerator::Settings settings;
    settings.seed = 1;
    COptionParser options("generate_bench", "[opciones]", "Mide una generación completa de un terreno.");
    AddTerrainOptions(options, &settings);
    if (const int status = options.Handle(argc, argv); status >= 0)
        return status;
    char folder[] = "/tmp/generate_bench_XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("generate_bench: mkdtemp");
        return 1;
    }
    settings.folder = folder;

    using Clock = std::chrono::steady_clock;
    CTerrainGenerator generator;
    // The fault phase ends when progress passes its share of the run; a
    // watcher thread notes the moment. It looks every 20 ms (as often as the
    // tools' progress bars): waking more often takes the cores from the two
    // sweep threads it is timing.
    const Clock::time_point start = Clock::now();
    std::atomic<bool> done{false};
    Clock::time_point faultsEnd = start;
    std::thread watcher([&] {
        while (!done.load() && generator.Progress() < 0.85f)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        faultsEnd = Clock::now();
    });
    const int result = generator.Run(settings);
    const Clock::time_point end = Clock::now();
    done.store(true);
    watcher.join();

    const std::string heightmap = std::string(folder) + "/" + TerrainFiles::kHeightmap;
    const std::string texture = std::string(folder) + "/" + TerrainFiles::kTexture;
    std::remove(heightmap.c_str());
    std::remove(texture.c_str());
    ::rmdir(folder);
    if (result != 0) {
        std::fprintf(stderr, "generate_bench: %s\n", generator.Message().c_str());
        return 1;
    }
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("generate_total_s: %.2f\n", std::chrono::duration<double>(end - start).count());
    std::printf("faults_phase_s: %.2f\n", std::chrono::duration<double>(faultsEnd - start).count());
    std::printf("peak_rss_mb: %.0f\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    std::printf("cpu_total_s: %.2f\n", seconds(usage.ru_utime) + seconds(usage.ru_stime));
    return 0;
}
