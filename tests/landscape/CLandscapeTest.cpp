// Life cycle, pool, error tables, first frames and mesh output of CLandscape.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "landscape/CLandscape.h"
#include "tests/landscape/LandscapeTestSupport.h"

using namespace landscape_test;

namespace {

// Error of node `node` of root `k` as the landscape looks it up: a record
// with the node's corners, found by descending from the root as splits make
// children (left: apex, corner 0, midpoint; right: corner 1, apex, midpoint).
float NodeErrorOf(const CLandscape& l, int k, std::int32_t node, RoamTriangle* record = nullptr)
{
    std::vector<bool> left; // from the node up to the root
    for (std::int32_t i = node; i > 0; i = (i - 1) / 2)
        left.push_back(i % 2 == 1);
    RoamTriangle t = l.m_roots[k];
    for (auto it = left.rbegin(); it != left.rend(); ++it) {
        const std::int32_t mx = (t.x0 + t.x1) >> 1;
        const std::int32_t mz = (t.z0 + t.z1) >> 1;
        RoamTriangle c = t;
        if (*it) {
            c.x0 = t.x2, c.h0 = t.h2, c.z0 = t.z2;
            c.x1 = t.x0, c.h1 = t.h0, c.z1 = t.z0;
        } else {
            c.x0 = t.x1, c.h0 = t.h1, c.z0 = t.z1;
            c.x1 = t.x2, c.h1 = t.h2, c.z1 = t.z2;
        }
        c.x2 = mx, c.h2 = l.Sample(mx, mz), c.z2 = mz;
        c.nodeIndex = 2 * t.nodeIndex + (*it ? 1 : 2);
        t = c;
    }
    if (record != nullptr)
        *record = t;
    return l.NodeError(&t);
}

} // namespace

TEST(CLandscapeLifecycle, ConstructionDefaults)
{
    CLandscape l;
    EXPECT_EQ(l.m_vertexBuffer, nullptr);
    EXPECT_EQ(l.m_heights, nullptr);
    EXPECT_EQ(l.m_texture, nullptr);
    EXPECT_FLOAT_EQ(l.m_heightScale, 2.5f);
    EXPECT_FLOAT_EQ(l.m_minError, 0.05f);
    EXPECT_EQ(l.m_maxRenderTime, 1000u);
    EXPECT_FALSE(l.m_initialised);
    EXPECT_FALSE(l.m_started);
    EXPECT_EQ(l.Update(), -1);
}

TEST(CLandscapeLifecycle, RejectsUnusableWindows)
{
    CLandscape l;
    const std::vector<std::int32_t> w(16, 1);
    EXPECT_EQ(l.SetHeightWindow(4, nullptr, 4), -1);
    EXPECT_EQ(l.SetHeightWindow(1, w.data(), 4), -1);
    EXPECT_EQ(l.SetHeightWindow(4, w.data(), 0), -1);
    EXPECT_EQ(l.SetHeightWindow(-3, w.data(), 4), -1);
    EXPECT_EQ(l.m_heights, nullptr);
    CRecordingDevice device(64, 64);
    l.m_device = &device;
    EXPECT_EQ(l.Initialise(), -1);
    EXPECT_EQ(l.Update(), -1);
}

TEST(CLandscapeLifecycle, SecondWindowReplacesFirstAndCopiesIt)
{
    CLandscape l;
    std::vector<std::int32_t> a = FlatWindow(3, 3, 7);
    std::vector<std::int32_t> b = RoughWindow(5, 4, 1);
    EXPECT_EQ(l.SetHeightWindow(3, a.data(), 3), 0);
    EXPECT_EQ(l.SetHeightWindow(4, b.data(), 5), 0);
    b[0] = -99; // the caller's window stays the caller's
    EXPECT_EQ(l.m_rows, 4);
    EXPECT_EQ(l.m_columns, 5);
    EXPECT_EQ(l.Sample(0, 0), RoughWindow(5, 4, 1)[0]);
    EXPECT_EQ(l.Sample(4, 3), b[19]);
}

