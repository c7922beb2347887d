#pragma once
// The height of the ground under a world point, read from a landscape's
// height window (its samples times its height scale), bilinear between
// samples. A point outside the window takes the nearest edge's ground.
//
// Threads: reads the landscape's heights only; the caller holds whatever
// guards the landscape (the view's landscape lock).
class CLandscape;

class CGroundHeight {
public:
    // Ground height at world (x, z); 0 for a landscape without samples.
    static float At(const CLandscape& landscape, float x, float z);

    // The highest ground along the straight line from world (x, z) for
    // `distance` world units in the horizontal direction (dirX, dirZ), which
    // need not be of unit length; sampled at every world unit or so, both
    // ends included. A zero direction or distance gives the ground at (x, z).
    static float Highest(const CLandscape& landscape, float x, float z, float dirX, float dirZ, float distance);
};
