#pragma once
// Helpers for the tests of the 16-bit heightmap and the elevation import:
// scratch folders and elevation files made with GDAL.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

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
    const std::string command = "rm -rf '" + path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(::mkdir(path.c_str(), 0755), 0);
    return path;
}

inline std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What a raster file made by MakeRaster holds.
struct Raster {
    std::int32_t width = 0;
    std::int32_t height = 0;
    GDALDataType type = GDT_Float32;
    std::vector<double> values; // row-major, row 0 on top
    bool hasNoData = false;
    double noData = 0.0;
    std::vector<double> geoTransform; // six coefficients, or empty
    int epsg = 0;                     // spatial reference, 0 for none
};

// Writes `raster` with GDAL driver `driver` (through an in-memory copy, so
// that drivers without Create work too). Returns whether it succeeded.
inline bool MakeRaster(const std::string& path, const char* driver, const Raster& raster)
{
    CHeightmap16File::InitialiseGdal();
    GDALDatasetH memory
        = GDALCreate(GDALGetDriverByName("MEM"), "", raster.width, raster.height, 1, raster.type, nullptr);
    if (memory == nullptr)
        return false;
    GDALRasterBandH band = GDALGetRasterBand(memory, 1);
    std::vector<double> values = raster.values;
    bool ok = GDALRasterIO(band, GF_Write, 0, 0, raster.width, raster.height, values.data(), raster.width,
                  raster.height, GDT_Float64, 0, 0)
        == CE_None;
    if (raster.hasNoData)
        GDALSetRasterNoDataValue(band, raster.noData);
    if (raster.geoTransform.size() == 6) {
        std::vector<double> transform = raster.geoTransform;
        GDALSetGeoTransform(memory, transform.data());
    }
    if (raster.epsg != 0) {
        OGRSpatialReferenceH reference = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(reference, raster.epsg);
        GDALSetSpatialRef(memory, reference);
        OSRDestroySpatialReference(reference);
    }
    GDALDatasetH copy = ok ? GDALCreateCopy(GDALGetDriverByName(driver), path.c_str(), memory, FALSE, nullptr,
                                 nullptr, nullptr)
                           : nullptr;
    ok = copy != nullptr;
    if (copy != nullptr)
        GDALClose(copy);
    GDALClose(memory);
    return ok;
}

// A raster whose value at (x, y) is f(x, y).
template <typename F>
Raster MakeValues(std::int32_t width, std::int32_t height, GDALDataType type, F f)
{
    Raster raster;
    raster.width = width;
    raster.height = height;
    raster.type = type;
    raster.values.resize(static_cast<std::size_t>(width) * height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x)
            raster.values[static_cast<std::size_t>(y) * width + x] = f(x, y);
    return raster;
}

} // namespace elevation_test
