// The passes shared with the helper thread change nothing: a landscape
// with its helper and one without take the same steps and write the same
// mesh, byte for byte, triangles needing no clipping first; and two
// landscapes may update on two threads at once.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <random>
#include <thread>

#include "tests/landscape/LandscapeTestSupport.h"

using namespace landscape_test;

namespace {

const std::byte* VertexData(const CLandscape& l)
{
    return static_cast<const CRecordingVertexBuffer*>(l.m_vertexBuffer)->Data();
}

// Whether every corner of written triangle k lies at least the margin inside
// every frustum plane.
bool WhollyInside(const CLandscape& l, int k)
{
    const auto* v = reinterpret_cast<const LandscapeVertex*>(VertexData(l)) + 3 * k;
    for (const auto& plane : l.m_frustum) {
        for (int c = 0; c < 3; ++c) {
            if (plane[0] * v[c].x + plane[1] * v[c].y + plane[2] * v[c].z + plane[3] < CLandscape::kInsideMargin) {
                return false;
            }
        }
    }
    return true;
}

// A seeded flight over `scene`: turns, moves and climbs, with the minimum
// error changed now and then.
struct Flight {
    std::mt19937 rng;
    explicit Flight(std::uint32_t seed) : rng(seed) {}
    void Step(Scene& s, int frame)
    {
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        if (frame % 5 == 0) {
            const float errors[] = {0.01f, 0.002f, 0.0005f};
            s.landscape.m_minError = errors[rng() % 3];
        }
        s.camera.Turn((unit(rng) - 0.5f) * 0.1f);
        s.camera.Advance(unit(rng) * 2.0f);
        s.camera.Rise((unit(rng) - 0.5f) * 10.0f);
        s.camera.Apply();
    }
};

} // namespace

TEST(CLandscapeParallel, HelperThreadWritesTheSameMeshAsOneThread)
{
    constexpr int kSize = 129;
    const auto window = RoughWindow(kSize, kSize, 11);
    Scene shared(window, kSize, kSize);
    Scene single(window, kSize, kSize);
    single.landscape.m_useWorker = false;
    for (Scene* s : {&shared, &single}) {
        s->landscape.m_originX = 250.0f;
        s->landscape.m_originZ = -40.0f;
        s->landscape.m_maxRenderTime = 60000; // the budget must never decide
        ASSERT_EQ(s->landscape.Initialise(), 0);
        s->landscape.m_minError = 0.002f;
        s->Place(250.0f + kSize / 2.0f, 450.0f, -40.0f + 10.0f);
    }
    Flight a(5);
    Flight b(5);
    int parallelFrames = 0;
    int edgeFrames = 0;
    for (int frame = 0; frame < 40; ++frame) {
        SCOPED_TRACE(frame);
        ASSERT_EQ(shared.landscape.Update(), 0);
        ASSERT_EQ(single.landscape.Update(), 0);
        const CLandscape& p = shared.landscape;
        const CLandscape& q = single.landscape;
        ASSERT_FALSE(p.m_hitBudget);
        ASSERT_EQ(p.m_splitSteps, q.m_splitSteps);
        ASSERT_EQ(p.m_mergeSteps, q.m_mergeSteps);
        ASSERT_EQ(p.m_splitCount, q.m_splitCount);
        ASSERT_EQ(p.m_mergeCount, q.m_mergeCount);
        ASSERT_EQ(p.m_maxSplitPriority, q.m_maxSplitPriority);
        ASSERT_EQ(p.m_minMergePriority, q.m_minMergePriority);
        ASSERT_EQ(p.m_trianglesRendered, q.m_trianglesRendered);
        const std::size_t bytes =
            static_cast<std::size_t>(p.m_trianglesRendered) * 3 * sizeof(LandscapeVertex);
        ASSERT_EQ(std::memcmp(VertexData(p), VertexData(q), bytes), 0);
        // Triangles that need no clipping come first, the others after them.
        int k = 0;
        while (k < p.m_trianglesRendered && WhollyInside(p, k)) {
            ++k;
        }
        edgeFrames += k > 0 && k < p.m_trianglesRendered ? 1 : 0;
        for (; k < p.m_trianglesRendered; ++k) {
            ASSERT_FALSE(WhollyInside(p, k)) << "triangle " << k << " needs no clipping but follows one that does";
        }
        // Enough leaves for several chunks of every pass.
        parallelFrames += p.m_splitCount > 8192 ? 1 : 0;
        a.Step(shared, frame);
        b.Step(single, frame);
    }
    EXPECT_GT(parallelFrames, 10);
    EXPECT_GT(edgeFrames, 10);
    CheckWatertight(shared.landscape, CheckMesh(shared.landscape));
}

