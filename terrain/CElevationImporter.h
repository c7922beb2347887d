#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "terrain/TerrainFiles.h"

class CElevationGrid;

// Imports real elevation data: reads an elevation file through GDAL
// (GeoTIFF of integer or float samples, SRTM .hgt, 16-bit PNG, ASCII grid,
// ENVI and other rasters GDAL reads; band 1, with its scale and offset
// applied), fills its no-data holes from their neighbours, resamples it on
// request and writes the terrain files of a folder as one set
// (CTerrainWriter): heightmap and texture bitmaps exactly as the generator
// writes them, and the 16-bit heightmap with the full precision.
//
// Heights become levels by stretching the lowest to highest height over
// 0..255. The 16-bit file's scale keeps the relief in true proportion to
// the sample spacing (one world unit per sample horizontally), multiplied
// by the vertical exaggeration `verticalScale`. The spacing comes from the
// file's georeferencing (projected units converted to metres; degrees
// converted at the raster's middle latitude); without georeferencing a
// sample counts as 10 metres and heights as metres.
//
// Run belongs to one thread; Cancel and Progress may be called from any
// thread while it runs. Use one object per run.
class CElevationImporter {
public:
    static constexpr std::int32_t kMinSize = 2;
    static constexpr std::int32_t kMaxSize = 16385;
    // Metres per sample of a file without georeferencing.
    static constexpr double kDefaultSpacing = 10.0;

    struct Settings {
        std::string source;                     // the elevation file
        std::string folder = ".";               // where the terrain files go
        std::int32_t size = 0;                  // longer side after resampling; 0 keeps the file's size
        double verticalScale = 1.0;             // exaggeration over true proportion
        std::string texturesFolder = TerrainFiles::kTilesFolder; // where the tiles are
        bool blend = false;                     // soft bands (CBlendPainter)
    };

    CElevationImporter() = default;
    CElevationImporter(const CElevationImporter&) = delete;
    CElevationImporter& operator=(const CElevationImporter&) = delete;

    // Imports and writes the files. 0 on success, Message() then describing
    // the terrain; -1 on failure or cancellation with the folder as it was
    // and Message() holding the Spanish reason.
    int Run(const Settings& settings);

    // Reads band 1 of `path` into `grid` in metres (holes NaN) and gives the
    // sample spacing in metres. 0, or -1 with Message() set.
    int ReadElevations(const std::string& path, CElevationGrid& grid, double& spacingX, double& spacingY);

    // The size a width x height raster takes when its longer side becomes
    // `size` (0 keeps it), the shorter one in proportion, at least 2.
    static void TargetSize(std::int32_t width, std::int32_t height, std::int32_t size, std::int32_t& outWidth,
        std::int32_t& outHeight);

    void Cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    float Progress() const { return m_progress.load(std::memory_order_relaxed); }

    // Read after Run has returned.
    const std::string& Message() const { return m_message; }
    const std::vector<std::string>& MissingTiles() const { return m_missingTiles; }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    double HeightScale() const { return m_heightScale; } // world units per code

private:
    int Fail(const std::string& message);
    bool GoOn(float fraction);

    std::atomic<bool> m_cancel{false};
    std::atomic<float> m_progress{0.0f};
    std::string m_message;
    std::vector<std::string> m_missingTiles;
    std::vector<double> m_geoTransform; // of the file read, or empty
    std::string m_projection;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    double m_heightScale = 0.0;
};
