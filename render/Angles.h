#pragma once
// Angles: the conversion every degree figure of the program goes through,
// and the turn of one press of a turn button or arrow key.

inline constexpr float kPi = 3.14159265358979f;

// Radians from degrees, in float as every caller computes it.
constexpr float DegreesToRadians(float degrees) { return degrees * kPi / 180.0f; }

// Five degrees, in radians.
inline constexpr float kTurnStep = 0.0872664600610733f;
