#pragma once
// The page window (the square of the heightmap each landscape covers), the
// paging margin, and the page texture cut from the colour raster.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "render/IDevice.h"

class CBitmapEx;

struct PageWindow {
    int width = 0;  // heightmap width / 2
    int height = 0; // heightmap height / 2
    int margin = 0; // the larger of width / 4 and height / 4
};

// From a heightmap of mapWidth x mapHeight pixels: 4096 x 4096 and margin
// 1024 for 8193 x 8193; 50 x 30 and margin 12 for 100 x 60. Negative sizes
// count as 0.
PageWindow ComputePageWindow(int mapWidth, int mapHeight);

// Creates and fills the width x height page texture whose texel (i, j) is
// the colour of `raster`'s pixel (x0 + i, z0 + j), row counted from the top,
// coordinates clamped into the raster (an empty raster gives black), with
// opaque alpha. A texture with mip levels (the enhanced look) gets every
// level box-filtered from the one above, here on the calling thread. Returns the texture, owned by the caller (it goes to the
// landscape of the same window), or null when the device is null, a size is
// not positive, or the texture cannot be created or locked: that landscape
// is then built without a page texture. Any thread; the raster is only read.
ITexture* CreatePageTexture(IDevice* device, const CBitmapEx& raster, int x0, int z0, int width, int height);

// A width x height A8R8G8B8 texture of `device` (dynamic, with the device's
// mip levels), its level 0 filled by `fillRow(row, j)` for j = 0..height-1
// (`row` holds `width` texels) and every further level box-filtered from the
// one above, here on the calling thread. The texture, owned by the caller, or
// null when the device is null, a size is not positive, or the texture cannot
// be created or locked. Any thread.
ITexture* CreateFilledTexture(IDevice* device, int width, int height,
                              const std::function<void(std::uint32_t* row, int j)>& fillRow);

// The same, level 0 filled at once by `fill(texels, pitch)` (height rows of
// `pitch` texels, row 0 first), which returns 0, or -1 to give up: the
// texture is then released and null returned. Any thread.
ITexture* CreateTextureFilledBy(IDevice* device, int width, int height,
                                const std::function<int(std::uint32_t* texels, std::size_t pitch)>& fill);
