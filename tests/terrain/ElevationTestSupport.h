#pragma once
// Scratch folders and elevation files made with GDAL, for the tests of the
// 16-bit heightmap, the terrain file set and the elevation import.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gdal.h>
#include <ogr_srs_api.h>

#include "terrain/CGdal.h"
#include "terrain/CHeightmap16File.h"

namespace elevation_test {

inline const std::string kTiles = std::string(VP_SOURCE_DIR) + "/data/Textures";

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

// A fresh empty folder for one test.
inline std::string MakeFolder(const std::string& name)
{
    const std::string path = testing::TempDir() + "/vp_elev_" + std::to_string(::getpid()) + "_" + name;
    EXPECT_EQ(std::system(("rm -rf '" + path + "'").c_str()), 0);
    EXPECT_EQ(::mkdir(path.c_str(), 0755), 0);
    return path;
}

// The names in `folder`, sorted.
inline std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.')
                names.push_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct Raster {
    std::int32_t width = 0;
    std::int32_t height = 0;
    GDALDataType type = GDT_Float32;
    std::vector<double> values; // row-major, row 0 on top
    bool hasNoData = false;
    double noData = 0.0;
    std::vector<double> geoTransform; // six coefficients, or none
    int epsg = 0;                     // spatial reference, 0 for none
};

// A raster whose value at (x, y) is f(x, y).
template <typename F>
Raster MakeValues(std::int32_t width, std::int32_t height, GDALDataType type, F f)
{
    Raster raster;
    raster.width = width;
    raster.height = height;
    raster.type = type;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            raster.values.push_back(f(x, y));
    return raster;
}

// Writes `raster` with GDAL driver `driver`, through an in-memory copy so
// that drivers without Create (SRTMHGT, AAIGrid, PNG) work too.
inline bool MakeRaster(const std::string& path, const char* driver, Raster raster)
{
    CGdal::Initialise();
    GDALDatasetH memory = GDALCreate(GDALGetDriverByName("MEM"), "", raster.width, raster.height, 1, raster.type, nullptr);
    GDALRasterBandH band = GDALGetRasterBand(memory, 1);
    bool ok = GDALRasterIO(band, GF_Write, 0, 0, raster.width, raster.height, raster.values.data(), raster.width,
                  raster.height, GDT_Float64, 0, 0)
        == CE_None;
    if (raster.hasNoData)
        GDALSetRasterNoDataValue(band, raster.noData);
    if (raster.geoTransform.size() == 6)
        GDALSetGeoTransform(memory, raster.geoTransform.data());
    if (raster.epsg != 0) {
        OGRSpatialReferenceH reference = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(reference, raster.epsg);
        GDALSetSpatialRef(memory, reference);
        OSRDestroySpatialReference(reference);
    }
    GDALDatasetH copy
        = ok ? GDALCreateCopy(GDALGetDriverByName(driver), path.c_str(), memory, FALSE, nullptr, nullptr, nullptr) : nullptr;
    if (copy != nullptr)
        GDALClose(copy);
    GDALClose(memory);
    return copy != nullptr;
}

// A width x height GTiff of `type` that takes no room on disk (no block
// written), with metadata item name=value when `name` is given.
inline bool MakeSparse(const std::string& path, std::int32_t width, std::int32_t height, GDALDataType type,
    const char* name = nullptr, const char* value = nullptr)
{
    CGdal::Initialise();
    const char* const options[] = {"SPARSE_OK=TRUE", nullptr};
    GDALDatasetH dataset = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), width, height, 1, type,
        const_cast<char**>(options));
    if (dataset != nullptr && name != nullptr)
        GDALSetMetadataItem(dataset, name, value, nullptr);
    if (dataset != nullptr)
        GDALClose(dataset);
    return dataset != nullptr;
}

// Growth of this process's peak resident memory while `f` runs, in MB.
template <typename F>
double PeakGrowthMegabytes(F f)
{
    rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    f();
    rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    return static_cast<double>(after.ru_maxrss - before.ru_maxrss) / 1024.0;
}

} // namespace elevation_test
