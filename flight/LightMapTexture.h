#pragma once
// The light map of a page window for the enhanced look: per sample, the
// ground's normal, the sunlight the terrain's own shadow leaves and the sky
// its surroundings leave open, all from the window's full-precision heights,
// so that the ground is lit per pixel the same whatever the mesh drawn.
#include <cstdint>

#include "render/IDevice.h"

// Creates and fills the light map texture of a height window (width x
// height samples, row-major, row 0 at z = 0, heightScale world units per
// sample value). Its channels per sample: red and green the normal's x and z
// (CNormalMap's encoding; y is the positive root), blue the sunlight under
// LightDirection() (CHorizonShadow, 255 lit), alpha the sky seen
// (CAmbientOcclusion, 255 open). The maps are made at the window's full
// resolution and kept at half of it: the texture is max(1, width / 2) x
// max(1, height / 2), texel (i, j) the rounded mean of samples (2i, 2j),
// (2i + 1, 2j), (2i, 2j + 1) and (2i + 1, 2j + 1), the last column and row
// repeated past an odd side; so it covers the window as the page texture
// does, a quarter of the page texture's memory. Mip levels as the device
// gives them (full chain under the enhanced look), box-filtered here.
// Returns the texture, owned by the caller (it goes to the landscape of the
// window), or null when the device is null, the window too small (a side
// below 2) or the texture cannot be made. Any thread; the window is only
// read. The maps are made on two helper threads of low priority
// (LowerThreadPriority) while the calling thread waits; it fills the
// texture.
ITexture* CreateLightMapTexture(IDevice* device, const std::int32_t* window, int width, int height,
                                float heightScale);
