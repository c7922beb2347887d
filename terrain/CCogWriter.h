#pragma once
// Writes elevation rasters as one cloud-optimised GeoTIFF with overviews, for
// a terrain flown straight from its file (CGdalTerrainSource): any raster
// GDAL opens, or several tiles mosaicked by their georeferencing, of any
// size. GDAL streams the copy block by block through its bounded cache, so
// memory does not grow with the raster. Samples keep their type, no-data
// value and georeferencing; 512-sample tiles, DEFLATE with the predictor,
// averaged overviews down to one tile.
//
// The file is written under a staging name beside OUT and renamed over it
// only when complete: a failed or cancelled run leaves OUT as it was.
//
// Run belongs to one thread; Cancel and Progress may be called from any
// thread while it runs. Use one object per run.
#include <atomic>
#include <string>
#include <vector>

class CCogWriter {
public:
    struct Settings {
        std::vector<std::string> sources; // one raster, or tiles to mosaic
        std::string out;                  // OUT.tif
    };

    // 0 with Message() describing the file written; -1 with the Spanish reason.
    int Run(const Settings& settings);

    void Cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    float Progress() const { return m_progress.load(std::memory_order_relaxed); }
    const std::string& Message() const { return m_message; }
    // No tiles are painted here: nothing is ever missing.
    const std::vector<std::string>& MissingTiles() const { return m_missingTiles; }

private:
    static int OnProgress(double fraction, const char* message, void* self);

    std::atomic<bool> m_cancel{false};
    std::atomic<float> m_progress{0.0f};
    std::string m_message;
    std::vector<std::string> m_missingTiles;
};
