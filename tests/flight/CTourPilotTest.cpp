// The tour's steering, flown in a plain simulation of the frame loop: the
// camera flies along its heading and turns by what the pilot answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <utility>

#include "flight/CTourPilot.h"

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr std::int32_t kMap = 8193;
constexpr std::int32_t kPage = 4096;
constexpr std::int32_t kMargin = 1024;
constexpr float k1000Kmh = 1000.0f * 1000.0f / 3600.0f;

struct Flight {
    float x = 2048.0f;
    float z = 2048.0f;
    float heading = 0.0f;  // 0 along +z, positive to the right
    std::int32_t map = kMap;
    std::int32_t margin = kMargin;
    CTourPilot pilot;

    // One frame of `seconds` at `speed`: steer, fly, turn. Returns the yaw.
    float Step(float seconds, float speed)
    {
        const float yaw = pilot.Steer(x, z, std::sin(heading), std::cos(heading), map, map, margin, seconds, speed);
        x += std::sin(heading) * speed * seconds;
        z += std::cos(heading) * speed * seconds;
        heading += yaw;
        return yaw;
    }
    float EdgeDistance() const
    {
        const float far = static_cast<float>(map - 1);
        return std::min({x, z, far - x, far - z});
    }
};

float AngleBetween(float a, float b)
{
    return std::fabs(std::remainder(a - b, 2.0f * kPi));
}

// Edges and corners: a position 600 units inside the paging margin's line,
// flying straight out of the terrain.
struct EdgeCase {
    const char* name;
    float x, z;
    float heading;
};

TEST(CTourPilot, TurnsInwardsNearEachEdgeAndCorner)
{
    const float nearLow = kMargin + 600.0f;
    const float nearHigh = kMap - 1 - kMargin - 600.0f;
    const float mid = kMap / 2.0f;
    const EdgeCase cases[] = {
        {"west", nearLow, mid, -kPi / 2},
        {"east", nearHigh, mid, kPi / 2},
        {"north (row 0)", mid, nearLow, kPi},
        {"south", mid, nearHigh, 0.0f},
        {"north-west", nearLow, nearLow, -3 * kPi / 4},
        {"north-east", nearHigh, nearLow, 3 * kPi / 4},
        {"south-west", nearLow, nearHigh, -kPi / 4},
        {"south-east", nearHigh, nearHigh, kPi / 4},
        // Flying along an edge, slightly outwards.
        {"along west", nearLow, mid, -kPi / 2 + 1.2f},
    };
    for (const EdgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Flight flight;
        flight.x = c.x;
        flight.z = c.z;
        flight.heading = c.heading;
        const float inwardX = mid - c.x;
        const float inwardZ = mid - c.z;
        const float length = std::hypot(inwardX, inwardZ);
        auto inwardness = [&] {
            return (std::sin(flight.heading) * inwardX + std::cos(flight.heading) * inwardZ) / length;
        };
        const float before = inwardness();
        for (int i = 0; i < 60; ++i) {
            flight.Step(1.0f / 60.0f, k1000Kmh);
        }
        EXPECT_GT(inwardness(), before) << "after one second";
        float closest = flight.EdgeDistance();
        for (int i = 0; i < 60 * 15; ++i) {
            flight.Step(1.0f / 60.0f, k1000Kmh);
            closest = std::min(closest, flight.EdgeDistance());
        }
        EXPECT_GT(inwardness(), 0.0f) << "heading back over the terrain";
        EXPECT_GT(closest, 0.0f) << "left the heightmap";
    }
}

TEST(CTourPilot, TurnRateAndItsChangeStayBoundedWhateverTheFrameTimes)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> frame(0.004f, 0.060f);
    Flight flight;
    float previousRate = 0.0f;
    for (int i = 0; i < 20000; ++i) {
        // Now and then a stall of seconds, as while the window is busy.
        const float seconds = i % 5000 == 4999 ? 3.0f : frame(random);
        const float yaw = flight.Step(seconds, k1000Kmh);
        const float counted = std::min(seconds, 0.25f);
        ASSERT_LE(std::fabs(yaw), CTourPilot::kMaxTurnRate * counted * 1.0001f) << "frame " << i;
        const float rate = flight.pilot.TurnRate();
        ASSERT_LE(std::fabs(rate - previousRate), CTourPilot::kMaxTurnAcceleration * counted * 1.0001f)
            << "frame " << i;
        previousRate = rate;
    }
}