TEST(CLandscapeLifecycle, SizesOfSmallWindows)
{
    struct Case {
        int columns, rows, leaves, internal;
    };
    for (const Case c : {Case{5, 5, 32, 15}, Case{3, 3, 8, 3}, Case{2, 2, 2, 0}, Case{9, 5, 64, 31}}) {
        Scene s(RoughWindow(c.columns, c.rows, 3), c.columns, c.rows);
        ASSERT_EQ(s.landscape.Initialise(), 0);
        EXPECT_EQ(s.landscape.m_leafCount, c.leaves) << c.columns << "x" << c.rows;
        EXPECT_EQ(s.landscape.m_internalNodeCount, c.internal) << c.columns << "x" << c.rows;
    }
}

TEST(CLandscapeLifecycle, InitialiseCreatesTheVertexBufferOrFails)
{
    const auto w = RoughWindow(9, 9, 2);
    {
        Scene s(w, 9, 9);
        s.device.SetRecording(true);
        ASSERT_EQ(s.landscape.Initialise(), 0);
        const auto calls = s.device.Calls();
        ASSERT_EQ(s.device.CountOf(DeviceOp::CreateVertexBuffer), 1);
        for (const DeviceCall& call : calls) {
            if (call.op == DeviceOp::CreateVertexBuffer) {
                EXPECT_EQ(call.args[0], 96000000);
                EXPECT_EQ(call.args[1], 0);
                EXPECT_EQ(call.args[2], 0x112);
                EXPECT_EQ(call.args[3], D3DPOOL_SYSTEMMEM);
            }
        }
        EXPECT_TRUE(s.landscape.m_initialised);
    }
    Scene s(w, 9, 9);
    s.device.SetFailures(DeviceOp::CreateVertexBuffer, 1);
    EXPECT_EQ(s.landscape.Initialise(), -1);
    EXPECT_FALSE(s.landscape.m_initialised);
    s.Place(4, 100, -20);
    EXPECT_EQ(s.landscape.Update(), -1);
    EXPECT_EQ(s.landscape.Update(), -1);
}

TEST(CLandscapeLifecycle, DestroyReleasesBufferAndTextureButNotDevice)
{
    Scene s(RoughWindow(9, 9, 2), 9, 9);
    ITexture* texture = nullptr;
    ASSERT_EQ(s.device.CreateTexture(8, 8, 0, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                     &texture),
              0);
    s.landscape.m_texture = texture;
    ASSERT_EQ(s.landscape.Initialise(), 0);
    EXPECT_EQ(s.device.LiveObjects(), 2);
    s.landscape.Destroy();
    EXPECT_EQ(s.device.LiveObjects(), 0);
    EXPECT_EQ(s.landscape.m_vertexBuffer, nullptr);
    EXPECT_EQ(s.landscape.m_texture, nullptr);
    EXPECT_EQ(s.landscape.m_heights, nullptr);
    EXPECT_EQ(s.landscape.m_device, &s.device);
    s.landscape.Destroy();
    EXPECT_EQ(s.landscape.Update(), -1);
}

TEST(CLandscapePool, HandsOutInOrderAndReusesTheLastFreed)
{
    CLandscape l;
    l.CreatePool();
    RoamTriangle* a = l.AllocTriangle();
    RoamTriangle* b = l.AllocTriangle();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->id, 0);
    EXPECT_EQ(b->id, 1);
    EXPECT_EQ(a->splitIndex, -1);
    EXPECT_EQ(a->mergeIndex, -1);
    EXPECT_EQ(a->nodeIndex, -1);
    l.FreeTriangle(a);
    EXPECT_EQ(l.AllocTriangle(), a);
    while (l.m_poolUsed < CLandscape::kPoolSize) {
        ASSERT_NE(l.AllocTriangle(), nullptr);
    }
    EXPECT_EQ(l.AllocTriangle(), nullptr);
    EXPECT_EQ(l.FreeRecords(), 0);
}

