#pragma once
// Loads the ground detail (DetailSet) for the enhanced look from a tile
// folder and gives it to a device.
#include <string>

#include "render/DetailSet.h"

class CTerrainModel;
class IDevice;

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
