#pragma once
// Units: one world unit is one metre (a heightmap sample is 10 units wide).
// Speeds are given in km/h (the slider, --speed) and flown in units per
// second; every such figure of the program goes through this conversion.

// World units per second from km/h, computed in double and rounded once to
// float, as the camera advances in float.
constexpr float KmhToUnitsPerSecond(double kmh) { return static_cast<float>(kmh * 1000.0 / 3600.0); }
