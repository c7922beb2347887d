#pragma once
// A terrain read straight from any raster GDAL opens (GeoTIFF and
// cloud-optimised GeoTIFF, SRTM .hgt, 16-bit PNG, ASCII grid, VRT, a URL
// GDAL reads), or from several tiles given together (mosaicked by their
// georeferencing into a VRT held in memory, so windows cross the seams),
// window by window: nothing of the terrain is held whole. GDAL's block cache
// (bounded, CGdal::Initialise) keeps the blocks recently read.
//
// Heights follow the import's rules (CElevationRules): band 1 with its scale,
// offset and unit; the spacing from the georeferencing; no-data holes filled
// from their neighbours (CElevationGrid::FillHoles, within the window). A
// window sample is a code 0..65535: the raw sample itself for unsigned
// integer rasters of up to 16 bits, the raw sample less the raster's lowest
// for signed 16-bit ones, and the raster's lowest to highest stretched over
// 0..65535 for any other type. HeightScale gives the world units per code,
// one world unit being one sample horizontally, times the vertical scale; a
// raster carrying vantaPeak's own VANTAPEAK_HEIGHT_SCALE item keeps it.
//
// Colours come from an optional imagery raster (any GDAL RGB raster),
// placed onto the elevation grid by the georeferencing of both (stretched
// over the whole terrain when either has none).
//
// Threads: Open and OpenImagery on one thread before the source is shared;
// then any thread may read (reads are serialised inside).
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gdal.h>

#include "terrain/ITerrainSource.h"

class CGdalTerrainSource : public ITerrainSource {
public:
    CGdalTerrainSource();
    ~CGdalTerrainSource() override;
    CGdalTerrainSource(const CGdalTerrainSource&) = delete;
    CGdalTerrainSource& operator=(const CGdalTerrainSource&) = delete;

    // Opens the elevation raster `files` (one file, or tiles to mosaic) with
    // the vertical exaggeration `verticalScale` (> 0). 0, or -1 with the
    // Spanish reason in Message().
    int Open(const std::vector<std::string>& files, double verticalScale = 1.0);
    // Opens the colour raster for the windows. 0, or -1 with Message() set.
    int OpenImagery(const std::string& file);

    const std::string& Message() const { return m_message; }
    // Whether the raster has overviews (reduced reads are then quick).
    bool HasOverviews() const { return m_band != nullptr && GDALGetOverviewCount(m_band) > 0; }

    std::int32_t Width() const override { return m_width; }
    std::int32_t Height() const override { return m_height; }
    float HeightScale() const override { return m_heightScale; }
    double Spacing() const override { return m_spacing; }
    bool Streamed() const override { return true; }
    void CodeRange(std::int32_t* low, std::int32_t* high) const override
    {
        *low = m_lowCode;
        *high = m_highCode;
    }
    int ReadWindow(std::int32_t x0, std::int32_t z0, std::int32_t* width, std::int32_t* height,
                   std::int32_t* window) override;
    const CBitmapEx* ColourRaster() const override { return nullptr; }
    int ReadColours(std::int32_t x0, std::int32_t z0, std::int32_t width, std::int32_t height,
                    CBitmapEx* colours) override;

    // The whole terrain's codes at a reduced size (the longer side at most
    // `maxSide`), read from the coarsest overview that serves (or, without
    // overviews, once from the full raster, `progress` told the fraction
    // done and returning false to stop). 0, or -1.
    int ReadReduced(std::int32_t maxSide, std::vector<std::int32_t>* codes, std::int32_t* width,
                    std::int32_t* height, int (*progress)(double, const char*, void*) = nullptr,
                    void* progressData = nullptr);

private:
    int Fail(const std::string& message);
    // The lowest and highest height of a reduced read of the whole raster,
    // holes left out. 0, or -1 when it has none.
    int SampledRange(double range[2]);
    // Reads the width x height source rectangle at (x0, z0) into `codes`
    // (bufferWidth x bufferHeight of them, after GDAL's resampling), holes
    // filled. Under m_lock. 0, or -1.
    int ReadCodes(std::int32_t x0, std::int32_t z0, std::int32_t width, std::int32_t height,
                  std::int32_t bufferWidth, std::int32_t bufferHeight, std::int32_t* codes,
                  GDALRasterIOExtraArg* extra);

    // Under m_lock: after a failed read of a served file, the file is opened
    // afresh before the next read (GDAL keeps a tile that failed as failed),
    // when the server answers and still serves the same version of it; else
    // the dataset stays as it is (what it has read still reads).
    void ReopenIfFailed();

    std::mutex m_lock; // every GDAL call on the two datasets
    GDALDatasetH m_dataset = nullptr;
    GDALDatasetH m_imagery = nullptr;
    GDALRasterBandH m_band = nullptr;
    std::string m_message;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    double m_spacing = 0.0;
    float m_heightScale = 1.0f;
    double m_transform[6] = {};
    bool m_georeferenced = false;
    // Code of a raw sample v: (v - m_low) * m_codesPerUnit, rounded, clamped.
    double m_low = 0.0;
    double m_codesPerUnit = 1.0;
    bool m_integerCodes = false; // codes are the samples less m_low, read as integers
    std::int32_t m_lowCode = 0;
    std::int32_t m_highCode = 0;
    bool m_hasNoData = false;
    double m_noData = 0.0;
    std::string m_servedName;    // the name a served single file is opened by; else empty
    std::string m_servedVersion; // CTileCache::Version when it was opened
    bool m_readFailed = false;
};
