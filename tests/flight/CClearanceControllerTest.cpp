// Terrain following as a pure function: a camera flown over height profiles
// (a flat plain, a valley, gentle hills, a cliff ahead) by the clearance
// controller never comes closer than the clearance to the ground under it
// or ahead of it, and climbs and sinks at bounded speeds where the ground
// allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "flight/CClearanceController.h"

namespace {

using Profile = std::function<float(float x)>;

constexpr float kDt = 1.0f / 30.0f;
constexpr float kTolerance = 1e-3f;

// The highest ground in [x, x + distance], sampled every unit, as the
// follower gives it.
float Highest(const Profile& ground, float x, float distance)
{
    float highest = ground(x);
    for (float d = 1.0f; d <= distance; d += 1.0f)
        highest = std::max(highest, ground(x + d));
    return std::max(highest, ground(x + distance));
}

struct Flight {
    float lowestClearance = std::numeric_limits<float>::max(); // under the eye and ahead
    float fastestRise = 0.0f;                                  // world units per second
    float fastestSink = 0.0f;
    float lastEye = 0.0f;
    float lastGround = 0.0f;
};

Flight Fly(const Profile& ground, float clearance, float speed, float startEye, float seconds)
{
    const CClearanceController controller(clearance);
    Flight flight;
    float x = 0.0f;
    float eye = startEye;
    for (float t = 0.0f; t < seconds; t += kDt) {
        x += speed * kDt;
        const float here = ground(x);
        const float ahead = Highest(ground, x, speed);
        const float next = controller.Step(here, ahead, eye, kDt);
        flight.lowestClearance = std::min(flight.lowestClearance, next - std::max(here, ahead));
        if (t > 0.0f) {
            flight.fastestRise = std::max(flight.fastestRise, (next - eye) / kDt);
            flight.fastestSink = std::max(flight.fastestSink, (eye - next) / kDt);
        }
        eye = next;
        flight.lastGround = here;
    }
    flight.lastEye = eye;
    return flight;
}

} // namespace

TEST(CClearanceController, FlightsOverProfilesKeepTheClearanceAtBoundedSpeeds)
{
    struct Case {
        const char* name;
        Profile ground;
        float clearance;
        float speed;       // world units per second
        float startEye;    // above the comfortable height: it sinks first
        bool boundedRise;  // the ground never rises faster than the eye may climb
    } cases[] = {
        {"flat plain", [](float) { return 100.0f; }, 50.0f, 200.0f, 400.0f, true},
        {"valley",
         [](float x) {
             // 300 high, down a slope into a 1000-unit valley floor at 0, up again.
             if (x < 1000.0f) return 300.0f;
             if (x < 2000.0f) return 300.0f - 0.3f * (x - 1000.0f);
             if (x < 3000.0f) return 0.0f;
             if (x < 4000.0f) return 0.3f * (x - 3000.0f);
             return 300.0f;
         },
         50.0f, 150.0f, 370.0f, true},
        {"gentle hills",
         [](float x) { return 200.0f + 100.0f * std::sin(x * 6.2831853f / 2000.0f); }, 50.0f, 200.0f, 400.0f,
         true},
        {"cliff ahead", [](float x) { return x < 1500.0f ? 0.0f : 400.0f; }, 50.0f, 100.0f, 62.5f, false},
        {"small clearance over a ramp", [](float x) { return 0.5f * x; }, 10.0f, 100.0f, 12.5f, true},
    };
    for (const Case& c : cases) {
        const Flight flight = Fly(c.ground, c.clearance, c.speed, c.startEye, 40.0f);
        EXPECT_GE(flight.lowestClearance, c.clearance - kTolerance) << c.name;
        EXPECT_LE(flight.fastestSink, CClearanceController::kMaxSink + kTolerance) << c.name;
        if (c.boundedRise) {
            EXPECT_LE(flight.fastestRise, CClearanceController::kMaxRise + kTolerance) << c.name;
        }
    }
}

TEST(CClearanceController, SettlesAtTheComfortableHeightOverAPlain)
{
    const Flight flight = Fly([](float) { return 100.0f; }, 50.0f, 100.0f, 1000.0f, 60.0f);
    EXPECT_FLOAT_EQ(flight.lastEye, 100.0f + 50.0f * (1.0f + CClearanceController::kCushion));
    EXPECT_NEAR(flight.fastestSink, CClearanceController::kMaxSink, 1e-2f);
}

TEST(CClearanceController, TheCliffLiftsTheEyeBeforeTheEyeReachesIt)
{
    // The cliff stands at x = 1500; one second ahead at 100 units per second
    // it is seen from x = 1400 on.
    const CClearanceController controller(50.0f);
    float eye = 62.5f;
    for (float x = 0.0f; x < 1500.0f; x += 100.0f * kDt) {
        const float ahead = x + 100.0f >= 1500.0f ? 400.0f : 0.0f;
        eye = controller.Step(0.0f, ahead, eye, kDt);
    }
    EXPECT_GE(eye, 450.0f);
}

TEST(CClearanceController, AnEyeInsideTheMountainComesOutAtOnce)
{
    const CClearanceController controller(50.0f);
    struct Case {
        float here, ahead, eye, seconds, expected;
    } cases[] = {
        {300.0f, 0.0f, 0.0f, kDt, 350.0f},      // below the ground under it
        {0.0f, 300.0f, 20.0f, kDt, 350.0f},     // below the ground ahead
        {100.0f, 100.0f, 120.0f, 0.0f, 150.0f}, // no time passed: still lifted
        {100.0f, 100.0f, 120.0f, -5.0f, 150.0f}, // negative time counts as none
        {100.0f, 100.0f, std::numeric_limits<float>::quiet_NaN(), kDt, 162.5f},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(controller.Step(c.here, c.ahead, c.eye, c.seconds), c.expected) << c.eye;
    }
}

TEST(CClearanceController, ClearanceIsKeptWithinItsBounds)
{
    struct Case {
        float asked, kept;
    } cases[] = {
        {50.0f, 50.0f},
        {3.0f, CClearanceController::kMinClearance},
        {-20.0f, CClearanceController::kMinClearance},
        {std::numeric_limits<float>::quiet_NaN(), CClearanceController::kMinClearance},
        {1.0e9f, CClearanceController::kMaxClearance},
        {std::numeric_limits<float>::infinity(), CClearanceController::kMaxClearance},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CClearanceController(c.asked).Clearance(), c.kept) << c.asked;
        EXPECT_EQ(CClearanceController::Bounded(c.asked), c.kept) << c.asked;
    }
}
