#include "terrain/CBlendPainter.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

#include "terrain/CTextureGenerator.h"

namespace {

float Smooth(float edge0, float edge1, float x)
{
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// The triangular band weight of CTextureGenerator::BandWeight for a
// fractional level.
float BandWeight(float v, const std::int32_t band[3])
{
    const float low = static_cast<float>(band[0]);
    const float peak = static_cast<float>(band[1]);
    const float high = static_cast<float>(band[2]);
    if (v < low || v > high)
        return 0.0f;
    if (v > peak)
        return high > peak ? 1.0f - (v - peak) / (high - peak) : 1.0f;
    return peak > low ? (v - low) / (peak - low) : 1.0f;
}

} // namespace

float CBlendPainter::RockCover(float rise) { return Smooth(0.45f, 0.9f, rise); }

void CBlendPainter::Weights(const CTextureGenerator& g, float level, float weights[5])
{
    int first = -1, last = -1;
    for (int slot = 0; slot < CTextureGenerator::kSlots; ++slot) {
        weights[slot] = 0.0f;
        if (!g.m_tiles[slot].HasPixels())
            continue;
        if (first < 0)
            first = slot;
        last = slot;
    }
    if (first < 0)
        return;
    // Between the water's peak and the first land band's peak only those two
    // tiles show, water giving way to land across a few levels around the
    // gap between their bands (the plain bands leave that gap black).
    float sum = 0.0f;
    for (int slot = first; slot <= last; ++slot) {
        if (!g.m_tiles[slot].HasPixels())
            continue;
        weights[slot] = BandWeight(level, g.m_bands[slot]);
        sum += weights[slot];
    }
    if (first == 0) {
        int land = -1;
        for (int slot = 1; slot <= last && land < 0; ++slot)
            if (g.m_tiles[slot].HasPixels())
                land = slot;
        if (land > 0) {
            const float shore = 0.5f * static_cast<float>(g.m_bands[0][2] + g.m_bands[land][0]);
            const float toLand = Smooth(shore - kShoreLevels, shore + kShoreLevels, level);
            if (level < g.m_bands[land][1] && level > g.m_bands[0][1]) {
                for (int slot = 0; slot < CTextureGenerator::kSlots; ++slot)
                    weights[slot] = 0.0f;
                weights[0] = 1.0f - toLand;
                weights[land] = toLand;
                return;
            }
        }
    }
    if (sum <= 0.0f) {
        const int slot = level <= static_cast<float>(g.m_bands[first][1]) ? first : last;
        weights[slot] = 1.0f;
        return;
    }
    for (int slot = 0; slot < CTextureGenerator::kSlots; ++slot)
        weights[slot] /= sum;
}

int CBlendPainter::Paint(CTextureGenerator& g, const float* levels, float levelScale)
{
    const std::int32_t width = g.m_width;
    const std::int32_t height = g.m_height;
    if (levels == nullptr || !(levelScale > 0.0f) || width <= 0 || height <= 0 ||
        g.m_output.CreateBlank(width, height) != 0)
        return -1;
    auto at = [&](std::int32_t x, std::int32_t y) {
        x = std::clamp(x, 0, width - 1);
        y = std::clamp(y, 0, height - 1);
        return levels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x];
    };
    const bool rock = g.m_tiles[kRockSlot].HasPixels();
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            // A 3 x 3 mean, so that a band edge is a soft blend rather than
            // the outline of single samples.
            float sum = 0.0f;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    sum += at(x + dx, y + dy);
            const float level = sum / 9.0f;
            const float dx = 0.5f * (at(x + 1, y) - at(x - 1, y)) * levelScale;
            const float dz = 0.5f * (at(x, y + 1) - at(x, y - 1)) * levelScale;
            float weights[CTextureGenerator::kSlots];
            Weights(g, level, weights);
            const float cover = rock ? RockCover(std::sqrt(dx * dx + dz * dz)) : 0.0f;
            float r = 0.0f, gr = 0.0f, b = 0.0f;
            for (int slot = 0; slot < CTextureGenerator::kSlots; ++slot) {
                float w = weights[slot] * (1.0f - cover);
                if (slot == kRockSlot)
                    w += cover;
                if (w <= 0.0f)
                    continue;
                const CBitmapEx& tile = g.m_tiles[slot];
                const std::uint32_t c = tile.ReadPixel(x % tile.Width(), y % tile.Height());
                r += static_cast<float>((c >> 16) & 0xFF) * w;
                gr += static_cast<float>((c >> 8) & 0xFF) * w;
                b += static_cast<float>(c & 0xFF) * w;
            }
            const auto channel = [](float v) {
                return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L));
            };
            g.m_output.WritePixel(x, y, channel(r) << 16 | channel(gr) << 8 | channel(b));
        }
    }
    return 0;
}
