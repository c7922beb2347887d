#include "terrain/CTextureGenerator.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace {

// Levels 0..255 (every level a heightmap can hold) use a table of weights.
constexpr std::int32_t kLevels = 256;

// The blend of one level: the present slots with a positive weight, in slot
// order, and their weights.
struct LevelBlend {
    std::int32_t count = 0;
    std::int32_t slots[CTextureGenerator::kSlots] = {};
    float weights[CTextureGenerator::kSlots] = {};
};

inline void AdvanceTileColumns(std::int32_t* tileX, const std::int32_t* tileWidths)
{
    for (int slot = 0; slot < CTextureGenerator::kSlots; ++slot)
        if (++tileX[slot] == tileWidths[slot])
            tileX[slot] = 0;
}

} // namespace

CTextureGenerator::CTextureGenerator()
    : m_bands{}
    , m_tileCount(0)
    , m_heightWindow(nullptr)
    , m_width(0)
    , m_height(0)
{
}

void CTextureGenerator::ComputeBands()
{
    m_bands[0][0] = 0;
    m_bands[0][1] = 5;
    m_bands[0][2] = 10;
    std::int32_t a = 10;
    const std::int32_t s = 255 / (m_tileCount < 1 ? 1 : m_tileCount);
    for (int slot = 1; slot < kSlots; ++slot) {
        if (!m_tiles[slot].HasPixels())
            continue;
        const std::int32_t low = a + 1;
        const std::int32_t peak = a + s;
        m_bands[slot][0] = low;
        m_bands[slot][1] = peak;
        m_bands[slot][2] = 2 * peak - low;
        a = peak;
    }
}

float CTextureGenerator::BandWeight(std::int32_t v, const std::int32_t band[3])
{
    const std::int32_t low = band[0];
    const std::int32_t peak = band[1];
    const std::int32_t high = band[2];
    if (v < low || v > high)
        return 0.0f;
    if (v > peak) {
        const float q = static_cast<float>(v - peak) / static_cast<float>(high - peak);
        return 1.0f - q;
    }
    // A band that rises over no levels (only with absurd tile counts) has
    // its full weight at the peak instead of dividing by zero.
    if (peak == low)
        return 1.0f;
    return static_cast<float>(v - low) / static_cast<float>(peak - low);
}

std::int32_t CTextureGenerator::LevelOfCode(std::int32_t code, std::int32_t low, std::int32_t high)
{
    const double range = std::max(1, high - low);
    return std::clamp(static_cast<std::int32_t>((code - low) * 255.0 / range), 0, 255);
}

int CTextureGenerator::Synthesize(std::int32_t width, std::int32_t height)
{
    if ((m_heightWindow == nullptr && m_codeWindow == nullptr) || width != m_width || height != m_height ||
        width < 1 || height < 1)
        return -1;
    if (m_target == nullptr && (m_output.CreateBlank(width, height) != 0 || !m_output.HasPixels()))
        return -1;
    // Rows are independent: two threads paint one half each.
    const std::int32_t middle = height / 2;
    std::thread helper;
    if (middle > 0) {
        try {
            helper = std::thread(&CTextureGenerator::PaintRows, this, middle, height);
        } catch (...) {
            helper = std::thread();
        }
    }
    PaintRows(0, helper.joinable() ? middle : height);
    if (helper.joinable())
        helper.join();
    return 0;
}

