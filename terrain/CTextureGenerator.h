#pragma once
#include <cstddef>
#include <cstdint>

#include "terrain/CBitmapEx.h"

// Paints a colour texture for a height window, one texel per sample, by
// blending five repeating tiles by elevation band: slot 0 water, slots 1 to
// 4 the lowest to the highest ground.
//
// The caller loads the tiles into m_tiles in slot order, adding 1 to
// m_tileCount after every attempt (successful or not), calls ComputeBands,
// points m_heightWindow, m_width and m_height at its window and calls
// Synthesize. A tile that failed to load stays empty and is skipped. One
// thread drives a generator; Synthesize uses helper threads of its own.
class CTextureGenerator {
public:
    static constexpr int kSlots = 5;

    CTextureGenerator();
    CTextureGenerator(const CTextureGenerator&) = delete;
    CTextureGenerator& operator=(const CTextureGenerator&) = delete;

    // Band 0 is (0, 5, 10). With s = 255 / m_tileCount (integer division;
    // a count below 1 counts as 1) and a = 10, each later slot whose tile
    // holds pixels gets low = a + 1, peak = a + s, high = 2 * peak - low,
    // and a moves to peak; an empty slot's band is left as it was.
    void ComputeBands();

    // Paints m_output as a width x height raster from m_heightWindow. Each
    // texel is the sum over present tiles of tile colour times the band
    // weight (float), divided by the number of tiles with a positive weight
    // and truncated; black where no weight is positive. Tiles repeat from
    // the top-left corner. Returns 0, or -1 when the size does not match
    // m_width x m_height, there is no window, or the raster cannot be made.
    int Synthesize(std::int32_t width, std::int32_t height);

    // Weight of level v in the band (low, peak, high), as a 32-bit float.
    static float BandWeight(std::int32_t v, const std::int32_t band[3]);

    std::int32_t m_bands[kSlots][3];
    CBitmapEx m_tiles[kSlots];
    std::int32_t m_tileCount;
    const std::int32_t* m_heightWindow; // borrowed from the caller
    // Or, when not null, a window of codes read instead of m_heightWindow,
    // each taken to LevelOfCode(code, m_lowCode, m_highCode) as its row is
    // painted: no window of levels is held. Borrowed from the caller.
    const std::int32_t* m_codeWindow = nullptr;
    std::int32_t m_lowCode = 0;
    std::int32_t m_highCode = 0;
    // The level 0..255 of `code` in a terrain whose codes span low..high:
    // (code - low) * 255 / max(1, high - low) in double, truncated, clamped.
    static std::int32_t LevelOfCode(std::int32_t code, std::int32_t low, std::int32_t high);
    // When not null, Synthesize paints here instead of into m_output: window
    // row y at m_target + y * m_targetPitch, every texel with opaque alpha;
    // borrowed from the caller.
    std::uint32_t* m_target = nullptr;
    std::size_t m_targetPitch = 0;
    std::int32_t m_width;
    std::int32_t m_height;
    // Where the window lies in its terrain (non-negative samples): the tiles
    // repeat from the terrain's corner, so that windows painted one by one
    // join up. 0, 0 for a whole terrain.
    std::int32_t m_tileOriginX = 0;
    std::int32_t m_tileOriginY = 0;
    CBitmapEx m_output;

private:
    void PaintRows(std::int32_t firstRow, std::int32_t endRow);
};
