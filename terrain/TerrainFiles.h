#pragma once
// The names of a terrain's files, relative to its folder. They stay the same
// whatever the terrain's size.
namespace TerrainFiles {

// Heightmap: 24-bit grey bitmap, levels 0..255.
inline constexpr const char* kHeightmap = "terrainMdt_8193x8193.bmp";
// Colour texture of the same size.
inline constexpr const char* kTexture = "terrainMdt_8193x8193_Texture.bmp";
// The heights at full precision beside the heightmap, when a terrain has
// them: a 16-bit GeoTIFF (CHeightmap16File).
inline constexpr const char* kHeights16 = "terrainMdt_8193x8193_16.tif";
// Folder of the five tiles the texture is painted from.
inline constexpr const char* kTilesFolder = "Textures";
// The tiles, lowest band first: sea, sand, grass, rock, snow.
inline constexpr const char* kTiles[5] = {"water1.bmp", "lowestTile.bmp", "lowTile.bmp", "HighTile.bmp",
                                          "highestTile.bmp"};

} // namespace TerrainFiles
