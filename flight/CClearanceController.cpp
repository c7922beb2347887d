#include "flight/CClearanceController.h"

#include <algorithm>
#include <cmath>

CClearanceController::CClearanceController(float clearance) : m_clearance(Bounded(clearance)) {}

float CClearanceController::Bounded(float clearance)
{
    if (!(clearance >= kMinClearance)) {
        return kMinClearance;
    }
    return std::min(clearance, kMaxClearance);
}

float CClearanceController::Step(float groundHere, float groundAhead, float eyeHeight, float seconds) const
{
    const float dt = seconds > 0.0f ? seconds : 0.0f;
    const float floor = std::max(groundHere, groundAhead) + m_clearance;
    const float comfortable = floor + kCushion * m_clearance;
    float height = eyeHeight;
    if (!std::isfinite(height)) {
        height = comfortable;
    } else if (height < comfortable) {
        height = std::min(comfortable, height + kMaxRise * dt);
    } else {
        height = std::max(comfortable, height - kMaxSink * dt);
    }
    return std::max(height, floor);
}
