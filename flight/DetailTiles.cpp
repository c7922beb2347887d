#include "flight/DetailTiles.h"

#include <algorithm>
#include <cstdint>
#include <functional>

#include "render/IDevice.h"
#include "terrain/CBlendPainter.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainModel.h"
#include "terrain/CTextureGenerator.h"
#include "terrain/ITerrainSource.h"
#include "terrain/TerrainFiles.h"

namespace {

// The tiles and band weights of `folder`, for levels levelScale world units
// apart from levelBase up. 0, or -1 when no tile could be read.
int LoadTiles(const std::string& folder, float levelScale, float levelBase, DetailSet* detail)
{
    *detail = DetailSet{};
    CTextureGenerator generator;
    for (int slot = 0; slot < CTextureGenerator::kSlots; ++slot) {
        const std::string path = folder.empty() ? TerrainFiles::kTiles[slot]
                                                : folder + "/" + TerrainFiles::kTiles[slot];
        CBitmapEx& tile = generator.m_tiles[slot];
        tile.LoadFromFile(path.c_str());
        ++generator.m_tileCount;
        if (!tile.HasPixels() || tile.Width() <= 0 || tile.Width() != tile.Height())
            continue;
        if (detail->tileSize == 0)
            detail->tileSize = static_cast<unsigned>(tile.Width());
        if (static_cast<unsigned>(tile.Width()) != detail->tileSize) {
            tile.CreateBlank(0, 0);
            continue;
        }
        std::vector<std::uint32_t>& texels = detail->tiles[static_cast<std::size_t>(slot)];
        texels.reserve(static_cast<std::size_t>(detail->tileSize) * detail->tileSize);
        for (int y = 0; y < tile.Height(); ++y)
            for (int x = 0; x < tile.Width(); ++x)
                texels.push_back(0xFF000000u | (tile.ReadPixel(x, y) & 0x00FFFFFFu));
    }
    if (detail->tileSize == 0) {
        *detail = DetailSet{};
        return -1;
    }
    generator.ComputeBands();
    detail->weights.resize(DetailSet::kLevels);
    for (int level = 0; level < DetailSet::kLevels; ++level) {
        float weights[CTextureGenerator::kSlots];
        CBlendPainter::Weights(generator, static_cast<float>(level), weights);
        for (int slot = 0; slot < DetailSet::kSlots; ++slot)
            detail->weights[static_cast<std::size_t>(level)][static_cast<std::size_t>(slot)] = weights[slot];
    }
    detail->rockSlot = generator.m_tiles[CBlendPainter::kRockSlot].HasPixels() ? CBlendPainter::kRockSlot : -1;
    detail->levelScale = levelScale;
    detail->levelBase = levelBase;
    return 0;
}

int Hand(IDevice* device, const std::function<int(DetailSet*)>& load)
{
    if (device == nullptr)
        return -1;
    if (device->CurrentLook() != Look::Enhanced)
        return 0;
    DetailSet detail;
    if (load(&detail) != 0)
        return -1;
    return device->SetDetail(detail);
}

} // namespace

int LoadDetailSet(const std::string& folder, const CTerrainModel& terrain, DetailSet* detail)
{
    return LoadTiles(folder,
                     terrain.HasHeights16() ? terrain.HeightScale() * CHeightmap16File::kCodesPerLevel
                                            : terrain.HeightScale(),
                     0.0f, detail);
}

int SetupDetail(IDevice* device, const std::string& folder, const CTerrainModel& terrain)
{
    return Hand(device, [&](DetailSet* detail) { return LoadDetailSet(folder, terrain, detail); });
}

int LoadDetailSet(const std::string& folder, const ITerrainSource& source, DetailSet* detail)
{
    std::int32_t low = 0;
    std::int32_t high = 0;
    source.CodeRange(&low, &high);
    // CWindowPainter's stretch: level = (code - low) * 255 / max(1, high - low).
    const float scale = source.HeightScale();
    return LoadTiles(folder, static_cast<float>(std::max(1, high - low)) * scale / 255.0f,
                     static_cast<float>(low) * scale, detail);
}

int SetupDetail(IDevice* device, const std::string& folder, const ITerrainSource& source, bool painted)
{
    if (!painted)
        return 0;
    return Hand(device, [&](DetailSet* detail) { return LoadDetailSet(folder, source, detail); });
}
