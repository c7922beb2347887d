#pragma once
// Paints the colour texture of one height window from the five tiles, as
// the generator paints a whole terrain (CTextureGenerator), for terrains
// that bring no colours: each window is painted when it is paged in, from
// its full-precision codes stretched over the generator's 0..255 levels by
// the terrain's lowest and highest code.
//
// Threads: LoadTiles on one thread before the painter is shared; PaintInto from
// any thread, one call at a time (serialised inside).
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "terrain/CTextureGenerator.h"

class CWindowPainter {
public:
    // Loads the tiles from `folder`. 0 when at least one tile was read, -1
    // otherwise (PaintInto then fails).
    int LoadTiles(const std::string& folder);

    // Paints the width x height window of codes at (x0, z0) of its terrain
    // (lowCode..highCode being the terrain's range) straight into `texels`
    // (height rows of `pitch` texels, window row 0 first, one texel per
    // sample, each with opaque alpha): no raster of the colours is made, and
    // the codes are only read, taken to levels row by row as they are
    // painted. 0, or -1 without tiles or when `pitch` is short of `width`.
    int PaintInto(const std::int32_t* window, std::int32_t x0, std::int32_t z0, std::int32_t width,
                  std::int32_t height, std::int32_t lowCode, std::int32_t highCode, std::uint32_t* texels,
                  std::size_t pitch);

private:
    std::mutex m_lock;
    CTextureGenerator m_generator;
    bool m_hasTiles = false;
};
