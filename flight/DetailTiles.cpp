#include "flight/DetailTiles.h"

#include "render/IDevice.h"
#include "terrain/CBlendPainter.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainModel.h"
#include "terrain/CTextureGenerator.h"
#include "terrain/TerrainFiles.h"

int LoadDetailSet(const std::string& folder, const CTerrainModel& terrain, DetailSet* detail)
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
    detail->levelScale = terrain.HasHeights16() ? terrain.HeightScale() * CHeightmap16File::kCodesPerLevel
                                                : terrain.HeightScale();
    return 0;
}

int SetupDetail(IDevice* device, const std::string& folder, const CTerrainModel& terrain)
{
    if (device == nullptr)
        return -1;
    if (device->CurrentLook() != Look::Enhanced)
        return 0;
    DetailSet detail;
    if (LoadDetailSet(folder, terrain, &detail) != 0)
        return -1;
    return device->SetDetail(detail);
}