TEST(CLandscapeErrorTables, ThreeByThreeWindow)
{
    // Samples (column, row): the diagonal from (2, 0) to (0, 2) has its
    // midpoint (1, 1).
    const std::vector<std::int32_t> w = {10, 20, 30,  //
                                         40, 90, 60,  //
                                         70, 80, 100};
    Scene s(w, 3, 3);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    ASSERT_EQ(s.landscape.m_internalNodeCount, 3);
    const auto t0 = [&](std::int32_t node) { return NodeErrorOf(s.landscape, 0, node); };
    const auto t1 = [&](std::int32_t node) { return NodeErrorOf(s.landscape, 1, node); };
    // Root 0: corners (2,0)=30, (0,2)=70, apex (0,0)=10. Left child
    // (apex, c0, M) has base (0,0)-(2,0), midpoint (1,0)=20: |20-20| = 0.
    // Right child (c1, apex, M) has base (0,2)-(0,0), midpoint (0,1)=40:
    // |40-40| = 0. Node 0: |(30+70)/2 - 90| + 0 = 40.
    EXPECT_FLOAT_EQ(t0(1), 0.0f);
    EXPECT_FLOAT_EQ(t0(2), 0.0f);
    EXPECT_FLOAT_EQ(t0(0), 40.0f);
    // Root 1: corners (0,2)=70, (2,0)=30, apex (2,2)=100. Left child base
    // (2,2)-(0,2), midpoint (1,2)=80: |85-80| = 5. Right child base
    // (2,0)-(2,2), midpoint (2,1)=60: |65-60| = 5. Node 0: 40 + 5.
    EXPECT_FLOAT_EQ(t1(1), 5.0f);
    EXPECT_FLOAT_EQ(t1(2), 5.0f);
    EXPECT_FLOAT_EQ(t1(0), 45.0f);
}

TEST(CLandscapeErrorTables, NodeErrorNeverBelowItsChildren)
{
    Scene s(RoughWindow(33, 33, 5), 33, 33);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    const int n = s.landscape.m_internalNodeCount;
    for (int k = 0; k < 2; ++k) {
        for (int i = 0; 2 * i + 2 < n; ++i) {
            EXPECT_GE(NodeErrorOf(s.landscape, k, i), NodeErrorOf(s.landscape, k, 2 * i + 1));
            EXPECT_GE(NodeErrorOf(s.landscape, k, i), NodeErrorOf(s.landscape, k, 2 * i + 2));
        }
    }
}

TEST(CLandscapeErrorTables, EveryNodeIsItsMidpointDeviationPlusItsLargerChild)
{
    // Stored and worked-out nodes alike, on complete and incomplete trees.
    const std::array<std::array<int, 3>, 4> cases = {{{3, 3, 1}, {33, 33, 5}, {20, 13, 7}, {4, 9, 3}}};
    for (const auto& [columns, rows, seed] : cases) {
        Scene s(RoughWindow(columns, rows, seed), columns, rows);
        ASSERT_EQ(s.landscape.Initialise(), 0);
        const CLandscape& l = s.landscape;
        const std::int32_t n = l.m_internalNodeCount;
        for (int k = 0; k < 2; ++k) {
            for (std::int32_t i = 0; i < n; ++i) {
                RoamTriangle t;
                const float error = NodeErrorOf(l, k, i, &t);
                const float larger = std::max(2 * i + 1 < n ? NodeErrorOf(l, k, 2 * i + 1) : 0.0f,
                                              2 * i + 2 < n ? NodeErrorOf(l, k, 2 * i + 2) : 0.0f);
                const std::int32_t mh = l.Sample((t.x0 + t.x1) >> 1, (t.z0 + t.z1) >> 1);
                const double own = std::fabs(static_cast<double>(t.h0 + t.h1) * 0.5 - mh);
                EXPECT_EQ(error, static_cast<float>(own + larger)) << columns << "x" << rows << " node " << i;
            }
        }
    }
}

TEST(CLandscapeFrame, FlatWindowStaysAtTheTwoRoots)
{
    Scene s(FlatWindow(65, 65, 50), 65, 65);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(32, 300, 32);
    ASSERT_EQ(s.landscape.Update(), 0);
    EXPECT_EQ(s.landscape.m_splitCount, 2);
    EXPECT_EQ(s.landscape.m_splitSteps + s.landscape.m_mergeSteps, 1);
    EXPECT_EQ(s.landscape.m_mergeSteps, 1);
    EXPECT_FALSE(s.landscape.m_hitBudget);
    ASSERT_EQ(s.landscape.Update(), 0);
    EXPECT_EQ(s.landscape.m_splitCount, 2);
    CheckMesh(s.landscape);
}

