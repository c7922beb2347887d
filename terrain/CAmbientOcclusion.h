#pragma once
// How much of the sky each sample of a height window sees, for darkening
// valleys and hollows under the ambient light: at a few radii the mean
// height around a sample is compared with its own; ground below the mean of
// its surroundings is shut in by them, by the angle it looks up at them.
// Ridges and open slopes see the whole sky.
//
// The window is width x height samples, row-major, row 0 at z = 0, sample
// spacing one world unit, heights in sample values times heightScale world
// units. Any thread; the window is only read.
#include <cstdint>
#include <vector>

class CAmbientOcclusion {
public:
    // Radii, world units, of the square neighbourhoods whose means are
    // compared: a gully, a valley, a basin.
    static constexpr int kRadii[3] = {4, 16, 64};

    // The sky each sample sees, 0 (none) to 255 (all of it), into *sky
    // (width x height bytes): 255 less the mean over the radii of how
    // steeply the sample looks up to the mean height around it, measured at
    // half the radius: rise / (rise + half radius), 0 level, 1/2 at 45
    // degrees, 1 straight up (close to the angle's share of a right
    // angle); ground
    // level with or above its surroundings gets 255. Worked out on 4 x 4
    // cells and interpolated back to the samples. 0, or -1 (nothing
    // written) for a null window or a side below 1.
    static int Compute(const std::int32_t* window, std::int32_t width, std::int32_t height, float heightScale,
                       std::vector<std::uint8_t>* sky);
};
