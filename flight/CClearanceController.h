#pragma once
// Terrain following: the height the eye should fly at, given the ground
// under it and the highest ground it will fly over in the next second.
//
// The eye never comes closer than the clearance to either ground: that floor
// is hard, so a cliff that rises faster than the eye may climb lifts the eye
// at once rather than letting it into the rock. Above the floor the eye makes
// for a comfortable height (the clearance plus a cushion), climbing and
// sinking at bounded vertical speeds, so that ordinary slopes give a smooth
// flight. A pure calculation: no camera, no landscape, no thread of its own.
class CClearanceController {
public:
    // Vertical speeds, world units per second.
    static constexpr float kMaxRise = 120.0f;
    static constexpr float kMaxSink = 40.0f;
    // The comfortable height is the clearance times (1 + kCushion) above the
    // higher of the two grounds.
    static constexpr float kCushion = 0.25f;
    // The clearances a user may choose, world units.
    static constexpr float kMinClearance = 10.0f;
    static constexpr float kMaxClearance = 5000.0f;

    // `clearance` in world units, brought within [kMinClearance, kMaxClearance].
    explicit CClearanceController(float clearance);

    float Clearance() const { return m_clearance; }
    // The clearance within [kMinClearance, kMaxClearance]; not a number
    // counts as the least.
    static float Bounded(float clearance);

    // The eye's new height after `seconds` of flight from `eyeHeight`, with
    // the ground `groundHere` under the eye and `groundAhead` the highest
    // ground within the next second (world heights). Never below the higher
    // ground plus the clearance. A negative time counts as none.
    float Step(float groundHere, float groundAhead, float eyeHeight, float seconds) const;

private:
    float m_clearance;
};