TEST(CLandscapeFrame, ZeroBudgetMakesExactlyOneStepPerFrame)
{
    Scene s(RoughWindow(65, 65, 9), 65, 65);
    s.landscape.m_maxRenderTime = 0;
    s.landscape.m_minError = 0.001f;
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(32, 200, -10);
    for (int frame = 0; frame < 20; ++frame) {
        ASSERT_EQ(s.landscape.Update(), 0);
        EXPECT_EQ(s.landscape.m_splitSteps + s.landscape.m_mergeSteps, 1);
    }
    EXPECT_GT(s.landscape.m_splitCount, 2);
    CheckMesh(s.landscape);
}

TEST(CLandscapeMesh, FlatWindowNormalsPointUp)
{
    Scene s(FlatWindow(17, 17, 30), 17, 17);
    s.landscape.m_minError = 0.0f; // split even where there is no error
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(8, 60, -30);
    ASSERT_EQ(s.landscape.Update(), 0);
    ASSERT_GT(s.landscape.m_trianglesRendered, 2);
    auto* vb = static_cast<CRecordingVertexBuffer*>(s.landscape.m_vertexBuffer);
    const auto* v = reinterpret_cast<const LandscapeVertex*>(vb->Data());
    for (int i = 0; i < 3 * s.landscape.m_trianglesRendered; ++i) {
        EXPECT_FLOAT_EQ(v[i].nx, 0.0f);
        EXPECT_FLOAT_EQ(v[i].ny, 1.0f);
        EXPECT_FLOAT_EQ(v[i].nz, 0.0f);
        EXPECT_FLOAT_EQ(v[i].y, 75.0f);
    }
    CheckWatertight(s.landscape, CheckMesh(s.landscape));
}

TEST(CLandscapeMesh, RootsBeforeTheFirstSplit)
{
    // A window that is a tilted plane: the roots have no error and stay.
    std::vector<std::int32_t> w(9 * 9);
    for (int r = 0; r < 9; ++r) {
        for (int c = 0; c < 9; ++c) {
            w[r * 9 + c] = 10 + 3 * c + r;
        }
    }
    Scene s(w, 9, 9);
    s.landscape.m_originX = 100.0f;
    s.landscape.m_originZ = 200.0f;
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(104, 200, 150);
    s.device.SetRecording(true);
    ASSERT_EQ(s.landscape.Update(), 0);
    ASSERT_EQ(s.landscape.m_trianglesRendered, 2);
    const RoamTriangle& a = s.landscape.m_roots[0];
    const RoamTriangle& b = s.landscape.m_roots[1];
    for (int k = 0; k < 3; ++k) {
        const float mean = (a.faceNormal[k] + b.faceNormal[k]) / 2.0f;
        EXPECT_FLOAT_EQ(a.normal0[k], mean);
        EXPECT_FLOAT_EQ(a.normal1[k], mean);
        EXPECT_FLOAT_EQ(a.normal2[k], a.faceNormal[k]);
        EXPECT_FLOAT_EQ(b.normal2[k], b.faceNormal[k]);
    }
    EXPECT_GT(a.faceNormal[1], 0.0f);

    // Positions carry the origin; texture coordinates divide by the sample
    // count, so the last column gets 8/9, not 1.
    auto* vb = static_cast<CRecordingVertexBuffer*>(s.landscape.m_vertexBuffer);
    const auto* v = reinterpret_cast<const LandscapeVertex*>(vb->Data());
    bool sawLastColumn = false;
    for (int i = 0; i < 6; ++i) {
        const float column = v[i].x - 100.0f;
        const float row = v[i].z - 200.0f;
        EXPECT_FLOAT_EQ(v[i].u, column / 9.0f);
        EXPECT_FLOAT_EQ(v[i].v, row / 9.0f);
        EXPECT_FLOAT_EQ(v[i].y, s.landscape.Sample(int(column), int(row)) * 2.5f);
        sawLastColumn |= column == 8.0f;
        if (column == 8.0f) {
            EXPECT_FLOAT_EQ(v[i].u, 8.0f / 9.0f);
        }
    }
    EXPECT_TRUE(sawLastColumn);
    // Each triangle is written apex, corner 1, corner 0.
    for (int k = 0; k < 2; ++k) {
        const LandscapeVertex* w = v + 3 * k;
        const RoamTriangle* root = s.landscape.m_splitQueue[0];
        if (w[0].x != root->x2 + 100.0f || w[0].z != root->z2 + 200.0f) {
            root = s.landscape.m_splitQueue[1];
        }
        EXPECT_FLOAT_EQ(w[0].x, root->x2 + 100.0f);
        EXPECT_FLOAT_EQ(w[0].z, root->z2 + 200.0f);
        EXPECT_FLOAT_EQ(w[1].x, root->x1 + 100.0f);
        EXPECT_FLOAT_EQ(w[1].z, root->z1 + 200.0f);
        EXPECT_FLOAT_EQ(w[2].x, root->x0 + 100.0f);
        EXPECT_FLOAT_EQ(w[2].z, root->z0 + 200.0f);
    }

    // No texture: stage 0 is left alone; stream, format and one draw.
    EXPECT_EQ(s.device.CountOf(DeviceOp::SetTexture), 0);
    EXPECT_EQ(s.device.CountOf(DeviceOp::DrawPrimitive), 1);
    for (const DeviceCall& call : s.device.Calls()) {
        if (call.op == DeviceOp::SetStreamSource) {
            EXPECT_EQ(call.object, s.landscape.m_vertexBuffer);
            EXPECT_EQ(call.args[2], 32);
        }
        if (call.op == DeviceOp::DrawPrimitive) {
            EXPECT_EQ(call.args[0], D3DPT_TRIANGLELIST);
            EXPECT_EQ(call.args[1], 0);
            EXPECT_EQ(call.args[2], 2);
        }
    }
    EXPECT_EQ(s.device.CurrentFVF(), 0x112u);
}

