#pragma once
// The soft-band painting of `vantapeak-terrain --blend`: the generator's
// tiles and bands, but with the band weights of a smoothed height divided by
// their sum (so a texel keeps its tiles' full brightness and neighbouring
// bands fade into each other over the whole overlap), water fading into the
// lowest ground over a few levels instead of through black, and the rock
// tile laid over slopes steeper than about 30 degrees. The plain painting
// (CTextureGenerator::Synthesize) stays the default and is not touched.
#include <cstdint>

class CTextureGenerator;

class CBlendPainter {
public:
    // World height of one grey level over one sample of horizontal distance,
    // as the landscape draws a classic terrain.
    static constexpr float kHeightScale = 2.5f;
    // The tile laid on steep slopes.
    static constexpr int kRockSlot = 3;
    // Levels over which water fades into the lowest ground, centred on the
    // gap between the water band's top and the next band's bottom.
    static constexpr float kShoreLevels = 4.0f;

    // Paints generator.m_output (m_width x m_height, from m_bands and
    // m_tiles, ComputeBands done) from `levels`: m_width x m_height heights
    // row-major, row 0 on top, in fractional grey levels 0..255 (the
    // heights before they are cut to whole levels, so that no level step
    // shows as a contour), with `levelScale` world units per level for the
    // slope. m_heightWindow is not read. 0, or -1 when there are no levels,
    // the scale is not positive or the raster cannot be made. Runs on the
    // calling thread.
    static int Paint(CTextureGenerator& generator, const float* levels, float levelScale = kHeightScale);

    // The weight of each slot for a (fractional) level, divided by their sum;
    // slots without a tile get 0. Levels below every band take the lowest
    // present one, levels above every band the highest present one.
    static void Weights(const CTextureGenerator& generator, float level, float weights[5]);

    // How much of the rock tile covers a texel whose height changes by
    // `rise` world units per unit of ground (0 flat, 1 at 45 degrees): 0 up
    // to 0.45, rising smoothly to 1 at 0.9.
    static float RockCover(float rise);
};