// Paging as the view does it: a run when the camera comes within the margin
// of the window's edge (never in the origin corner), cutting the window
// centred on the camera with its origin raised to 0.
struct PagingModel {
    float originX = 0.0f;
    float originZ = 0.0f;
    std::set<std::pair<int, int>> windows{{0, 0}};

    void Frame(float x, float z)
    {
        const float m = kMargin;
        if (x < m && z < m) {
            return;
        }
        const float dx = x - originX;
        const float dz = z - originZ;
        if (dx < m || kPage - dx < m || dz < m || kPage - dz < m) {
            originX = std::trunc(std::max(0.0f, x - kPage * 0.5f));
            originZ = std::trunc(std::max(0.0f, z - kPage * 0.5f));
            windows.insert({static_cast<int>(originX), static_cast<int>(originZ)});
        }
    }
};

struct LongFlightCase {
    float speed;
    std::size_t minWindows;
};

TEST(CTourPilot, FiveMinutesStayOverTheTerrainAndSeeManyParts)
{
    const LongFlightCase cases[] = {{k1000Kmh, 6}, {k1000Kmh / 2.0f, 3}, {k1000Kmh / 10.0f, 1}};
    for (const LongFlightCase& c : cases) {
        SCOPED_TRACE(c.speed);
        Flight flight;
        PagingModel paging;
        float closest = flight.EdgeDistance();
        float minX = flight.x, maxX = flight.x, minZ = flight.z, maxZ = flight.z;
        for (int i = 0; i < 5 * 60 * 60; ++i) {
            flight.Step(1.0f / 60.0f, c.speed);
            paging.Frame(flight.x, flight.z);
            closest = std::min(closest, flight.EdgeDistance());
            minX = std::min(minX, flight.x);
            maxX = std::max(maxX, flight.x);
            minZ = std::min(minZ, flight.z);
            maxZ = std::max(maxZ, flight.z);
        }
        EXPECT_GE(closest, static_cast<float>(kMargin)) << "came within the paging margin of an edge";
        EXPECT_GE(paging.windows.size(), c.minWindows);
        if (c.speed >= k1000Kmh) {
            // Not a small circle: the flight spans much of the terrain.
            EXPECT_GT(maxX - minX, 2500.0f);
            EXPECT_GT(maxZ - minZ, 2500.0f);
        }
    }
}

TEST(CTourPilot, CarriesOnFromTheUsersTurn)
{
    Flight flight;
    flight.x = kMap / 2.0f;
    flight.z = kMap / 2.0f;
    for (int i = 0; i < 60 * 20; ++i) {
        flight.Step(1.0f / 60.0f, k1000Kmh / 2.0f);
    }
    // Re-centre and point along +x: the user then turns right by 90 degrees
    // (eighteen clicks of "Girar Drch."), between two frames.
    flight.x = kMap / 2.0f;
    flight.z = kMap / 2.0f;
    flight.Step(1.0f / 60.0f, k1000Kmh / 2.0f);
    flight.heading = 0.0f;
    flight.Step(1.0f / 60.0f, k1000Kmh / 2.0f);
    flight.heading += kPi / 2;
    for (int i = 0; i < 60 * 3; ++i) {
        flight.Step(1.0f / 60.0f, k1000Kmh / 2.0f);
    }
    EXPECT_LT(AngleBetween(flight.heading, kPi / 2), 0.1f) << "the pilot turned the user's heading back";
}

TEST(CTourPilot, HoveringOrNoTimeTurnsNothing)
{
    CTourPilot pilot;
    EXPECT_EQ(pilot.Steer(100.0f, 100.0f, -1.0f, 0.0f, kMap, kMap, kMargin, 0.016f, 0.0f), 0.0f);
    EXPECT_EQ(pilot.Steer(100.0f, 100.0f, -1.0f, 0.0f, kMap, kMap, kMargin, 0.0f, k1000Kmh), 0.0f);
    EXPECT_EQ(pilot.Steer(100.0f, 100.0f, 0.0f, 0.0f, kMap, kMap, kMargin, 0.016f, k1000Kmh), 0.0f);
    EXPECT_EQ(pilot.Steer(100.0f, 100.0f, 1.0f, 0.0f, 0, 0, kMargin, 0.016f, k1000Kmh), 0.0f);
    EXPECT_NE(pilot.Steer(100.0f, 100.0f, -1.0f, 0.0f, kMap, kMap, kMargin, 0.016f, k1000Kmh), 0.0f);
}

}  // namespace
