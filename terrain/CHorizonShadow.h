#pragma once
// The shadow the terrain casts on itself under a directional light, by a
// horizon sweep: along the light's horizontal direction every sample keeps
// the height of the highest ray of light grazing the ground before it (the
// shadow line), which drops by the light's slope per unit of ground; a
// sample below its shadow line is in shadow. One pass over the window.
//
// The window is width x height samples, row-major, row 0 at z = 0, sample
// spacing one world unit, heights in sample values times heightScale world
// units. Any thread; the window is only read.
#include <cstdint>
#include <vector>

class CHorizonShadow {
public:
    // Depth below the shadow line, world units, over which a sample goes
    // from lit to fully shadowed (a soft edge instead of stair steps).
    static constexpr float kPenumbra = 3.0f;

    // The sunlight reaching each sample, 0 (in shadow) to 255 (lit), into
    // *sun (width x height bytes). `direction` is the direction the light
    // travels (x, y, z), y negative for a light from above; a light with no
    // horizontal part, or from below the horizon, casts no shadow (all 255).
    // 0, or -1 (nothing written) for a null window or a side below 1.
    static int Compute(const std::int32_t* window, std::int32_t width, std::int32_t height, float heightScale,
                       const float direction[3], std::vector<std::uint8_t>* sun);
};
