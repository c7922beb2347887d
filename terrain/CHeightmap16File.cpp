#include "terrain/CHeightmap16File.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <gdal.h>
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>

#include "terrain/CGdal.h"

namespace {

// Rows converted and written per GDAL call.
constexpr std::int32_t kRowsPerBlock = 256;

} // namespace

std::uint16_t CHeightmap16File::Code(float level)
{
    const float code = std::nearbyint(level * kCodesPerLevel);
    if (!(code > 0.0f))
        return 0;
    return code >= 65535.0f ? 65535 : static_cast<std::uint16_t>(code);
}

bool CHeightmap16File::IsSaneHeightScale(double heightScale)
{
    return std::isfinite(heightScale) && heightScale >= kMinHeightScale && heightScale <= kMaxHeightScale;
}

int CHeightmap16File::WriteLevels(const char* path, const float* levels, std::int32_t width, std::int32_t height,
    double heightScale, const double* geoTransform, const char* projection)
{
    if (path == nullptr || levels == nullptr || width < 1 || height < 1 || !IsSaneHeightScale(heightScale))
        return -1;
    CGdal::Initialise();
    CGdal::CQuiet quiet;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (driver == nullptr)
        return -1;
    char** options = nullptr;
    options = CSLSetNameValue(options, "BIGTIFF", "IF_NEEDED");
    GDALDatasetH dataset = GDALCreate(driver, path, width, height, 1, GDT_UInt16, options);
    CSLDestroy(options);
    if (dataset == nullptr)
        return -1;
    char scale[64];
    std::snprintf(scale, sizeof scale, "%.17g", heightScale);
    bool ok = GDALSetMetadataItem(dataset, kScaleItem, scale, nullptr) == CE_None;
    if (geoTransform != nullptr)
        ok = ok && GDALSetGeoTransform(dataset, const_cast<double*>(geoTransform)) == CE_None;
    if (projection != nullptr && *projection != '\0')
        ok = ok && GDALSetProjection(dataset, projection) == CE_None;

    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    const std::size_t rowSamples = static_cast<std::size_t>(width);
    std::uint16_t* block = new (std::nothrow) std::uint16_t[rowSamples * kRowsPerBlock];
    ok = ok && block != nullptr;
    for (std::int32_t row = 0; ok && row < height; row += kRowsPerBlock) {
        const std::int32_t rows = std::min(kRowsPerBlock, height - row);
        const float* in = levels + static_cast<std::size_t>(row) * rowSamples;
        for (std::size_t i = 0; i < rowSamples * static_cast<std::size_t>(rows); ++i)
            block[i] = Code(in[i]);
        ok = GDALRasterIO(band, GF_Write, 0, row, width, rows, block, width, rows, GDT_UInt16, 0, 0) == CE_None;
        // Written blocks wait in GDAL's cache until flushed: flush each
        // block of rows, so the file is never held in memory as a whole.
        ok = ok && GDALFlushRasterCache(band) == CE_None;
    }
    delete[] block;
    // Flushing and closing report failures only through the error state.
    CPLErrorReset();
    GDALFlushCache(dataset);
    GDALClose(dataset);
    ok = ok && CPLGetLastErrorType() != CE_Failure && CPLGetLastErrorType() != CE_Fatal;
    return ok ? 0 : -1;
}

int CHeightmap16File::Read(const char* path, std::vector<std::uint16_t>& codes, std::int32_t& width,
    std::int32_t& height, double& heightScale, std::int32_t expectedWidth, std::int32_t expectedHeight)
{
    if (path == nullptr)
        return -1;
    CGdal::Initialise();
    CGdal::CQuiet quiet;
    const char* const drivers[] = {"GTiff", nullptr};
    GDALDatasetH dataset = GDALOpenEx(path, GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr);
    if (dataset == nullptr)
        return -1;
    int result = -1;
    const int w = GDALGetRasterXSize(dataset);
    const int h = GDALGetRasterYSize(dataset);
    const char* item = GDALGetMetadataItem(dataset, kScaleItem, nullptr);
    char* end = nullptr;
    const double scale = item != nullptr ? std::strtod(item, &end) : 0.0;
    const bool scaleOk = item != nullptr && end != item && *end == '\0' && IsSaneHeightScale(scale);
    const bool sizeOk = w >= 1 && h >= 1 && (expectedWidth == 0 || w == expectedWidth)
        && (expectedHeight == 0 || h == expectedHeight);
    if (scaleOk && sizeOk && GDALGetRasterCount(dataset) == 1
        && GDALGetRasterDataType(GDALGetRasterBand(dataset, 1)) == GDT_UInt16) {
        std::vector<std::uint16_t> samples;
        try {
            samples.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        } catch (const std::bad_alloc&) {
            samples.clear();
        }
        // Read in row blocks, each dropped from GDAL's block cache once
        // copied, so that the file is held once in memory, not twice.
        GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
        bool ok = !samples.empty();
        for (int row = 0; ok && row < h; row += kRowsPerBlock) {
            const int rows = std::min(kRowsPerBlock, h - row);
            ok = GDALRasterIO(band, GF_Read, 0, row, w, rows, samples.data() + static_cast<std::size_t>(row) * w, w,
                     rows, GDT_UInt16, 0, 0)
                == CE_None;
            GDALFlushRasterCache(band);
        }
        if (ok) {
            codes.swap(samples);
            width = w;
            height = h;
            heightScale = scale;
            result = 0;
        }
    }
    GDALClose(dataset);
    return result;
}
