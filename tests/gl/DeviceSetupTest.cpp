// The fixed render state, the axis lines, the display-mode switch and the
// order in which one frame reaches the device, seen by the recording device.
#include <vector>

#include <gtest/gtest.h>

#include "flight/PageTexture.h"
#include "landscape/CLandscape.h"
#include "render/CCamera.h"
#include "render/DeviceSetup.h"
#include "render/Overlay.h"
#include "terrain/CBitmapEx.h"
#include "tests/support/CRecordingDevice.h"

namespace {

std::vector<DeviceOp> Ops(const std::vector<DeviceCall>& calls)
{
    std::vector<DeviceOp> ops;
    for (const DeviceCall& call : calls)
        ops.push_back(call.op);
    return ops;
}

} // namespace

TEST(DeviceSetupTest, RenderStateLightAndMaterialInTheirOrder)
{
    CRecordingDevice device(556, 390);
    SetupRenderState(&device);
    const std::vector<DeviceCall> calls = device.Calls();
    const struct {
        DeviceOp op;
        std::int64_t a0, a1;
    } expected[] = {
        {DeviceOp::SetRenderState, D3DRS_CULLMODE, D3DCULL_NONE},
        {DeviceOp::SetRenderState, D3DRS_FILLMODE, D3DFILL_SOLID},
        {DeviceOp::SetRenderState, D3DRS_LIGHTING, 1},
        {DeviceOp::SetRenderState, D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {DeviceOp::SetRenderState, D3DRS_AMBIENT, 0x00C8C8C8},
        {DeviceOp::SetLight, 0, D3DLIGHT_DIRECTIONAL},
        {DeviceOp::LightEnable, 0, 1},
        {DeviceOp::SetMaterial, 0, 0},
    };
    ASSERT_EQ(calls.size(), std::size(expected));
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].op, expected[i].op) << "call " << i;
        if (expected[i].op != DeviceOp::SetMaterial) {
            EXPECT_EQ(calls[i].args[0], expected[i].a0) << "call " << i;
            EXPECT_EQ(calls[i].args[1], expected[i].a1) << "call " << i;
        }
    }
    SetupRenderState(nullptr);
    SetupLight(nullptr);
    DrawAxes(nullptr);
    SetFillMode(nullptr, true);
}

TEST(DeviceSetupTest, AxesAreThreeColouredLinesFromTheOrigin)
{
    CRecordingDevice device(556, 390);
    DrawAxes(&device);
    const std::vector<DeviceCall> calls = device.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, DeviceOp::SetFVF);
    EXPECT_EQ(calls[0].args[0], FVF_AXIS);
    const struct {
        float x, y, z;
        D3DCOLOR colour;
    } ends[] = {{1000, 0, 0, 0xFFFFFFFF}, {0, 1000, 0, 0xFF0000FF}, {0, 0, 1000, 0xFFFF0000}};
    for (int axis = 0; axis < 3; ++axis) {
        const DeviceCall& call = calls[1 + axis];
        EXPECT_EQ(call.op, DeviceOp::DrawPrimitiveUP);
        EXPECT_EQ(call.args[0], D3DPT_LINELIST);
        EXPECT_EQ(call.args[1], 1);
        EXPECT_EQ(call.args[2], 16);
        const auto* v = static_cast<const AxisVertex*>(call.object);
        EXPECT_EQ(v[0].x, 0.0f);
        EXPECT_EQ(v[0].y, 0.0f);
        EXPECT_EQ(v[0].z, 0.0f);
        EXPECT_EQ(v[1].x, ends[axis].x);
        EXPECT_EQ(v[1].y, ends[axis].y);
        EXPECT_EQ(v[1].z, ends[axis].z);
        EXPECT_EQ(v[0].color, ends[axis].colour);
        EXPECT_EQ(v[1].color, ends[axis].colour);
    }
    EXPECT_EQ(device.CurrentFVF(), FVF_AXIS);
}

TEST(DeviceSetupTest, DisplayModeSwitchesTheFillMode)
{
    CRecordingDevice device(556, 390);
    std::uint32_t mode = 0;
    SetFillMode(&device, true);
    device.GetRenderState(D3DRS_FILLMODE, &mode);
    EXPECT_EQ(mode, D3DFILL_WIREFRAME);
    SetFillMode(&device, false);
    device.GetRenderState(D3DRS_FILLMODE, &mode);
    EXPECT_EQ(mode, D3DFILL_SOLID);
}

