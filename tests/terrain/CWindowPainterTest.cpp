// Windows painted one by one join up: the same sample gets the same colour
// whichever window paints it, and the codes are stretched over the bands.
// The colours go straight into rows of a texture's pitch, opaque.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terrain/CWindowPainter.h"

namespace {

// The codes (0..40000) of a w x h window at (x0, z0) of one terrain.
std::vector<std::int32_t> Codes(std::int32_t x0, std::int32_t z0, std::int32_t w, std::int32_t h)
{
    std::vector<std::int32_t> codes;
    for (std::int32_t z = z0; z < z0 + h; ++z)
        for (std::int32_t x = x0; x < x0 + w; ++x)
            codes.push_back((x * 131 + z * 257) % 40001);
    return codes;
}

} // namespace

TEST(CWindowPainterTest, OverlappingWindowsGiveTheSameColoursAndNoTilesFail)
{
    CWindowPainter painter;
    ASSERT_EQ(painter.LoadTiles(std::string(VP_SOURCE_DIR) + "/data/Textures"), 0);
    struct Window {
        std::int32_t x0, z0, w, h;
    };
    const Window whole{0, 0, 300, 200};
    std::vector<std::int32_t> codes = Codes(whole.x0, whole.z0, whole.w, whole.h);
    std::vector<std::uint32_t> reference(static_cast<std::size_t>(whole.w * whole.h));
    ASSERT_EQ(painter.PaintInto(codes.data(), 0, 0, whole.w, whole.h, 0, 40000, reference.data(), whole.w), 0);
    for (const Window& part : {Window{37, 11, 150, 90}, Window{255, 130, 45, 70}}) {
        codes = Codes(part.x0, part.z0, part.w, part.h);
        std::vector<std::uint32_t> colours(static_cast<std::size_t>(part.w * part.h));
        ASSERT_EQ(painter.PaintInto(codes.data(), part.x0, part.z0, part.w, part.h, 0, 40000, colours.data(), part.w),
                  0);
        int mismatches = 0;
        for (std::int32_t z = 0; z < part.h; ++z)
            for (std::int32_t x = 0; x < part.w; ++x)
                mismatches += colours[x + z * part.w] != reference[(part.x0 + x) + (part.z0 + z) * whole.w];
        EXPECT_EQ(mismatches, 0) << part.x0;
    }
    // Codes across the whole range reach more than one band.
    EXPECT_NE(reference.front(), reference[150 + 100 * 300]);

    CWindowPainter bare;
    EXPECT_EQ(bare.LoadTiles("/nonexistent"), -1);
    EXPECT_EQ(bare.PaintInto(codes.data(), 0, 0, 10, 10, 0, 40000, reference.data(), 10), -1);
}

TEST(CWindowPainterTest, PaintingIntoRowsIsOpaqueAndStaysWithinThePitch)
{
    CWindowPainter painter;
    ASSERT_EQ(painter.LoadTiles(std::string(VP_SOURCE_DIR) + "/data/Textures"), 0);
    const std::int32_t w = 150, h = 90;
    const std::size_t pitch = w + 7;
    const std::vector<std::int32_t> codes = Codes(37, 11, w, h);
    std::vector<std::uint32_t> rows(pitch * h, 0x12345678u);
    ASSERT_EQ(painter.PaintInto(codes.data(), 37, 11, w, h, 0, 40000, rows.data(), pitch), 0);
    int wrong = 0;
    for (std::size_t i = 0; i < rows.size(); ++i)
        wrong += i % pitch < static_cast<std::size_t>(w) ? (rows[i] >> 24) != 0xFFu : rows[i] != 0x12345678u;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(painter.PaintInto(codes.data(), 37, 11, w, h, 0, 40000, rows.data(), w - 1), -1) << "short pitch";
}
