#pragma once
// The guided flight (--tour): an autopilot over the forward flight. It does
// not move the camera; each frame it answers how far to turn, and the caller
// turns the camera by that much. It flies a star-shaped round of waypoints
// over the inner part of the heightmap, so that the flight crosses the
// terrain again and again instead of circling one spot, and it turns back
// inwards whenever the camera heads for the paging margin at the edges.
//
// Units: positions in world units (x = heightmap column, z = heightmap row,
// one unit per sample); heading as the camera's look vector projected on
// x/z; yaw in radians, positive turns right (as CCamera::Turn: from +z
// towards +x). Pure arithmetic, no clock: the caller passes the time.
//
// Contract with the frame loop, which owns the pilot (one thread only):
//   1. After the camera was applied, call Steer with its position, its look
//      vector, the heightmap size, the paging margin, the seconds since the
//      previous call and the forward speed in world units per second.
//   2. Turn the camera by exactly the returned yaw, before the next call.
// A heading at the next call that differs from the previous heading plus the
// returned yaw is the user's turn (a button or an arrow key): the pilot keeps
// it and carries on from the new heading, choosing its next waypoint ahead.
// A speed of 0 (hovering) or no elapsed time returns 0 and changes nothing.
#include <cstdint>

class CTourPilot {
public:
    // Greatest turn rate (radians per second, about 20 degrees) and the
    // greatest change of the turn rate (radians per second squared), so that
    // turns begin and end smoothly.
    static constexpr float kMaxTurnRate = 0.35f;
    static constexpr float kMaxTurnAcceleration = 0.7f;
    // Turn rate per radian of heading error while settling on a heading.
    static constexpr float kHeadingGain = 1.5f;
    // A heading change between two calls beyond the pilot's own turn by
    // more than this (radians) is taken as the user's turn.
    static constexpr float kUserTurnTolerance = 0.01f;
    // Waypoints of one round, on the star drawn over the inner square.
    static constexpr int kWaypoints = 8;

    struct Input {
        float x = 0.0f;
        float z = 0.0f;
        float lookX = 0.0f;
        float lookZ = 1.0f;
        std::int32_t mapWidth = 0;
        std::int32_t mapHeight = 0;
        std::int32_t margin = 0;
        float elapsedSeconds = 0.0f;
        float speedPerSecond = 0.0f;
    };

    // The yaw to apply in this step; see the contract above.
    float Steer(const Input& input);
    // Convenience form of Steer for the frame loop.
    float Steer(float x, float z, float lookX, float lookZ, std::int32_t mapWidth, std::int32_t mapHeight,
                std::int32_t margin, float elapsedSeconds, float speedPerSecond);

    // The current turn rate (radians per second) and the waypoint flown to.
    float TurnRate() const { return m_turnRate; }
    float TargetX() const { return m_targetX; }
    float TargetZ() const { return m_targetZ; }

    // Heading angle of a look vector: 0 along +z, growing to the right.
    static float HeadingOf(float lookX, float lookZ);

private:
    struct Box {
        float minX, minZ, maxX, maxZ;
    };
    // Where waypoints may lie: the heightmap less the margin and two turning
    // radii, or its middle when that leaves nothing.
    static Box WaypointBox(const Input& input, float radius);
    void SetWaypoint(const Box& box, int index);
    // After the user's turn: a waypoint ahead on the new heading.
    void WaypointAhead(const Input& input, const Box& box, float radius);
    // True when the point `distance` ahead leaves the square within the
    // paging margin of the edges.
    static bool HeadsOut(const Input& input, float heading, float distance);

    bool m_haveHeading = false;
    float m_expectedHeading = 0.0f;
    float m_turnRate = 0.0f;
    bool m_haveTarget = false;
    int m_waypoint = 0;
    float m_targetX = 0.0f;
    float m_targetZ = 0.0f;
};