TEST(CLandscapeMesh, TextureOnStageZeroWhenThereIsOne)
{
    Scene s(RoughWindow(9, 9, 4), 9, 9);
    ITexture* texture = nullptr;
    ASSERT_EQ(s.device.CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &texture), 0);
    s.landscape.m_texture = texture;
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(4, 100, -10);
    ASSERT_EQ(s.landscape.Update(), 0);
    EXPECT_EQ(s.device.BoundTexture(), texture);
}

TEST(CLandscapeMesh, NothingVisibleLocksButDoesNotDraw)
{
    Scene s(RoughWindow(33, 33, 4), 33, 33);
    s.landscape.m_minError = 0.0001f;
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(16, 100, -40);
    ASSERT_EQ(s.landscape.Update(), 0);
    ASSERT_GT(s.landscape.m_splitCount, 2);
    // Turn away from the window and go far: only ids 0 and 1 stay visible,
    // and those have been split.
    s.Place(16, 100, -4000, 36);
    s.device.SetRecording(true);
    s.device.ClearCalls();
    s.landscape.m_maxRenderTime = 0;
    ASSERT_EQ(s.landscape.Update(), 0);
    int visible = 0;
    for (int i = 0; i < s.landscape.m_splitCount; ++i) {
        visible += s.landscape.IsVisible(s.landscape.m_splitQueue[i]) ? 1 : 0;
    }
    EXPECT_EQ(s.landscape.m_trianglesRendered, visible);
    if (visible == 0) {
        EXPECT_EQ(s.device.CountOf(DeviceOp::DrawPrimitive), 0);
    }
    EXPECT_EQ(s.device.CountOf(DeviceOp::VertexBufferLock), 1);
    EXPECT_EQ(s.device.CountOf(DeviceOp::VertexBufferUnlock), 1);
}

TEST(CLandscapeMesh, FailedLockKeepsThePreviousStatistics)
{
    Scene s(RoughWindow(33, 33, 6), 33, 33);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(16, 120, -20);
    ASSERT_EQ(s.landscape.Update(), 0);
    const int rendered = s.landscape.m_trianglesRendered;
    const int drawTime = s.landscape.m_drawTime;
    s.device.SetRecording(true);
    s.device.SetFailures(DeviceOp::VertexBufferLock, 1);
    s.Place(16, 120, -10);
    EXPECT_EQ(s.landscape.Update(), -1);
    EXPECT_EQ(s.landscape.m_trianglesRendered, rendered);
    EXPECT_EQ(s.landscape.m_drawTime, drawTime);
    EXPECT_EQ(s.device.CountOf(DeviceOp::DrawPrimitive), 0);
    EXPECT_EQ(s.device.CountOf(DeviceOp::VertexBufferUnlock), 0);
    // The next frame draws again.
    EXPECT_EQ(s.landscape.Update(), 0);
    CheckMesh(s.landscape);
}
