// Back faces are left to the device's culling only when they cannot show:
// the eye inside the window and above every leaf near it, solid fill, no
// cull mode of the caller's own; the walk that finds the highest leaf
// corner near a point.
#include <gtest/gtest.h>

#include "tests/landscape/LandscapeTestSupport.h"

using namespace landscape_test;

namespace {

constexpr int kSide = 65;

// Flat at level 40 (100 world units) with one spike of level 200 (500
// units) at column 32, row 32.
std::vector<std::int32_t> SpikeWindow()
{
    std::vector<std::int32_t> w = FlatWindow(kSide, kSide, 40);
    w[32 * kSide + 32] = 200;
    return w;
}

} // namespace

TEST(CLandscapeBackFaces, HiddenOnlyFromAboveTheMeshInsideTheWindow)
{
    Scene s(SpikeWindow(), kSide, kSide);
    CLandscape& l = s.landscape;
    ASSERT_EQ(l.Initialise(), 0);
    // Before any update the mesh is the two flat roots: the spike is not
    // drawn, so only the roots' level counts.
    EXPECT_EQ(l.HighestLeafCorner(30.0f, 30.0f, 34.0f, 34.0f), 40);
    struct Case {
        D3DXVECTOR3 eye;
        bool hidden;
        const char* what;
    };
    const Case roots[] = {
        {{20.0f, 150.0f, 20.0f}, true, "well above the ground"},
        {{32.0f, 150.0f, 32.0f}, true, "above the undrawn spike"},
        {{20.0f, 101.0f, 20.0f}, false, "the near plane reaches below the ground"},
        {{20.0f, 80.0f, 20.0f}, false, "under the ground"},
        {{-10.0f, 500.0f, 20.0f}, false, "outside the window"},
        {{20.0f, 500.0f, 70.0f}, false, "beyond the far edge"},
        {{1.0f, 500.0f, 20.0f}, false, "the near plane reaches past the edge"},
    };
    auto check = [&](const auto& cases) {
        for (const Case& c : cases) {
            s.Place(c.eye.x, c.eye.y, c.eye.z);
            l.ReadTransforms();
            EXPECT_EQ(l.BackFacesHidden(), c.hidden) << c.what;
        }
    };
    check(roots);
    // A world transform other than identity moves the mesh: no promise.
    s.Place(20.0f, 150.0f, 20.0f);
    D3DXMATRIX moved(1.0f);
    moved[3][1] = 1000.0f;
    s.device.SetTransform(D3DTS_WORLD, moved);
    l.ReadTransforms();
    EXPECT_FALSE(l.BackFacesHidden());
    s.device.SetTransform(D3DTS_WORLD, D3DXMATRIX(1.0f));

    // Refined everywhere: the spike is a leaf corner now.
    l.m_minError = 0.0f;
    l.m_maxRenderTime = 60000;
    s.Place(32.0f, 800.0f, 5.0f);
    ASSERT_EQ(l.Update(), 0);
    EXPECT_EQ(l.HighestLeafCorner(30.0f, 30.0f, 34.0f, 34.0f), 200);
    EXPECT_EQ(l.HighestLeafCorner(30.0f, 30.0f, 31.5f, 31.5f), 200) << "leaves touching the spike count";
    EXPECT_EQ(l.HighestLeafCorner(10.0f, 10.0f, 14.0f, 14.0f), 40);
    const Case refined[] = {
        // The near plane's corners lie 1.94 units from the eye (90 degrees,
        // 4:3), and a unit more is kept: the eye must be 2.94 above 500.
        {{32.0f, 300.0f, 32.0f}, false, "below the spike's top"},
        {{32.0f, 502.5f, 32.0f}, false, "just above the spike's top"},
        {{32.0f, 503.5f, 32.0f}, true, "above the spike's top by the near plane's reach"},
        // Coarse flat leaves around the spike share its corner and slope up
        // to it: they count too.
        {{45.0f, 300.0f, 45.0f}, false, "beside the spike, over a leaf that rises to it"},
    };
    check(refined);
}

TEST(CLandscapeBackFaces, DrawCullsOnlyInSolidFillWithoutACullModeOfItsOwn)
{
    struct Case {
        std::uint32_t fill;
        std::uint32_t cull;
        bool enabled;
        float eyeHeight;
        bool culls;
        const char* what;
    };
    const Case cases[] = {
        {D3DFILL_SOLID, D3DCULL_NONE, true, 400.0f, true, "solid, no culling set"},
        {D3DFILL_WIREFRAME, D3DCULL_NONE, true, 400.0f, false, "wireframe shows back faces"},
        {D3DFILL_SOLID, D3DCULL_CW, true, 400.0f, false, "the caller's cull mode stays"},
        {D3DFILL_SOLID, D3DCULL_NONE, false, 400.0f, false, "switched off"},
        {D3DFILL_SOLID, D3DCULL_NONE, true, 50.0f, false, "under the ground"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scene s(SpikeWindow(), kSide, kSide);
        CLandscape& l = s.landscape;
        ASSERT_EQ(l.Initialise(), 0);
        l.m_cullHiddenFaces = c.enabled;
        s.device.SetRenderState(D3DRS_FILLMODE, c.fill);
        s.device.SetRenderState(D3DRS_CULLMODE, c.cull);
        s.Place(20.0f, c.eyeHeight, 10.0f);
        s.device.SetRecording(true);
        s.device.ClearCalls();
        ASSERT_EQ(l.Update(), 0);
        std::vector<std::int64_t> cullModes; // set around the draw, in order
        bool drawn = false;
        for (const DeviceCall& call : s.device.Calls()) {
            if (call.op == DeviceOp::SetRenderState && call.args[0] == D3DRS_CULLMODE) {
                cullModes.push_back(call.args[1]);
                EXPECT_EQ(drawn, cullModes.size() == 2) << "culling set before the draw, undone after it";
            }
            drawn |= call.op == DeviceOp::DrawPrimitive;
        }
        ASSERT_TRUE(drawn);
        if (c.culls) {
            EXPECT_EQ(cullModes, (std::vector<std::int64_t>{D3DCULL_CCW, D3DCULL_NONE}));
        } else {
            EXPECT_TRUE(cullModes.empty());
        }
        std::uint32_t after = 0;
        s.device.GetRenderState(D3DRS_CULLMODE, &after);
        EXPECT_EQ(after, c.cull);
    }
}