// The four-lane priority computation against the one-triangle one, bit for
// bit, over random triangles (roots, finest nodes, culled ones, and the
// camera on a corner, where the bound is unbounded) and random views.
TEST(CLandscapeParallel, FourLanePrioritiesMatchOneByOne)
{
    constexpr int kSize = 33;
    Scene s(RoughWindow(kSize, kSize, 3), kSize, kSize);
    CLandscape& l = s.landscape;
    ASSERT_EQ(l.Initialise(), 0);
    l.m_originX = -7.0f;
    l.m_originZ = 12.5f;
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> coord(0, kSize - 1);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    RoamTriangle batch[4];
    RoamTriangle single[4];
    int visible = 0;
    int inside = 0;
    int culled = 0;
    int unbounded = 0;
    for (int round = 0; round < 3000; ++round) {
        if (round % 50 == 0) {
            s.Place(l.m_originX + unit(rng) * kSize, unit(rng) * 900.0f - 100.0f,
                    l.m_originZ + unit(rng) * kSize - 20.0f, static_cast<int>(rng() % 72));
            l.ExtractFrustum();
            l.ReadTransforms();
        }
        const int count = 1 + static_cast<int>(rng() % 4);
        for (RoamTriangle& t : batch) {
            t = RoamTriangle{};
        }
        for (int k = 0; k < count; ++k) {
            RoamTriangle& t = batch[k];
            t.x0 = coord(rng), t.z0 = coord(rng), t.h0 = l.Sample(t.x0, t.z0);
            t.x1 = coord(rng), t.z1 = coord(rng), t.h1 = l.Sample(t.x1, t.z1);
            t.x2 = coord(rng), t.z2 = coord(rng), t.h2 = l.Sample(t.x2, t.z2);
            t.id = static_cast<std::int32_t>(rng() % 6);
            t.errorTable = l.m_roots[rng() % 2].errorTable;
            t.nodeIndex = static_cast<std::int32_t>(rng() % (l.m_internalNodeCount + 8));
            if (round % 97 == 0) {
                // The camera straight above corner 0 with no error height:
                // every depth term of the bound is zero.
                s.camera.Reset();
                s.camera.SetPosition(D3DXVECTOR3(t.x0 + l.m_originX, t.h0 * l.m_heightScale,
                                                 t.z0 + l.m_originZ));
                s.camera.Apply();
                l.ExtractFrustum();
                l.ReadTransforms();
            }
            single[k] = t;
        }
        RoamTriangle* pointers[4] = {&batch[0], &batch[1], &batch[2], &batch[3]};
        l.ComputePriorities(pointers, count);
        for (int k = 0; k < count; ++k) {
            l.ComputePriority(&single[k]);
            std::uint32_t a = 0;
            std::uint32_t b = 0;
            std::memcpy(&a, &batch[k].priority, sizeof a);
            std::memcpy(&b, &single[k].priority, sizeof b);
            ASSERT_EQ(a, b) << "round " << round << " lane " << k << ": " << batch[k].priority
                            << " vs " << single[k].priority;
            ASSERT_EQ(batch[k].visibleStamp, single[k].visibleStamp);
            visible += (single[k].visibleStamp & 1u) != 0 ? 1 : 0;
            inside += (single[k].visibleStamp & 2u) != 0 ? 1 : 0;
            culled += (single[k].visibleStamp & 1u) == 0 ? 1 : 0;
            unbounded += single[k].priority == FLT_MAX ? 1 : 0;
        }
        for (int k = count; k < 4; ++k) {
            EXPECT_EQ(batch[k].priority, 0.0f) << "a lane beyond count was written";
        }
    }
    EXPECT_GT(visible, 100);
    EXPECT_GT(inside, 0);
    EXPECT_GT(culled, 100);
    EXPECT_GT(unbounded, 0);
}

TEST(CLandscapeParallel, TwoLandscapesUpdateOnTwoThreadsAtOnce)
{
    constexpr int kSize = 129;
    auto fly = [](std::uint32_t seed) {
        const auto window = RoughWindow(kSize, kSize, seed);
        Scene s(window, kSize, kSize);
        ASSERT_EQ(s.landscape.Initialise(), 0);
        s.Place(kSize / 2.0f, 450.0f, 5.0f);
        Flight flight(seed);
        for (int frame = 0; frame < 25; ++frame) {
            ASSERT_EQ(s.landscape.Update(), 0);
            flight.Step(s, frame);
        }
        CheckMesh(s.landscape);
        s.landscape.Destroy();
        EXPECT_EQ(s.device.LiveObjects(), 0);
    };
    std::thread other(fly, 21u);
    fly(22u);
    other.join();
}

// Windows this large build the second root's error table on a thread of its
// own: both tables keep every node at least as large as its children, and a
// second build gives the same bits.
TEST(CLandscapeParallel, ErrorTablesOfALargeWindowBuiltOnTwoThreads)
{
    constexpr int kSize = 513;
    const auto window = RoughWindow(kSize, kSize, 21);
    Scene a(window, kSize, kSize);
    Scene b(window, kSize, kSize);
    ASSERT_EQ(a.landscape.Initialise(), 0);
    ASSERT_EQ(b.landscape.Initialise(), 0);
    ASSERT_GT(a.landscape.m_internalNodeCount, 1 << 16);
    // The tables hold the nodes with an internal child (CLandscape::NodeError).
    const int n = a.landscape.m_storedNodeCount;
    for (int k = 0; k < 2; ++k) {
        const float* table = a.landscape.m_roots[k].errorTable;
        int violations = 0;
        for (int i = 0; 2 * i + 2 < n; ++i) {
            violations += table[i] < table[2 * i + 1] || table[i] < table[2 * i + 2] ? 1 : 0;
        }
        EXPECT_EQ(violations, 0) << "root " << k;
        EXPECT_GT(table[0], 0.0f) << "root " << k;
        EXPECT_EQ(std::memcmp(table, b.landscape.m_roots[k].errorTable, sizeof(float) * n), 0) << "root " << k;
    }
}
