#pragma once
// The ground detail of the enhanced look: the five tiles the terrain's
// texture was painted from, drawn at their own resolution near the camera
// with the weights the soft painting (CBlendPainter) gives each tile by
// height and slope.
#include <array>
#include <cstdint>
#include <vector>

struct DetailSet {
    static constexpr int kSlots = 5;
    static constexpr int kLevels = 256;
    // Square tiles of tileSize texels a side, 0xAARRGGBB rows top first;
    // an empty tile is missing and never weighted.
    unsigned tileSize = 0;
    std::array<std::vector<std::uint32_t>, kSlots> tiles;
    // weights[level][slot]: the band weight of each slot on flat ground at
    // each whole grey level, summing to 1 over the present slots.
    std::vector<std::array<float, kSlots>> weights;
    // The slot laid over steep slopes, -1 for none.
    int rockSlot = -1;
    // World units per grey level of the terrain drawn, and the world height
    // of level 0 (above 0 for a streamed terrain, whose levels stretch its
    // own range of heights).
    float levelScale = 2.5f;
    float levelBase = 0.0f;

    bool Empty() const { return tileSize == 0 || weights.size() != static_cast<std::size_t>(kLevels); }
};
