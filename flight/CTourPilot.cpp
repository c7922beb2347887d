#include "flight/CTourPilot.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;
// A frame after a stall turns no further than this much time's worth, so a
// long pause never ends in a sudden swing.
constexpr float kMaxStepSeconds = 0.25f;
// The round's next waypoint lies this far round the star (3/8 of a turn), so
// that each leg crosses the middle of the terrain.
constexpr float kStarStep = 3.0f * kPi / 4.0f;
// After the user's turn the next waypoint lies this many turning radii ahead.
constexpr float kAheadRadii = 4.0f;

// The angle in (-pi, pi].
float Wrap(float angle)
{
    angle = std::remainder(angle, 2.0f * kPi);
    return angle <= -kPi ? angle + 2.0f * kPi : angle;
}

float DistanceSquared(float ax, float az, float bx, float bz)
{
    return (ax - bx) * (ax - bx) + (az - bz) * (az - bz);
}

}  // namespace

float CTourPilot::HeadingOf(float lookX, float lookZ)
{
    return std::atan2(lookX, lookZ);
}

CTourPilot::Box CTourPilot::WaypointBox(const Input& input, float radius)
{
    const float inset = static_cast<float>(input.margin) + 2.0f * radius;
    const float farX = static_cast<float>(input.mapWidth - 1);
    const float farZ = static_cast<float>(input.mapHeight - 1);
    Box box{inset, inset, farX - inset, farZ - inset};
    if (box.minX > box.maxX) {
        box.minX = box.maxX = farX * 0.5f;
    }
    if (box.minZ > box.maxZ) {
        box.minZ = box.maxZ = farZ * 0.5f;
    }
    return box;
}

void CTourPilot::SetWaypoint(const Box& box, int index)
{
    m_waypoint = index % kWaypoints;
    const float angle = static_cast<float>(m_waypoint) * kStarStep;
    m_targetX = (box.minX + box.maxX) * 0.5f + (box.maxX - box.minX) * 0.5f * std::sin(angle);
    m_targetZ = (box.minZ + box.maxZ) * 0.5f + (box.maxZ - box.minZ) * 0.5f * std::cos(angle);
    m_haveTarget = true;
}

void CTourPilot::WaypointAhead(const Input& input, const Box& box, float radius)
{
    const float heading = HeadingOf(input.lookX, input.lookZ);
    const float ahead = kAheadRadii * std::max(radius, 1.0f);
    m_targetX = std::clamp(input.x + std::sin(heading) * ahead, box.minX, box.maxX);
    m_targetZ = std::clamp(input.z + std::cos(heading) * ahead, box.minZ, box.maxZ);
    m_haveTarget = true;
    // The round goes on from the star point nearest to the new target.
    const float centreX = (box.minX + box.maxX) * 0.5f;
    const float centreZ = (box.minZ + box.maxZ) * 0.5f;
    const float bearing = std::atan2(m_targetX - centreX, m_targetZ - centreZ);
    int nearest = 0;
    float best = 2.0f * kPi;
    for (int i = 0; i < kWaypoints; ++i) {
        const float off = std::fabs(Wrap(static_cast<float>(i) * kStarStep - bearing));
        if (off < best) {
            best = off;
            nearest = i;
        }
    }
    m_waypoint = nearest;
}

bool CTourPilot::HeadsOut(const Input& input, float heading, float distance)
{
    const float px = input.x + std::sin(heading) * distance;
    const float pz = input.z + std::cos(heading) * distance;
    const float margin = static_cast<float>(input.margin);
    return px < margin || pz < margin || px > static_cast<float>(input.mapWidth - 1) - margin ||
           pz > static_cast<float>(input.mapHeight - 1) - margin;
}

float CTourPilot::Steer(float x, float z, float lookX, float lookZ, std::int32_t mapWidth, std::int32_t mapHeight,
                        std::int32_t margin, float elapsedSeconds, float speedPerSecond)
{
    Input input;
    input.x = x;
    input.z = z;
    input.lookX = lookX;
    input.lookZ = lookZ;
    input.mapWidth = mapWidth;
    input.mapHeight = mapHeight;
    input.margin = margin;
    input.elapsedSeconds = elapsedSeconds;
    input.speedPerSecond = speedPerSecond;
    return Steer(input);
}

float CTourPilot::Steer(const Input& input)
{
    if (input.mapWidth <= 0 || input.mapHeight <= 0 || (input.lookX == 0.0f && input.lookZ == 0.0f) ||
        !std::isfinite(input.x) || !std::isfinite(input.z)) {
        return 0.0f;
    }
    const float heading = HeadingOf(input.lookX, input.lookZ);
    const bool userTurned = m_haveHeading && std::fabs(Wrap(heading - m_expectedHeading)) > kUserTurnTolerance;
    m_expectedHeading = heading;
    m_haveHeading = true;

    const float radius = std::max(input.speedPerSecond, 0.0f) / kMaxTurnRate;
    const Box box = WaypointBox(input, radius);
    if (userTurned || !m_haveTarget) {
        WaypointAhead(input, box, radius);
        if (userTurned) {
            m_turnRate = 0.0f;
        }
    }
    if (!(input.elapsedSeconds > 0.0f) || !(input.speedPerSecond > 0.0f)) {
        m_turnRate = 0.0f;
        return 0.0f;
    }

    // Next waypoint when this one is reached, or lies within a turning
    // circle (flown at the greatest rate, it could only be circled).
    const float rightX = std::cos(heading);
    const float rightZ = -std::sin(heading);
    for (int tries = 0; tries < kWaypoints; ++tries) {
        const bool reached = DistanceSquared(input.x, input.z, m_targetX, m_targetZ) < radius * radius;
        const bool inRightCircle =
            DistanceSquared(input.x + rightX * radius, input.z + rightZ * radius, m_targetX, m_targetZ) <
            radius * radius;
        const bool inLeftCircle =
            DistanceSquared(input.x - rightX * radius, input.z - rightZ * radius, m_targetX, m_targetZ) <
            radius * radius;
        if (!reached && !inRightCircle && !inLeftCircle) {
            break;
        }
        SetWaypoint(box, m_waypoint + 1);
    }

    float wanted = std::atan2(m_targetX - input.x, m_targetZ - input.z);
    if (HeadsOut(input, heading, 2.0f * radius)) {
        // Heading for the margin: back towards the middle of the terrain.
        wanted = std::atan2(static_cast<float>(input.mapWidth - 1) * 0.5f - input.x,
                            static_cast<float>(input.mapHeight - 1) * 0.5f - input.z);
    }
    const float seconds = std::min(input.elapsedSeconds, kMaxStepSeconds);
    const float wantedRate = std::clamp(kHeadingGain * Wrap(wanted - heading), -kMaxTurnRate, kMaxTurnRate);
    const float change = kMaxTurnAcceleration * seconds;
    m_turnRate = std::clamp(wantedRate, m_turnRate - change, m_turnRate + change);
    m_turnRate = std::clamp(m_turnRate, -kMaxTurnRate, kMaxTurnRate);
    const float yaw = m_turnRate * seconds;
    m_expectedHeading = Wrap(heading + yaw);
    return yaw;
}
