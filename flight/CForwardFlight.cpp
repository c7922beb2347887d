#include "flight/CForwardFlight.h"

#include "render/CCamera.h"

float CForwardFlight::Step(CCamera& camera, std::uint32_t elapsedMs, float speedPerSecond, float turnRate)
{
    const float seconds = static_cast<float>(elapsedMs / 1000.0);
    const float distance = seconds * speedPerSecond;
    if (!(distance < kMaxStep)) {
        return 0.0f;
    }
    camera.Advance(distance);
    if (turnRate != 0.0f) {
        camera.Turn(turnRate * seconds);
    }
    return distance;
}
