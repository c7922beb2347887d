#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "terrain/CTerrainWriter.h"
#include "terrain/TerrainFiles.h"

// One whole terrain generation: a fault-formation heightmap of size x size
// samples and its texture painted from the five tiles, written as the two
// terrain files of a folder.
//
// Run belongs to one thread (typically a worker); it shares its heavy steps
// with helper threads of its own. Cancel and Progress may be called from any
// thread while it runs. Nothing outside the object changes except the
// terrain files, written as one set (CTerrainWriter): a failed or cancelled
// run leaves earlier files as they were. With `heights16` the 16-bit
// heightmap is written too, from the float grid before it is truncated to
// levels, with the classic proportion (2.5 world units per level); without
// it an earlier 16-bit heightmap is removed with the set. The bitmaps are
// the same either way. Use one object per run.
class CTerrainGenerator {
public:
    static constexpr std::int32_t kDefaultSize = 8193;
    static constexpr std::int32_t kMinSize = 2;
    static constexpr std::int32_t kMaxSize = 16385;

    struct Settings {
        std::string folder = ".";              // where the two files go
        std::int32_t size = kDefaultSize;      // grid side in samples
        std::uint32_t seed = 0;                // seed of the random sequence
        std::string texturesFolder = TerrainFiles::kTilesFolder; // where the tiles are
        bool heights16 = false;                // also write the 16-bit heightmap
        bool blend = false;                    // paint with CBlendPainter instead of the plain bands
    };

    CTerrainGenerator() = default;
    CTerrainGenerator(const CTerrainGenerator&) = delete;
    CTerrainGenerator& operator=(const CTerrainGenerator&) = delete;

    // Generates and writes both files. Returns 0 on success; Message() then
    // holds "Tiempo en generar un terreno de W x H pixeles y su textura:M
    // minutos". Returns -1 on failure or cancellation, Message() holding the
    // Spanish reason. Missing tiles are skipped (MissingTiles() names them);
    // a run without any tile fails, as its texture could only be black.
    int Run(const Settings& settings);

    // Asks a running (or the next) Run to stop at its next step.
    void Cancel() { m_cancel.store(true, std::memory_order_relaxed); }
    bool CancelRequested() const { return m_cancel.load(std::memory_order_relaxed); }

    // Fraction of the run done, 0..1.
    float Progress() const { return m_progress.load(std::memory_order_relaxed); }

    // Read after Run has returned.
    const std::string& Message() const { return m_message; }
    const std::vector<std::string>& MissingTiles() const { return m_missingTiles; }

private:
    int Fail(const std::string& message);
    void SetProgress(float fraction) { m_progress.store(fraction, std::memory_order_relaxed); }

    std::atomic<bool> m_cancel{false};
    std::atomic<float> m_progress{0.0f};
    std::string m_message;
    std::vector<std::string> m_missingTiles;
};
