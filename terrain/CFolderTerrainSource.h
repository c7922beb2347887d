#pragma once
// The classic folder as a terrain source: the heightmap (and its 16-bit
// heights when the folder has them) already loaded into a CTerrainModel, and
// the colour texture bitmap, both held whole in memory by their owner (the
// view or the snapshot tool). Windows are cut with ExtractWindow, exactly as
// the start command and the paging thread always cut them.
#include "terrain/ITerrainSource.h"

class CTerrainModel;

class CFolderTerrainSource : public ITerrainSource {
public:
    // Metres per sample of the classic heightmap.
    static constexpr double kSpacing = 10.0;

    // `terrain` must stay loaded and unchanged while the source is used;
    // `colours` (null: no texture, the wireframe display) likewise.
    CFolderTerrainSource(const CTerrainModel& terrain, const CBitmapEx* colours);

    std::int32_t Width() const override;
    std::int32_t Height() const override;
    float HeightScale() const override;
    double Spacing() const override { return kSpacing; }
    bool Streamed() const override { return false; }
    void CodeRange(std::int32_t* low, std::int32_t* high) const override;
    int ReadWindow(std::int32_t x0, std::int32_t z0, std::int32_t* width, std::int32_t* height,
                   std::int32_t* window) override;
    const CBitmapEx* ColourRaster() const override { return m_colours; }
    int ReadColours(std::int32_t x0, std::int32_t z0, std::int32_t width, std::int32_t height,
                    CBitmapEx* colours) override;

private:
    const CTerrainModel& m_terrain;
    const CBitmapEx* m_colours;
};
