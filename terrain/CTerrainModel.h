#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "terrain/CBitmapEx.h"

// The heightmap of a terrain and, while a terrain is generated, its float
// height grid.
//
// Run time: m_image holds the heightmap (grey levels in the red channel);
// whoever loads it copies its width and height into m_gridWidth and
// m_gridHeight. ExtractWindow cuts height windows from it; it only reads
// m_image, so any number of threads may call it once the image is loaded
// and no longer modified.
//
// 16-bit heights: after LoadHeightmap, LoadHeights16 may add the 16-bit
// heightmap of the same terrain (CHeightmap16File). From then on
// ExtractWindow cuts height codes 0..65535 from it instead of levels, and
// HeightScale gives the world units per sample value of those windows. The
// viewer (start command and snapshot tool), once at start, on the thread
// that starts the simulation:
//     model.LoadHeightmap(".../terrainMdt_8193x8193.bmp");        // as before
//     model.LoadHeights16(".../terrainMdt_8193x8193_16.tif");
//         // 0: loaded, or no such file (classic); -1: the file is there but
//         // unusable ("Error en leer el fichero terrainMdt_8193x8193_16.tif")
// then for every landscape it builds (start and paging threads alike):
//     model.ExtractWindow(x0, y0, w, h, window);                  // as before
//     landscape->m_heightScale = model.HeightScale();             // before Initialise
// and every height it derives from a window sample (the camera's start
// height above the window centre) uses landscape->m_heightScale. Without the
// 16-bit file HeightScale is the classic 2.5 and the windows hold levels, so
// everything is exactly as before. The overview map keeps the 8-bit file.
//
// Generation: m_grid holds m_gridWidth x m_gridHeight floats, row-major,
// sample (x, y) at x + y * m_gridWidth, row 0 the top row of the image.
// Generation calls belong to one thread (they use helper threads of their
// own inside).
class CTerrainModel {
public:
    // World units per grey level of the classic heightmap.
    static constexpr float kClassicHeightScale = 2.5f;

    // Number of fault lines of a generated terrain.
    static constexpr std::int32_t kFaultLines = 1000;
    // Smoothing factor after every fault.
    static constexpr float kErosion = 0.4f;

    CTerrainModel();
    ~CTerrainModel();
    CTerrainModel(const CTerrainModel&) = delete;
    CTerrainModel& operator=(const CTerrainModel&) = delete;

    // Copies the levels (red channel; the 16-bit codes instead once
    // LoadHeights16 has loaded them) of the heightmap pixels x0 + i,
    // y0 + k (y from the top, coordinates clamped into the image) into
    // window[i + k * width]. width and height are reduced in place where the
    // window would pass the far edge (m_gridWidth, m_gridHeight); nothing is
    // clamped at the near side. The window must hold the requested
    // width * height samples. Returns -1 (nothing written, sizes unchanged)
    // without an image, 0 otherwise.
    int ExtractWindow(const std::int32_t& x0, const std::int32_t& y0, std::int32_t& width, std::int32_t& height,
        std::int32_t* window) const;

    // Releases any grid and allocates a zeroed width x height grid.
    // Returns -1 (no grid) for a size below 1 or when memory is short.
    int AllocateGrid(std::int32_t width, std::int32_t height);
    void ReleaseGrid();
    // Releases any grid and takes `grid` (width x height floats from
    // malloc, released with std::free) as the model's grid.
    void AdoptGrid(float* grid, std::int32_t width, std::int32_t height);

    // Fault formation on the allocated grid: m_faultIterations = 1000 faults
    // drawn from the portable random sequence seeded with `seed`, each
    // followed by ErodeField with kErosion, then NormaliseHeights.
    // `progress`, when given, is called after every fault with the fraction
    // of faults done; returning false stops the run. Returns 0 when the grid
    // holds the finished terrain, -1 when stopped or without a grid (at
    // least 2 samples are needed for two distinct points).
    int GenerateFaults(std::uint32_t seed, const std::function<bool(float)>& progress = {});

    // One smoothing pass over a grid of this model's size: rows left to
    // right, rows right to left, columns top to bottom, columns bottom to
    // top, each line with ErodeBand's rule.
    void ErodeField(float* grid, float k);

    // Smooths one line of m_grid: count samples from start, stride apart
    // (stride may be negative). Each sample after the first becomes
    // (1 - k) * s + k * v in double, rounded to float, v being the previous
    // sample as already replaced.
    void ErodeBand(std::int64_t start, std::int64_t stride, std::int32_t count, float k);

    // Rescales the grid linearly to 0..255 (a flat grid stays as it is).
    void NormaliseHeights();

    // Writes the grid as a 24-bit grey heightmap: level = sample truncated
    // toward zero, low 8 bits. Returns 0 when the file was written, -1
    // otherwise (also without a grid).
    int WriteHeightmapFile(const char* path) const;

    // Loads a heightmap file into m_image and copies its size into
    // m_gridWidth and m_gridHeight. Returns 0 when the image holds pixels.
    int LoadHeightmap(const char* path);

    // Loads the 16-bit heightmap at `path` for the heightmap already loaded.
    // 0 when loaded, and also when there is no file at `path` (the model
    // then stays classic); -1 when a file is there but cannot be read or its
    // size differs from the heightmap image's (the model then stays
    // classic; the size is judged from the file's header, before its
    // samples cost any memory). Drops any 16-bit heights loaded before. Call before any
    // thread cuts windows.
    int LoadHeights16(const char* path);
    bool HasHeights16() const { return !m_heights16.empty(); }
    // World units per window sample: the 16-bit file's scale, or 2.5.
    float HeightScale() const { return HasHeights16() ? m_heightScale16 : kClassicHeightScale; }

    std::int32_t m_faultIterations;
    CBitmapEx m_image;
    float* m_grid;
    std::int32_t m_gridWidth;
    std::int32_t m_gridHeight;
    // The 16-bit codes, row-major, row 0 on top; empty when classic.
    std::vector<std::uint16_t> m_heights16;
    float m_heightScale16;
};
