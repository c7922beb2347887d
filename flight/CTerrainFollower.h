#pragma once
// One step of terrain following for a flying camera over a landscape: the
// ground under the eye and the highest ground within the next second of
// flight go to the clearance controller, and the eye takes the height it
// returns.
//
// Threads: the thread that flies the camera (the render thread), holding
// whatever guards the landscape.
class CCamera;
class CLandscape;

class CTerrainFollower {
public:
    // Sets the eye height of `camera` after `seconds` of flight at
    // speedPerSecond (world units per second) along its look vector, keeping
    // at least `clearance` world units above the ground. Returns the ground
    // height under the eye.
    static float Follow(CCamera& camera, const CLandscape& landscape, float clearance, float speedPerSecond,
                        float seconds);
};
