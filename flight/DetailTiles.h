#pragma once
// Loads the ground detail (DetailSet) for the enhanced look from a tile
// folder and gives it to a device.
#include <string>

#include "render/DetailSet.h"

class CTerrainModel;
class IDevice;
class ITerrainSource;

// The detail of a terrain whose tiles are in `folder` (the five tile files
// of TerrainFiles::kTiles): the tiles of the first loaded tile's size (others
// are left out, as are missing ones), the band weights of CBlendPainter for
// each level, and the world units per level of `terrain` as loaded (its
// 16-bit heights' scale, or the classic one). 0, or -1 when no tile could be
// read (*detail then empty). Any thread.
int LoadDetailSet(const std::string& folder, const CTerrainModel& terrain, DetailSet* detail);

// LoadDetailSet, then hands the set to `device` (IDevice::SetDetail) under
// the enhanced look; nothing under the classic one. 0 when the device took
// it or the look is classic, -1 otherwise (the enhanced picture is then drawn
// without detail).
int SetupDetail(IDevice* device, const std::string& folder, const CTerrainModel& terrain);

// The detail of a streamed terrain painted window by window
// (CWindowPainter): its levels stretch the source's range of codes over
// 0..255, so a level spans that range's world height / 255 and level 0 lies
// at its lowest code. 0, or -1 as LoadDetailSet.
int LoadDetailSet(const std::string& folder, const ITerrainSource& source, DetailSet* detail);

// The same hand-over for a streamed terrain; one given its colours
// (imagery, `painted` false) draws no detail over them: 0, and nothing is
// handed over.
int SetupDetail(IDevice* device, const std::string& folder, const ITerrainSource& source, bool painted);
