#pragma once
// Paints the colour texture of one height window from the five tiles, as
// the generator paints a whole terrain (CTextureGenerator), for terrains
// that bring no colours: each window is painted when it is paged in, from
// its full-precision codes stretched over the generator's 0..255 levels by
// the terrain's lowest and highest code.
//
// Threads: LoadTiles on one thread before the painter is shared; Paint from
// any thread, one call at a time (serialised inside).
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "terrain/CTextureGenerator.h"

class CWindowPainter {
public:
    // Loads the tiles from `folder`. 0 when at least one tile was read, -1
    // otherwise (Paint then fails).
    int LoadTiles(const std::string& folder);

    // Paints the width x height window of codes at (x0, z0) of its terrain
    // (lowCode..highCode being the terrain's range) and hands the colours (one pixel per sample) to `use`
    // before releasing them. The window's codes become the levels painted
    // (no second window in memory); the window is not read once `use` is
    // called, which may release it. 0, or -1 without tiles or memory (`use`
    // is then not called).
    int Paint(std::int32_t* window, std::int32_t x0, std::int32_t z0, std::int32_t width, std::int32_t height,
              std::int32_t lowCode,
              std::int32_t highCode, const std::function<void(const CBitmapEx&)>& use);

private:
    std::mutex m_lock;
    CTextureGenerator m_generator;
    bool m_hasTiles = false;
};
