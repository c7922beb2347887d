// The ground detail handed to the device: a streamed terrain's levels are
// its painting's stretch of its own range of codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "flight/DetailTiles.h"
#include "terrain/CBitmapEx.h"
#include "terrain/ITerrainSource.h"
#include "tests/support/CRecordingDevice.h"

namespace {

class CRangeSource : public ITerrainSource {
public:
    CRangeSource(std::int32_t low, std::int32_t high, float scale) : m_low(low), m_high(high), m_scale(scale) {}
    std::int32_t Width() const override { return 1000; }
    std::int32_t Height() const override { return 1000; }
    float HeightScale() const override { return m_scale; }
    double Spacing() const override { return 30.0; }
    bool Streamed() const override { return true; }
    void CodeRange(std::int32_t* low, std::int32_t* high) const override
    {
        *low = m_low;
        *high = m_high;
    }
    int ReadWindow(std::int32_t, std::int32_t, std::int32_t*, std::int32_t*, std::int32_t*) override { return -1; }
    const CBitmapEx* ColourRaster() const override { return nullptr; }
    int ReadColours(std::int32_t, std::int32_t, std::int32_t, std::int32_t, CBitmapEx*) override { return -1; }

private:
    std::int32_t m_low, m_high;
    float m_scale;
};

const std::string kTiles = std::string(VP_SOURCE_DIR) + "/data/Textures";

} // namespace

TEST(DetailTilesTest, AStreamedTerrainsLevelsSpanItsOwnRangeOfHeights)
{
    struct Case {
        std::int32_t low, high;
        float scale;
        float levelScale, levelBase;
    } cases[] = {
        {1000, 3550, 0.5f, 5.0f, 500.0f},
        {-400, 2150, 2.0f, 20.0f, -800.0f},      // below sea level
        {700, 700, 1.0f, 1.0f / 255.0f, 700.0f}, // flat: one code's height spread over the levels
    };
    for (const Case& c : cases) {
        DetailSet detail;
        ASSERT_EQ(LoadDetailSet(kTiles, CRangeSource(c.low, c.high, c.scale), &detail), 0);
        EXPECT_FALSE(detail.Empty());
        EXPECT_FLOAT_EQ(detail.levelScale, c.levelScale) << c.low;
        EXPECT_FLOAT_EQ(detail.levelBase, c.levelBase) << c.low;
    }
    DetailSet none;
    EXPECT_EQ(LoadDetailSet("/nonexistent", CRangeSource(0, 255, 1.0f), &none), -1);
    EXPECT_TRUE(none.Empty());
}

TEST(DetailTilesTest, OnlyAPaintedTerrainUnderTheEnhancedLookHandsDetailOver)
{
    // The recording device refuses detail: -1 says the set was handed over.
    const CRangeSource source(0, 255, 1.0f);
    CRecordingDevice device(16, 16);
    EXPECT_EQ(SetupDetail(&device, kTiles, source, true), 0); // classic look
    device.SetLook(Look::Enhanced);
    EXPECT_EQ(SetupDetail(&device, kTiles, source, false), 0); // imagery
    EXPECT_EQ(SetupDetail(&device, kTiles, source, true), -1);
}
