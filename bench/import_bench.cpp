// import_bench: times the import of a 16-bit GeoTIFF elevation model
// (default 8193 x 8193) that it first writes itself with GDAL into a
// temporary folder: reading, hole filling, heightmap, 16-bit heightmap and
// texture written as one set, with the tiles of Textures/ (run from data/).
// Prints `name: value` lines:
//   import_8193_s   wall time of the import (named after the default size)
//   peak_rss_mb     peak resident memory of the process
//   cpu_total_s     processor time of the whole process, all threads
// Options: --size N (side of the GeoTIFF, default 8193), --textures DIR.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include <gdal.h>

#include "tools/COptionParser.h"
#include "terrain/CElevationImporter.h"
#include "terrain/CGdal.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainWriter.h"
#include "terrain/TerrainFiles.h"

namespace {

// A 16-bit GeoTIFF of rolling hills on a 10 m UTM grid, with a few
// no-data holes, written in row blocks.
bool WriteSource(const std::string& path, int size)
{
    CGdal::Initialise();
    GDALDatasetH dataset = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), size, size, 1, GDT_UInt16, nullptr);
    if (dataset == nullptr)
        return false;
    double transform[6] = {400000.0, 10.0, 0.0, 4700000.0, 0.0, -10.0};
    GDALSetGeoTransform(dataset, transform);
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    GDALSetRasterNoDataValue(band, 0.0);
    constexpr int kRows = 256;
    std::vector<std::uint16_t> block(static_cast<std::size_t>(size) * kRows);
    bool ok = true;
    for (int row = 0; ok && row < size; row += kRows) {
        const int rows = std::min(kRows, size - row);
        for (int k = 0; k < rows; ++k)
            for (int x = 0; x < size; ++x) {
                const int y = row + k;
                const double h = 20000.0 + 9000.0 * std::sin(x * 0.002) * std::cos(y * 0.003)
                    + 3000.0 * std::sin((x + y) * 0.011);
                const bool hole = (x / 64 + y / 64) % 97 == 0 && x % 64 < 20 && y % 64 < 20;
                block[static_cast<std::size_t>(k) * size + x] = hole ? 0 : static_cast<std::uint16_t>(h);
            }
        ok = GDALRasterIO(band, GF_Write, 0, row, size, rows, block.data(), size, rows, GDT_UInt16, 0, 0) == CE_None;
    }
    GDALClose(dataset);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    long long side = 8193;
    std::string textures = "Textures";
    COptionParser options("import_bench", "[opciones]", "Mide la importación de un GeoTIFF de alturas de 16 bits.");
    options.AddInteger("size", "N", "lado del GeoTIFF, en muestras", 257, 16385, &side);
    options.AddText("textures", "DIR", "carpeta de las cinco texturas", &textures);
    if (const int status = options.Handle(argc, argv); status >= 0)
        return status;
    const int size = static_cast<int>(side);
    char folder[] = "/tmp/import_bench_XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("import_bench: mkdtemp");
        return 1;
    }
    const std::string source = std::string(folder) + "/dem.tif";
    if (!WriteSource(source, size)) {
        std::fprintf(stderr, "import_bench: could not write %s\n", source.c_str());
        return 1;
    }

    CElevationImporter::Settings settings;
    settings.source = source;
    settings.folder = folder;
    settings.texturesFolder = textures;
    CElevationImporter importer;
    const auto start = std::chrono::steady_clock::now();
    const int result = importer.Run(settings);
    const auto end = std::chrono::steady_clock::now();

    for (const char* name : {TerrainFiles::kHeightmap, TerrainFiles::kTexture, TerrainFiles::kHeights16})
        std::remove((std::string(folder) + "/" + name).c_str());
    std::remove(source.c_str());
    ::rmdir(folder);
    if (result != 0) {
        std::fprintf(stderr, "import_bench: %s\n", importer.Message().c_str());
        return 1;
    }
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("import_%d_s: %.2f\n", size, std::chrono::duration<double>(end - start).count());
    std::printf("peak_rss_mb: %.0f\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    std::printf("cpu_total_s: %.2f\n", seconds(usage.ru_utime) + seconds(usage.ru_stime));
    return 0;
}
