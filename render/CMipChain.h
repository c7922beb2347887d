#pragma once
// The mip levels of a 0xAARRGGBB image, made on the processor by 2 x 2 box
// filtering. Level k of a width x height image is max(1, width >> k) x
// max(1, height >> k); the chain ends at 1 x 1. Pure computation, any thread:
// the paging thread builds a page texture's chain next to its level 0 so
// that the render thread only copies.
#include <cstdint>

class CMipChain {
public:
    // Levels of the full chain of a width x height image (1 for 1 x 1, 13
    // for 4096 x 4096); 0 when a size is 0.
    static unsigned LevelCount(unsigned width, unsigned height);
    // Width (or height) of level `level` of a chain whose level 0 has `size`.
    static unsigned LevelSize(unsigned size, unsigned level);
    // dst (max(1, w / 2) x max(1, h / 2), rows of dstPitch texels) from src
    // (w x h, rows of srcPitch texels): each channel of texel (i, j) is the
    // rounded mean of src texels (2i, 2j), (2i + 1, 2j), (2i, 2j + 1) and
    // (2i + 1, 2j + 1), a coordinate past the last column or row taken at it.
    static void Reduce(const std::uint32_t* src, unsigned width, unsigned height, unsigned srcPitch,
                       std::uint32_t* dst, unsigned dstPitch);
};
