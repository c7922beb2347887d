// The mesh as a whole after random flights, random parameter changes and a
// pool that runs out: every structural invariant after every frame.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "tests/landscape/LandscapeTestSupport.h"

using namespace landscape_test;

namespace {

struct FlightCase {
    int size;
    std::uint32_t seed;
    int frames;
};

void Fly(const FlightCase& c)
{
    Scene s(RoughWindow(c.size, c.size, c.seed), c.size, c.size);
    s.landscape.m_originX = 1000.0f * (c.seed % 3);
    s.landscape.m_originZ = -500.0f * (c.seed % 2);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    std::mt19937 rng(c.seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const float errors[] = {0.5f, 0.05f, 0.01f, 0.002f};
    const std::uint32_t budgets[] = {0, 1, 3, 1000};

    s.camera.SetPosition(D3DXVECTOR3(s.landscape.m_originX + c.size / 2.0f, 400.0f,
                                     s.landscape.m_originZ + c.size / 2.0f));
    for (int frame = 0; frame < c.frames; ++frame) {
        if (frame % 7 == 0) {
            s.landscape.m_minError = errors[rng() % 4];
            s.landscape.m_maxRenderTime = budgets[rng() % 4];
        }
        const float r = unit(rng);
        if (r < 0.3f) {
            s.camera.Turn((unit(rng) - 0.5f) * 1.5f);
        } else if (r < 0.4f) {
            s.camera.Rise((unit(rng) - 0.6f) * 200.0f);
        } else if (r < 0.45f) {
            // A jump elsewhere over (or beside) the window.
            s.camera.SetPosition(D3DXVECTOR3(s.landscape.m_originX + unit(rng) * c.size * 1.4f -
                                                 c.size * 0.2f,
                                             50.0f + unit(rng) * 600.0f,
                                             s.landscape.m_originZ + unit(rng) * c.size));
        }
        s.camera.Advance(unit(rng) * c.size * 0.05f);
        s.camera.Apply();
        ASSERT_EQ(s.landscape.Update(), 0);
        const auto leaves = CheckMesh(s.landscape);
        if (::testing::Test::HasFailure()) {
            FAIL() << "invariant broken after frame " << frame;
        }
        if (frame % 5 == 0) {
            CheckWatertight(s.landscape, leaves);
        }
    }
}

} // namespace

TEST(CLandscapeFlight, RandomFlightsKeepTheMeshSound)
{
    for (const FlightCase c : {FlightCase{129, 1, 60}, FlightCase{257, 2, 40},
                               FlightCase{65, 3, 80}, FlightCase{100, 4, 40}}) {
        SCOPED_TRACE(c.size);
        Fly(c);
        if (HasFailure()) {
            return;
        }
    }
}

TEST(CLandscapeFlight, ForcedSplitsLinkWithoutTJunctions)
{
    // Split single leaves at random, each with its chain of forced splits,
    // then merge everything back.
    Scene s(RoughWindow(65, 65, 11), 65, 65);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(32, 300, -50);
    s.landscape.m_maxRenderTime = 0;
    ASSERT_EQ(s.landscape.Update(), 0);
    std::mt19937 rng(5);
    for (int i = 0; i < 300; ++i) {
        RoamTriangle* t = s.landscape.m_splitQueue[rng() % s.landscape.m_splitCount];
        if (t->nodeIndex < s.landscape.m_internalNodeCount) {
            ASSERT_TRUE(s.landscape.ForceSplit(t));
        }
    }
    CheckMesh(s.landscape);
    const int poolUsed = s.landscape.m_poolUsed;
    EXPECT_GT(poolUsed, 300);
    while (s.landscape.m_mergeCount > 0) {
        s.landscape.MergeTop();
    }
    CheckMesh(s.landscape);
    EXPECT_EQ(s.landscape.m_splitCount, 2);
    EXPECT_EQ(s.landscape.m_poolUsed, 0);
}

TEST(CLandscapeFlight, BorderSplitHasOpenOuterLinks)
{
    Scene s(RoughWindow(17, 17, 12), 17, 17);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(8, 100, -20);
    s.landscape.m_maxRenderTime = 0;
    s.landscape.m_minError = 1e9f; // no split by the loop
    ASSERT_EQ(s.landscape.Update(), 0);
    ASSERT_EQ(s.landscape.m_splitCount, 2);
    RoamTriangle* root = &s.landscape.m_roots[0];
    ASSERT_TRUE(s.landscape.ForceSplit(root));
    // Root 0's children lie on the border: their bases have no neighbour.
    EXPECT_EQ(root->leftChild->baseNeighbour, nullptr);
    EXPECT_EQ(root->rightChild->baseNeighbour, nullptr);
    RoamTriangle* border = root->leftChild;
    ASSERT_TRUE(s.landscape.ForceSplit(border));
    EXPECT_EQ(border->leftChild->rightNeighbour, nullptr);
    EXPECT_EQ(border->rightChild->leftNeighbour, nullptr);
    CheckMesh(s.landscape);
    // Merging the border diamond returns two records and two leaves become one.
    const int used = s.landscape.m_poolUsed;
    const int leaves = s.landscape.m_splitCount;
    ASSERT_TRUE(s.landscape.IsMergeable(border));
    s.landscape.RemoveFromMergeQueue(border);
    s.landscape.PushIfMergeable(border);
    while (s.landscape.m_mergeQueue[0] != border) {
        s.landscape.m_mergeQueue[0]->mergePriority = 1e30f;
        s.landscape.SortMergeQueue();
    }
    s.landscape.MergeTop();
    EXPECT_EQ(s.landscape.m_poolUsed, used - 2);
    EXPECT_EQ(s.landscape.m_splitCount, leaves - 1);
    CheckMesh(s.landscape);
}

TEST(CLandscapeFlight, ExhaustedPoolStopsSplittingWithoutSpinning)
{
    // A 513 x 513 window at a tiny error wants far more leaves than the pool
    // holds: the first frame must end on its own rules, not the budget.
    Scene s(RoughWindow(513, 513, 21), 513, 513);
    s.landscape.m_minError = 1e-6f;
    s.landscape.m_maxRenderTime = 5000;
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(256, 300, 256);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(s.landscape.Update(), 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_TRUE(s.landscape.m_splitRefused);
    EXPECT_FALSE(s.landscape.m_hitBudget);
    EXPECT_LT(seconds, 4.0);
    EXPECT_GE(s.landscape.m_poolUsed, CLandscape::kPoolSize - 200);
    CheckMesh(s.landscape);
    for (int frame = 0; frame < 3; ++frame) {
        s.camera.Turn(0.3f);
        s.camera.Apply();
        ASSERT_EQ(s.landscape.Update(), 0);
        EXPECT_FALSE(s.landscape.m_hitBudget);
    }
    CheckMesh(s.landscape);
}

TEST(CLandscapeFlight, ZeroErrorNeverSplitsFinestTriangles)
{
    // With a minimum error of 0 even priority-0 leaves qualify; finest
    // triangles have no midpoint and must stay whole.
    for (const bool flat : {true, false}) {
        Scene s(flat ? FlatWindow(17, 17, 3) : RoughWindow(17, 17, 8), 17, 17);
        s.landscape.m_minError = 0.0f;
        s.landscape.m_maxRenderTime = 5000;
        ASSERT_EQ(s.landscape.Initialise(), 0);
        s.Place(8, 40, -5);
        for (int frame = 0; frame < 300; ++frame) {
            s.camera.Turn(frame % 2 ? 0.2f : -0.2f);
            s.camera.Apply();
            ASSERT_EQ(s.landscape.Update(), 0);
        }
        const auto leaves = CheckMesh(s.landscape);
        EXPECT_GT(leaves.size(), 2u);
        for (const RoamTriangle* t : leaves) {
            EXPECT_LT(t->nodeIndex, 2 * s.landscape.m_internalNodeCount + 3);
            EXPECT_NE(DoubleArea(t), 0) << "degenerate leaf";
        }
    }
}
