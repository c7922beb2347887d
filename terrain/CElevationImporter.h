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
    // Smallest file read (two samples a side to resample between).
    static constexpr std::int32_t kMinSize = 2;
    // Sides of the terrain made: the viewer's terrain sizes.
    static constexpr std::int32_t kMinTerrainSize = 257;
    static constexpr std::int32_t kMaxSize = 16385;
    // Message() of a cancelled run.
    static constexpr const char* kCancelledMessage = "Importación del terreno cancelada";
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

    // Reads band 1 of `path` into `grid` in metres (holes NaN: no-data and
    // fill values, CElevationChecks) and gives the sample spacing in metres.
    // Everything the header tells is judged before a sample is read: a VRT
    // with raw bands (unless allowed, CGdal), a terrain that at `size` (as
    // Settings::size) would fall outside kMinTerrainSize..kMaxSize, an
    // unbelievable pixel size. 0, or -1 with Message() set (and Detail()
    // when GDAL said why a network read failed).
    int ReadElevations(const std::string& path, std::int32_t size, CElevationGrid& grid, double& spacingX,
        double& spacingY);

    // The size a width x height raster takes when its longer side becomes
    // `size` (0 keeps it), the shorter one in proportion, at least 2.
    static void TargetSize(std::int32_t width, std::int32_t height, std::int32_t size, std::int32_t& outWidth,
        std::int32_t& outHeight);

    void Cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    // Gives the run up for a caller whose cancel is not heeded (a network
    // read that hangs on): true when the run had not started writing the
    // terrain's files yet and now never will (it holds the folder's lock and
    // may have removed leftovers of killed runs, nothing more), so the
    // caller may end the process without leaving anything behind; false once
    // the run is writing.
    bool Abandon();
    float Progress() const { return m_progress.load(std::memory_order_relaxed); }

    // Read after Run has returned.
    const std::string& Message() const { return m_message; }
    // GDAL's own words for a failed network read (English), or empty.
    const std::string& Detail() const { return m_detail; }
    const std::vector<std::string>& MissingTiles() const { return m_missingTiles; }
    std::int32_t Width() const { return m_width; }
    std::int32_t Height() const { return m_height; }
    double HeightScale() const { return m_heightScale; } // world units per code

private:
    int Fail(const std::string& message);
    // Fails a read of `path` with `reason`, or with the network's cause when
    // GDAL reported one (kept in m_detail), or as cancelled.
    int FailRead(const std::string& path, const char* reason, const std::string& networkError, bool noResponse);
    bool GoOn(float fraction);

    std::atomic<bool> m_cancel{false};
    std::atomic<float> m_progress{0.0f};
    // kReading, then kWriting (the run writes the set) or kAbandoned.
    enum Stage { kReading, kWriting, kAbandoned };
    std::atomic<Stage> m_stage{kReading};
    std::string m_message;
    std::string m_detail;
    std::vector<std::string> m_missingTiles;
    std::vector<double> m_geoTransform; // of the file read, or empty
    std::string m_projection;
    std::int32_t m_width = 0;
    std::int32_t m_height = 0;
    double m_heightScale = 0.0;
};