TEST(DeviceSetupTest, OneFrameReachesTheDeviceInOrder)
{
    CRecordingDevice device(556, 390);
    CCamera camera;
    camera.SetDevice(&device);
    camera.SetupProjection();
    CreateOverlayFont(&device);
    CBitmapEx colours;
    ASSERT_EQ(colours.CreateBlank(33, 33), 0);
    std::vector<std::int32_t> heights(33 * 33, 10);
    CLandscape landscape;
    landscape.m_device = &device;
    landscape.m_texture = CreatePageTexture(&device, colours, 0, 0, 33, 33);
    ASSERT_NE(landscape.m_texture, nullptr);
    ASSERT_EQ(landscape.SetHeightWindow(33, heights.data(), 33), 0);
    ASSERT_EQ(landscape.Initialise(), 0);
    camera.SetPosition({16, 225, 16});
    SetupRenderState(&device);
    device.ClearCalls();

    // The per-frame routine's device calls.
    camera.Apply();
    device.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    device.BeginScene();
    DrawAxes(&device);
    landscape.Update();
    DrawOverlayText(0, "Tiempo ROAM:0 mseg");
    device.EndScene();
    device.Present();

    const std::vector<DeviceCall> calls = device.Calls();
    const std::vector<DeviceOp> ops = Ops(calls);
    // The calls that matter, in this order; reads of state in between are fine.
    const DeviceOp order[] = {DeviceOp::SetTransform, DeviceOp::Clear,         DeviceOp::BeginScene,
                              DeviceOp::SetFVF,       DeviceOp::DrawPrimitiveUP, DeviceOp::DrawPrimitiveUP,
                              DeviceOp::DrawPrimitiveUP, DeviceOp::SetTexture, DeviceOp::SetStreamSource,
                              DeviceOp::SetFVF,       DeviceOp::DrawPrimitive, DeviceOp::FontDrawText,
                              DeviceOp::EndScene,     DeviceOp::Present};
    std::size_t next = 0;
    for (std::size_t i = 0; i < calls.size() && next < std::size(order); ++i) {
        if (ops[i] != order[next])
            continue;
        const DeviceCall& call = calls[i];
        switch (call.op) {
        case DeviceOp::SetTransform:
            EXPECT_EQ(call.args[0], D3DTS_VIEW);
            break;
        case DeviceOp::Clear:
            EXPECT_EQ(call.args[0], 0);
            EXPECT_EQ(call.args[1], static_cast<std::int64_t>(D3DCLEAR_TARGET));
            EXPECT_EQ(call.args[2], 0xFF000000);
            break;
        case DeviceOp::SetTexture:
            EXPECT_EQ(call.object, landscape.m_texture);
            break;
        case DeviceOp::SetStreamSource:
            EXPECT_EQ(call.args[2], 32);
            break;
        case DeviceOp::DrawPrimitive:
            EXPECT_EQ(call.args[0], D3DPT_TRIANGLELIST);
            EXPECT_GT(call.args[2], 0);
            break;
        default:
            break;
        }
        ++next;
    }
    EXPECT_EQ(next, std::size(order)) << "frame order broken at step " << next;
    for (DeviceOp op : {DeviceOp::SetLight, DeviceOp::SetMaterial})
        EXPECT_EQ(device.CountOf(op), 0) << "fixed state is not re-applied per frame";
    // Only the landscape's culling of hidden back faces, set for its draw
    // and undone after it.
    std::vector<std::int64_t> cullModes;
    for (const DeviceCall& call : calls) {
        if (call.op != DeviceOp::SetRenderState)
            continue;
        EXPECT_EQ(call.args[0], D3DRS_CULLMODE) << "fixed state is not re-applied per frame";
        cullModes.push_back(call.args[1]);
    }
    EXPECT_TRUE(cullModes.empty() || cullModes == (std::vector<std::int64_t>{D3DCULL_CCW, D3DCULL_NONE}));

    landscape.Destroy();
    ReleaseOverlayFont();
    EXPECT_EQ(device.LiveObjects(), 0);
}
