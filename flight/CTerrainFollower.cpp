#include "flight/CTerrainFollower.h"

#include <cmath>

#include "flight/CClearanceController.h"
#include "flight/CGroundHeight.h"
#include "render/CCamera.h"

namespace {

// How far ahead the eye looks for higher ground, seconds of flight.
constexpr float kLookAheadSeconds = 1.0f;

} // namespace

float CTerrainFollower::Follow(CCamera& camera, const CLandscape& landscape, float clearance,
                               float speedPerSecond, float seconds)
{
    const CameraSnapshot eye = camera.Snapshot();
    const float x = eye.position.x;
    const float z = eye.position.z;
    const float here = CGroundHeight::At(landscape, x, z);
    // The path of the next second: backwards along the look vector when the
    // speed is negative.
    const float sign = speedPerSecond < 0.0f ? -1.0f : 1.0f;
    const float ahead = CGroundHeight::Highest(landscape, x, z, sign * eye.look.x, sign * eye.look.z,
                                               std::fabs(speedPerSecond) * kLookAheadSeconds);
    const float height = CClearanceController(clearance).Step(here, ahead, eye.position.y, seconds);
    if (height != eye.position.y) {
        camera.SetHeight(height);
    }
    return here;
}
