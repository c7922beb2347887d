#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <glm/gtc/matrix_transform.hpp>
#include <thread>

#include "render/CCamera.h"
#include "tests/support/CRecordingDevice.h"

namespace {

constexpr float kFiveDegrees = 0.0872664600610733f;

void ExpectVec(const D3DXVECTOR3& a, const D3DXVECTOR3& b, float eps)
{
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

void ExpectOrthonormal(const CameraSnapshot& s)
{
    EXPECT_NEAR(glm::length(s.look), 1.0f, 1e-5f);
    EXPECT_NEAR(glm::length(s.right), 1.0f, 1e-5f);
    EXPECT_NEAR(glm::length(s.up), 1.0f, 1e-5f);
    EXPECT_NEAR(glm::dot(s.look, s.right), 0.0f, 1e-5f);
    EXPECT_NEAR(glm::dot(s.look, s.up), 0.0f, 1e-5f);
    // Left-handed: look = right x up.
    ExpectVec(glm::cross(s.right, s.up), s.look, 1e-5f);
}

D3DXMATRIX LastView(const CRecordingDevice& device)
{
    D3DXMATRIX m(0.0f);
    for (const DeviceCall& call : device.Calls()) {
        if (call.op == DeviceOp::SetTransform && call.args[0] == D3DTS_VIEW) {
            m = call.matrix;
        }
    }
    return m;
}

} // namespace

TEST(CCamera, ResetGivesTheStartingBasis)
{
    CCamera camera;
    camera.Advance(5);
    camera.Turn(1.0f);
    camera.Apply();
    camera.Reset();
    const CameraSnapshot s = camera.Snapshot();
    ExpectVec(s.position, {0, 0, 0}, 0);
    ExpectVec(s.look, {0, 0, 1}, 0);
    ExpectVec(s.right, {1, 0, 0}, 0);
    ExpectVec(s.up, {0, 1, 0}, 0);
    EXPECT_EQ(camera.View(), D3DXMATRIX(1.0f));
}

TEST(CCamera, MovesAlongItsOwnAxes)
{
    struct Case {
        void (CCamera::*move)(float);
        float distance;
        D3DXVECTOR3 expected;
    };
    const Case cases[] = {
        {&CCamera::Advance, 20.0f, {0, 0, 20}},  {&CCamera::Advance, -20.0f, {0, 0, -20}},
        {&CCamera::Strafe, 20.0f, {20, 0, 0}},   {&CCamera::Strafe, -20.0f, {-20, 0, 0}},
        {&CCamera::Rise, 20.0f, {0, 20, 0}},     {&CCamera::Rise, -20.0f, {0, -20, 0}},
        {&CCamera::Advance, 0.25f, {0, 0, 0.25f}},
    };
    for (const Case& c : cases) {
        CCamera camera;
        (camera.*c.move)(c.distance);
        EXPECT_TRUE(camera.Dirty());
        ExpectVec(camera.Position(), c.expected, 0.0f);
    }
    // After a quarter turn right, forward is +x and right is -z.
    CCamera camera;
    camera.Turn(18 * kFiveDegrees); // 90 degrees
    camera.Apply();
    camera.Advance(10);
    camera.Strafe(3);
    ExpectVec(camera.Position(), {10, 0, -3}, 1e-4f);
}

TEST(CCamera, SeventyTwoTurnsOfFiveDegreesComeBack)
{
    CRecordingDevice device(640, 480);
    CCamera camera;
    camera.SetDevice(&device);
    for (int i = 0; i < 72; ++i) {
        camera.Turn(kFiveDegrees);
        camera.Apply();
        ExpectOrthonormal(camera.Snapshot());
        EXPECT_NEAR(camera.Snapshot().up.y, 1.0f, 1e-6f);
        EXPECT_NEAR(camera.Snapshot().look.y, 0.0f, 1e-6f);
    }
    ExpectVec(camera.Snapshot().look, {0, 0, 1}, 1e-4f);
    ExpectVec(camera.Snapshot().right, {1, 0, 0}, 1e-4f);
}

TEST(CCamera, PositiveTurnIsToTheRightAndOppositeTurnsCancel)
{
    CCamera camera;
    camera.Turn(kFiveDegrees);
    camera.Apply();
    const CameraSnapshot s = camera.Snapshot();
    EXPECT_NEAR(s.look.x, std::sin(kFiveDegrees), 1e-6f);
    EXPECT_NEAR(s.look.z, std::cos(kFiveDegrees), 1e-6f);

    CCamera other;
    other.Turn(kFiveDegrees);
    other.Turn(-kFiveDegrees);
    other.Apply();
    ExpectVec(other.Snapshot().look, {0, 0, 1}, 0.0f);
}

TEST(CCamera, ViewMatrixMatchesLookAt)
{
    struct Case {
        D3DXVECTOR3 position;
        int turns;
    };
    for (const Case c : {Case{{0, 5, 0}, 0}, Case{{2048, 700, 2048}, 3}, Case{{-10, 20, 300}, 29},
                         Case{{100, -50, -100}, 71}}) {
        CRecordingDevice device(640, 480);
        CCamera camera;
        camera.SetDevice(&device);
        camera.SetPosition(c.position);
        for (int i = 0; i < c.turns; ++i) {
            camera.Turn(kFiveDegrees);
        }
        camera.Apply();
        const CameraSnapshot s = camera.Snapshot();
        const D3DXMATRIX expected = glm::lookAtLH(s.position, s.position + s.look, s.up);
        const D3DXMATRIX view = camera.View();
        for (int r = 0; r < 4; ++r) {
            for (int k = 0; k < 4; ++k) {
                // Float rounding grows with the distance from the origin.
                const float eps = 1e-4f + 4e-6f * std::fabs(expected[r][k]);
                EXPECT_NEAR(view[r][k], expected[r][k], eps) << r << "," << k;
            }
        }
        EXPECT_EQ(LastView(device), view);
        // The eye maps to the view-space origin, a point ahead to +z.
        ExpectVec(D3DXVec3TransformCoord(s.position, view), {0, 0, 0}, 1e-2f);
        EXPECT_NEAR(D3DXVec3TransformCoord(s.position + 10.0f * s.look, view).z, 10.0f, 1e-2f);
    }
}

TEST(CCamera, ApplySetsTheViewEveryTimeAndProjectionOnce)
{
    CRecordingDevice device(640, 480);
    CCamera camera;
    EXPECT_EQ(camera.SetupProjection(), -1);
    camera.Apply(); // no device: nothing to set, nothing breaks
    camera.SetDevice(&device);
    EXPECT_EQ(camera.SetupProjection(), 0);
    camera.Apply();
    camera.Apply();
    int views = 0;
    int projections = 0;
    for (const DeviceCall& call : device.Calls()) {
        if (call.op == DeviceOp::SetTransform) {
            views += call.args[0] == D3DTS_VIEW ? 1 : 0;
            if (call.args[0] == D3DTS_PROJECTION) {
                ++projections;
                EXPECT_EQ(call.matrix, glm::perspectiveLH_ZO(1.5707964f, 1.3333334f, 1.0f, 5000.0f));
            }
        }
    }
    EXPECT_EQ(views, 2);
    EXPECT_EQ(projections, 1);
    EXPECT_FALSE(camera.Dirty());
}

TEST(CCamera, UserInterfaceAndRenderThreadsShareIt)
{
    CRecordingDevice device(640, 480);
    device.SetRecording(false);
    CCamera camera;
    camera.SetDevice(&device);
    std::atomic<bool> stop{false};
    std::thread render([&] {
        while (!stop.load()) {
            camera.Apply();
            camera.Advance(1.0f);
            const CameraSnapshot s = camera.Snapshot();
            EXPECT_NEAR(glm::length(s.look), 1.0f, 1e-4f);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        camera.Turn(i % 2 ? kFiveDegrees : -kFiveDegrees);
        camera.Rise(i % 2 ? 20.0f : -20.0f);
        (void)camera.Position();
    }
    stop = true;
    render.join();
    camera.Apply();
    ExpectOrthonormal(camera.Snapshot());
    EXPECT_NEAR(camera.Position().y, 0.0f, 1e-3f);
}
