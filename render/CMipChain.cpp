#include "render/CMipChain.h"

#include <algorithm>

unsigned CMipChain::LevelCount(unsigned width, unsigned height)
{
    if (width == 0 || height == 0)
        return 0;
    unsigned levels = 1;
    for (unsigned size = std::max(width, height); size > 1; size >>= 1)
        ++levels;
    return levels;
}

unsigned CMipChain::LevelSize(unsigned size, unsigned level)
{
    return level >= 32 ? 1u : std::max(1u, size >> level);
}

void CMipChain::Reduce(const std::uint32_t* src, unsigned width, unsigned height, unsigned srcPitch,
                       std::uint32_t* dst, unsigned dstPitch)
{
    const unsigned outWidth = LevelSize(width, 1);
    const unsigned outHeight = LevelSize(height, 1);
    for (unsigned j = 0; j < outHeight; ++j) {
        const std::uint32_t* row0 = src + static_cast<std::size_t>(std::min(2 * j, height - 1)) * srcPitch;
        const std::uint32_t* row1 = src + static_cast<std::size_t>(std::min(2 * j + 1, height - 1)) * srcPitch;
        std::uint32_t* out = dst + static_cast<std::size_t>(j) * dstPitch;
        for (unsigned i = 0; i < outWidth; ++i) {
            const unsigned x0 = std::min(2 * i, width - 1);
            const unsigned x1 = std::min(2 * i + 1, width - 1);
            const std::uint32_t a = row0[x0], b = row0[x1], c = row1[x0], d = row1[x1];
            // Two channels at a time: the even bytes, then the odd ones, each
            // sum of four bytes fits the 16 bits it has.
            const std::uint32_t even = (a & 0x00FF00FFu) + (b & 0x00FF00FFu) + (c & 0x00FF00FFu) +
                                       (d & 0x00FF00FFu) + 0x00020002u;
            const std::uint32_t odd = ((a >> 8) & 0x00FF00FFu) + ((b >> 8) & 0x00FF00FFu) +
                                      ((c >> 8) & 0x00FF00FFu) + ((d >> 8) & 0x00FF00FFu) + 0x00020002u;
            out[i] = ((even >> 2) & 0x00FF00FFu) | (((odd >> 2) & 0x00FF00FFu) << 8);
        }
    }
}
