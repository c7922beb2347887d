#pragma once
// The forward flight between two frames: the camera moves along its look
// vector by the speed times the time the frame took, and turns by a steady
// rate. The render thread calls it once per frame, after presenting.
#include <cstdint>

class CCamera;

class CForwardFlight {
public:
    // A frame that would move the camera this far or more (world units) does
    // not move it: after a long stall the camera stays where it was seen.
    static constexpr float kMaxStep = 1000.0f;

    // Advances `camera` by speedPerSecond (world units per second) times
    // elapsedMs and turns it by turnRate (radians per second, positive turns
    // right) times the same time, both only when the step is below kMaxStep.
    // Returns the distance flown (0 when the step was dropped).
    static float Step(CCamera& camera, std::uint32_t elapsedMs, float speedPerSecond, float turnRate);
};
