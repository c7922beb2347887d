// The shared frame: its order of device calls around the caller's paging
// decision, the statistics lines for each status, and the forward flight
// step that follows it.
#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "flight/CFlightFrame.h"
#include "flight/CForwardFlight.h"
#include "render/CCamera.h"
#include "tests/support/CRecordingDevice.h"

namespace {

std::vector<DeviceOp> FrameOps(const CRecordingDevice& device)
{
    std::vector<DeviceOp> ops;
    for (const DeviceCall& call : device.Calls())
        if (call.op == DeviceOp::Clear || call.op == DeviceOp::BeginScene || call.op == DeviceOp::EndScene ||
            call.op == DeviceOp::Present || call.op == DeviceOp::DrawPrimitiveUP)
            ops.push_back(call.op);
    return ops;
}

} // namespace

TEST(CFlightFrameTest, DecidesPagingBetweenClearAndSceneAndPresentsLast)
{
    CRecordingDevice device(556, 390);
    std::mutex lock;
    CLandscape* const none = nullptr;
    int clearsBeforeDecision = -1;
    int scenesBeforeDecision = -1;
    const FrameFigures figures = CFlightFrame::Draw(
        &device, CCamera().Snapshot(), lock, none,
        [&]() {
            clearsBeforeDecision = device.CountOf(DeviceOp::Clear);
            scenesBeforeDecision = device.CountOf(DeviceOp::BeginScene);
        },
        {}, false);
    EXPECT_EQ(clearsBeforeDecision, 1);
    EXPECT_EQ(scenesBeforeDecision, 0);
    const std::vector<DeviceOp> expected = {DeviceOp::Clear,           DeviceOp::BeginScene,
                                            DeviceOp::DrawPrimitiveUP, DeviceOp::DrawPrimitiveUP,
                                            DeviceOp::DrawPrimitiveUP, DeviceOp::EndScene,
                                            DeviceOp::Present};
    EXPECT_EQ(FrameOps(device), expected) << "clear, axes, no landscape, present";
    EXPECT_EQ(figures.triangles, 0);
    EXPECT_TRUE(lock.try_lock()) << "the lock is given back";
    lock.unlock();
}

TEST(CFlightFrameTest, StatisticsLinesFollowTheStatus)
{
    FrameFigures figures;
    figures.roamTime = 12;
    figures.drawTime = 3;
    figures.triangles = 40213;
    FrameStatus status;
    status.speedKmh = 250.0f;
    status.fps = 31;

    std::vector<OverlayLine> lines = CFlightFrame::StatisticsLines(figures, {4096.0f, 712.5f, 1500.0f}, status);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].text, "Tiempo ROAM:12 mseg");
    EXPECT_EQ(lines[1].text, "Tiempo DirectX:3 mseg");
    EXPECT_EQ(lines[2].text, "Camara: X:4.10Kms Y:712.50m Z:1.50Kms");
    EXPECT_EQ(lines[3].text, "Velocidad:250.00");
    EXPECT_EQ(lines[4].text, "N\xBA triangulos renderizados:40213");
    EXPECT_EQ(lines[5].top, 140);
    EXPECT_EQ(lines[5].text, "Frames por segundo:31");

    status.pagingNotice = true;
    status.pagingTime = true;
    status.pagingDurationMs = 2380;
    lines = CFlightFrame::StatisticsLines(figures, {0.0f, 0.0f, 0.0f}, status);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[5].top, 100);
    EXPECT_EQ(lines[5].text, "Realizando paginaci\xF3n del terreno...");
    EXPECT_EQ(lines[6].top, 120);
    EXPECT_EQ(lines[6].text, "Tiempo en paginar:2380 mseg");

    // A served terrain: the run waiting for data says so in the notice's
    // place, and the server's trouble goes below the frame rate.
    status.downloading = true;
    status.serverNotice = "Servidor sin respuesta";
    lines = CFlightFrame::StatisticsLines(figures, {0.0f, 0.0f, 0.0f}, status);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[5].top, 100);
    EXPECT_EQ(lines[5].text, "Descargando terreno...");
    EXPECT_EQ(lines[8].top, 160);
    EXPECT_EQ(lines[8].text, "Servidor sin respuesta");
}

TEST(CFlightFrameTest, ForwardFlightDropsStepsOfAThousandUnitsOrMore)
{
    struct Case {
        std::uint32_t elapsedMs;
        float speed;
        float expectedZ;
    } cases[] = {
        {100, 277.77777f, 27.777777f},
        {0, 277.77777f, 0.0f},
        {4000, 250.0f, 0.0f}, // exactly 1000 units: dropped
        {3996, 250.0f, 999.0f},
    };
    for (const Case& c : cases) {
        CCamera camera;
        const float flown = CForwardFlight::Step(camera, c.elapsedMs, c.speed, 0.0f);
        EXPECT_NEAR(camera.Position().z, c.expectedZ, 1e-3f) << c.elapsedMs;
        EXPECT_NEAR(flown, c.expectedZ, 1e-3f);
    }
    CCamera turning;
    CForwardFlight::Step(turning, 500, 0.0f, 0.2f);
    turning.Apply();
    EXPECT_GT(turning.Snapshot().look.x, 0.09f) << "a steady turn to the right";
}
