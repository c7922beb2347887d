// The camera's own pitch: its sign, the elevation it reports, the limit, and
// a level horizon when a pitched camera turns.
#include <gtest/gtest.h>

#include <cmath>

#include "render/CCamera.h"

namespace {

constexpr float kDegree = 0.017453292f;
constexpr float kLimit = 80.0f * kDegree;

} // namespace

TEST(CCameraPitch, PositivePitchLooksDownAndElevationCountsPendingPitch)
{
    CCamera camera;
    EXPECT_FLOAT_EQ(camera.Pitch(10.0f * kDegree, kLimit), 10.0f * kDegree);
    EXPECT_NEAR(camera.Elevation(), -10.0f * kDegree, 1e-6f);
    camera.Apply();
    const CameraSnapshot s = camera.Snapshot();
    EXPECT_NEAR(s.look.y, -std::sin(10.0f * kDegree), 1e-5f);
    EXPECT_NEAR(camera.Elevation(), -10.0f * kDegree, 1e-5f);
    EXPECT_NEAR(s.right.y, 0.0f, 1e-6f);
}

TEST(CCameraPitch, ElevationStaysWithinTheLimit)
{
    struct Case {
        float stepDegrees;
        int steps;
        float expectedDegrees; // elevation at the end
    } cases[] = {
        {-5.0f, 30, 80.0f},  // dragging up stops at +80
        {5.0f, 30, -80.0f},  // dragging down stops at -80
        {-30.0f, 1, 30.0f},  // within the limit: taken whole
        {200.0f, 1, -80.0f}, // one huge step is cut
    };
    for (const Case& c : cases) {
        CCamera camera;
        for (int i = 0; i < c.steps; ++i) {
            camera.Pitch(c.stepDegrees * kDegree, kLimit);
            if (i % 3 == 0) {
                camera.Apply(); // pending and applied pitch both count
            }
        }
        camera.Apply();
        EXPECT_NEAR(camera.Elevation() / kDegree, c.expectedDegrees, 1e-3f) << c.stepDegrees;
        const CameraSnapshot s = camera.Snapshot();
        EXPECT_GT(s.up.y, 0.0f) << "never over the top";
    }
}

TEST(CCameraPitch, APitchedCameraTurnsWithALevelHorizon)
{
    CCamera camera;
    camera.Pitch(30.0f * kDegree, kLimit);
    camera.Apply();
    // A full circle in small turns, as a mouse drag delivers them.
    for (int i = 0; i < 720; ++i) {
        camera.Turn(0.5f * kDegree);
        camera.Apply();
        const CameraSnapshot s = camera.Snapshot();
        ASSERT_NEAR(s.right.y, 0.0f, 1e-5f) << i;
        ASSERT_NEAR(glm::dot(s.look, s.right), 0.0f, 1e-5f);
        ASSERT_NEAR(glm::length(s.look), 1.0f, 1e-5f);
    }
    EXPECT_NEAR(camera.Elevation(), -30.0f * kDegree, 1e-4f);
    const CameraSnapshot s = camera.Snapshot();
    EXPECT_NEAR(s.look.x, 0.0f, 1e-3f);
    EXPECT_GT(s.look.z, 0.0f);
}

TEST(CCameraPitch, WithoutPitchTheBasisIsTheClassicOne)
{
    // A camera that was never pitched turns exactly as before.
    CCamera pitched;
    CCamera classic;
    pitched.Pitch(0.0f, kLimit);
    for (int i = 0; i < 10; ++i) {
        pitched.Turn(0.0872664600610733f);
        classic.Turn(0.0872664600610733f);
        pitched.Apply();
        classic.Apply();
    }
    EXPECT_EQ(pitched.View(), classic.View());
}

TEST(CCameraPitch, ResetLevelsTheCamera)
{
    CCamera camera;
    camera.Pitch(20.0f * kDegree, kLimit);
    camera.Apply();
    camera.Reset();
    EXPECT_EQ(camera.Elevation(), 0.0f);
    CCamera classic;
    camera.Turn(0.3f);
    classic.Turn(0.3f);
    camera.Apply();
    classic.Apply();
    EXPECT_EQ(camera.View(), classic.View());
}