void CTextureGenerator::PaintRows(std::int32_t firstRow, std::int32_t endRow)
{
    const CBitmapEx* tiles[kSlots] = {};
    for (int slot = 0; slot < kSlots; ++slot)
        if (m_tiles[slot].HasPixels() && m_tiles[slot].Width() > 0 && m_tiles[slot].Height() > 0)
            tiles[slot] = &m_tiles[slot];

    auto blendOf = [&](std::int32_t v) {
        LevelBlend blend;
        for (int slot = 0; slot < kSlots; ++slot) {
            if (tiles[slot] == nullptr)
                continue;
            const float w = BandWeight(v, m_bands[slot]);
            if (w > 0.0f) {
                blend.slots[blend.count] = slot;
                blend.weights[blend.count] = w;
                ++blend.count;
            }
        }
        return blend;
    };
    LevelBlend table[kLevels];
    for (std::int32_t v = 0; v < kLevels; ++v)
        table[v] = blendOf(v);

    const std::size_t width = static_cast<std::size_t>(m_width);
    std::uint32_t* output = m_target == nullptr ? m_output.Pixels32() : nullptr;
    const std::uint32_t alpha = m_target == nullptr ? 0u : 0xFF000000u;
    std::vector<std::int32_t> levelRow(m_codeWindow != nullptr ? width : 0);
    for (std::int32_t y = firstRow; y < endRow; ++y) {
        const std::int32_t* levels = levelRow.data();
        if (m_codeWindow != nullptr) {
            const std::int32_t* codes = m_codeWindow + static_cast<std::size_t>(y) * width;
            for (std::size_t x = 0; x < width; ++x)
                levelRow[x] = LevelOfCode(codes[x], m_lowCode, m_highCode);
        } else {
            levels = m_heightWindow + static_cast<std::size_t>(y) * width;
        }
        std::uint32_t* out = m_target != nullptr ? m_target + static_cast<std::size_t>(y) * m_targetPitch
                                                 : output + static_cast<std::size_t>(m_height - 1 - y) * width;
        // The row of each tile that repeats along image row y.
        const std::uint32_t* tileRows[kSlots] = {};
        std::int32_t tileWidths[kSlots] = {1, 1, 1, 1, 1};
        std::int32_t tileX[kSlots] = {}; // x modulo each tile's width
        for (int slot = 0; slot < kSlots; ++slot) {
            if (tiles[slot] == nullptr)
                continue;
            const std::int32_t th = tiles[slot]->Height();
            tileWidths[slot] = tiles[slot]->Width();
            const std::int64_t tileY = (static_cast<std::int64_t>(y) + m_tileOriginY) % th;
            tileRows[slot] = tiles[slot]->Pixels32() + static_cast<std::size_t>(th - 1 - tileY) * tileWidths[slot];
            tileX[slot] = static_cast<std::int32_t>(m_tileOriginX % tileWidths[slot]);
        }
        for (std::size_t x = 0; x < width; ++x, AdvanceTileColumns(tileX, tileWidths)) {
            const std::int32_t v = levels[x];
            LevelBlend outside;
            const LevelBlend* blend = &outside;
            if (v >= 0 && v < kLevels)
                blend = &table[v];
            else
                outside = blendOf(v);
            if (blend->count == 0) {
                out[x] = alpha;
                continue;
            }
            // Zero weights add nothing, so only the positive ones are summed,
            // in slot order.
            float r = 0.0f;
            float g = 0.0f;
            float b = 0.0f;
            for (std::int32_t j = 0; j < blend->count; ++j) {
                const int slot = blend->slots[j];
                const float w = blend->weights[j];
                const std::uint32_t c = tileRows[slot][tileX[slot]];
                r = r + static_cast<float>((c >> 16) & 0xFF) * w;
                g = g + static_cast<float>((c >> 8) & 0xFF) * w;
                b = b + static_cast<float>(c & 0xFF) * w;
            }
            const float n = static_cast<float>(blend->count);
            const std::uint32_t red = static_cast<std::uint32_t>(static_cast<std::int32_t>(r / n)) & 0xFF;
            const std::uint32_t green = static_cast<std::uint32_t>(static_cast<std::int32_t>(g / n)) & 0xFF;
            const std::uint32_t blue = static_cast<std::uint32_t>(static_cast<std::int32_t>(b / n)) & 0xFF;
            out[x] = alpha | red << 16 | green << 8 | blue;
        }
    }
}
