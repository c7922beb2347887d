// Geomorphing: a split vertex drawn from the middle of its edge at the start
// of its morph, halfway at the middle and at its own level at the end; the
// two halves of a split diamond agree on it; corners keep their morphs down
// the tree; without geomorphing nothing moves.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "landscape/CGeomorph.h"
#include "terrain/TickCount.h"
#include "tests/landscape/LandscapeTestSupport.h"

using landscape_test::Scene;

TEST(CGeomorph, HeightMovesEvenlyFromStartToEnd)
{
    constexpr std::uint32_t d = CGeomorph::kMilliseconds;
    const struct {
        float from, to;
        std::uint32_t start, now;
        float expected;
    } cases[] = {
        {10.0f, 30.0f, 1000, 1000, 10.0f},          // start
        {10.0f, 30.0f, 1000, 1000 + d / 2, 20.0f},  // middle
        {10.0f, 30.0f, 1000, 1000 + d / 4, 15.0f},  // a quarter
        {10.0f, 30.0f, 1000, 1000 + d, 30.0f},      // end
        {10.0f, 30.0f, 1000, 1000 + 10 * d, 30.0f}, // long after
        {30.0f, 10.0f, 1000, 1000 + d / 2, 20.0f},  // downwards
        {5.0f, 5.0f, 0, 0, 5.0f},                   // no morph
        {0.0f, 8.0f, 0xFFFFFFFFu - d / 4 + 1, d / 4, 4.0f}, // across the tick counter's wrap
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(CGeomorph::Height(c.from, c.to, c.start, c.now), c.expected)
            << c.from << "->" << c.to << " at " << c.now - c.start;
}

namespace {

// A 5 x 5 window: flat at level 10 except the middle sample, 90, which the
// first split of the roots adds.
std::vector<std::int32_t> Peak()
{
    std::vector<std::int32_t> w = landscape_test::FlatWindow(5, 5, 10);
    w[2 * 5 + 2] = 90;
    return w;
}

} // namespace

TEST(CGeomorph, SplitVertexMorphsFromItsEdgeMiddleAndBothHalvesAgree)
{
    const std::vector<std::int32_t> window = Peak();
    Scene scene(window, 5, 5);
    CLandscape& l = scene.landscape;
    ASSERT_EQ(l.Initialise(), 0);
    l.m_geomorph = true;
    l.m_morphNow = 5000;
    ASSERT_TRUE(l.ForceSplit(&l.m_roots[0]));
    const RoamTriangle* children[4] = {l.m_roots[0].leftChild, l.m_roots[0].rightChild, l.m_roots[1].leftChild,
                                       l.m_roots[1].rightChild};
    const struct {
        std::uint32_t at;
        float level;
    } times[] = {{5000, 10.0f}, {5000 + CGeomorph::kMilliseconds / 2, 50.0f}, {5000 + CGeomorph::kMilliseconds, 90.0f}};
    for (const auto& when : times)
        for (const RoamTriangle* c : children) {
            ASSERT_NE(c, nullptr);
            ASSERT_EQ(c->x2, 2);
            ASSERT_EQ(c->z2, 2);
            EXPECT_FLOAT_EQ(l.DrawnLevel(c, 2, when.at), when.level) << "at " << when.at;
            // The corners the children took over from the roots do not move.
            EXPECT_FLOAT_EQ(l.DrawnLevel(c, 0, when.at), 10.0f);
            EXPECT_FLOAT_EQ(l.DrawnLevel(c, 1, when.at), 10.0f);
        }

    // The mesh is written with the drawn heights (scale 2.5 per level).
    l.m_morphNow = 5000 + CGeomorph::kMilliseconds / 2;
    for (RoamTriangle* c : {l.m_roots[0].leftChild, l.m_roots[0].rightChild, l.m_roots[1].leftChild,
                            l.m_roots[1].rightChild})
        c->visibleStamp = (l.m_frame << 2) | CLandscape::kVisible;
    l.m_cullHiddenFaces = false;
    ASSERT_EQ(l.WriteMesh(), 0);
    void* data = nullptr;
    ASSERT_EQ(l.m_vertexBuffer->Lock(&data), 0);
    const auto* v = static_cast<const LandscapeVertex*>(data);
    int middles = 0;
    for (int i = 0; i < 3 * l.m_trianglesRendered; ++i)
        if (v[i].x == 2.0f && v[i].z == 2.0f) {
            EXPECT_FLOAT_EQ(v[i].y, 50.0f * 2.5f);
            ++middles;
        }
    l.m_vertexBuffer->Unlock();
    EXPECT_EQ(middles, 4);
}

TEST(CGeomorph, ASplitDuringAMorphStartsFromTheEdgeAsDrawnThenAndClassicDoesNotMove)
{
    const std::vector<std::int32_t> window = Peak();
    Scene scene(window, 5, 5);
    CLandscape& l = scene.landscape;
    ASSERT_EQ(l.Initialise(), 0);
    l.m_geomorph = true;
    l.m_morphNow = 0;
    ASSERT_TRUE(l.ForceSplit(&l.m_roots[0]));
    // A quarter into the peak's morph, split a child (its base a root edge,
    // its apex the peak): its children's corner at the peak keeps the peak's
    // morph.
    l.m_morphNow = CGeomorph::kMilliseconds / 4;
    RoamTriangle* child = l.m_roots[0].leftChild;
    ASSERT_TRUE(l.ForceSplit(child));
    const RoamTriangle* grand = child->leftChild;
    ASSERT_NE(grand, nullptr);
    // left child of `child`: (child.c2 = the peak, child.c0, new middle).
    EXPECT_EQ(grand->x0, 2);
    EXPECT_EQ(grand->z0, 2);
    EXPECT_FLOAT_EQ(l.DrawnLevel(grand, 0, CGeomorph::kMilliseconds / 4), 30.0f) << "still morphing, as before";
    // The new vertex lies on the flat border edge: from and to are both 10.
    EXPECT_FLOAT_EQ(l.DrawnLevel(grand, 2, CGeomorph::kMilliseconds / 4), 10.0f);

    // Without geomorphing a split vertex is drawn at its level at once.
    Scene plain(window, 5, 5);
    ASSERT_EQ(plain.landscape.Initialise(), 0);
    plain.landscape.m_morphNow = 100;
    ASSERT_TRUE(plain.landscape.ForceSplit(&plain.landscape.m_roots[0]));
    EXPECT_FLOAT_EQ(plain.landscape.DrawnLevel(plain.landscape.m_roots[0].leftChild, 2, 100), 90.0f);
}

TEST(CGeomorph, AMergedVertexSinksToTheMiddleOfItsBaseBeforeItGoes)
{
    const std::vector<std::int32_t> window = Peak();
    Scene scene(window, 5, 5);
    CLandscape& l = scene.landscape;
    ASSERT_EQ(l.Initialise(), 0);
    l.m_geomorph = true;
    l.m_morphNow = 1000;
    ASSERT_TRUE(l.ForceSplit(&l.m_roots[0]));
    // Merged halfway through its split morph: drawn at 50 then.
    l.m_morphNow = 1000 + CGeomorph::kMilliseconds / 2;
    l.PushIfMergeable(&l.m_roots[0]);
    ASSERT_GT(l.m_mergeCount, 0);
    l.MergeTop();
    ASSERT_EQ(l.m_roots[0].leftChild, nullptr);
    const std::uint32_t merged = l.m_morphNow;
    const struct {
        std::uint32_t after;
        float level; // NaN: gone
    } times[] = {{0, 50.0f}, {CGeomorph::kMilliseconds / 2, 30.0f}, {CGeomorph::kMilliseconds, NAN}};
    for (const RoamTriangle* root : {&l.m_roots[0], &l.m_roots[1]})
        for (const auto& when : times) {
            const float level = l.MergedLevel(root, 0, merged + when.after);
            if (std::isnan(when.level))
                EXPECT_TRUE(std::isnan(level)) << when.after;
            else
                EXPECT_FLOAT_EQ(level, when.level) << when.after;
        }

    // While it sinks, each root is drawn as its two former halves.
    l.m_morphNow = merged + CGeomorph::kMilliseconds / 2;
    for (RoamTriangle* root : {&l.m_roots[0], &l.m_roots[1]})
        root->visibleStamp = (l.m_frame << 2) | CLandscape::kVisible;
    l.m_cullHiddenFaces = false;
    ASSERT_EQ(l.WriteMesh(), 0);
    EXPECT_EQ(l.m_trianglesRendered, 4);
    void* data = nullptr;
    ASSERT_EQ(l.m_vertexBuffer->Lock(&data), 0);
    const auto* v = static_cast<const LandscapeVertex*>(data);
    int middles = 0;
    for (int i = 0; i < 3 * l.m_trianglesRendered; ++i)
        if (v[i].x == 2.0f && v[i].z == 2.0f) {
            EXPECT_FLOAT_EQ(v[i].y, 30.0f * 2.5f) << "drawn in world units";
            ++middles;
        }
    l.m_vertexBuffer->Unlock();
    EXPECT_EQ(middles, 4);
    // A split while it sinks starts from where it is drawn.
    ASSERT_TRUE(l.ForceSplit(&l.m_roots[0]));
    EXPECT_FLOAT_EQ(l.DrawnLevel(l.m_roots[0].leftChild, 2, l.m_morphNow), 30.0f);
    EXPECT_TRUE(std::isnan(l.MergedLevel(&l.m_roots[0], 0, l.m_morphNow))) << "a split leaf shows no merged vertex";
    // Without geomorphing a merge leaves nothing behind.
    l.m_geomorph = false;
    l.PushIfMergeable(&l.m_roots[0]);
    l.MergeTop();
    EXPECT_TRUE(std::isnan(l.MergedLevel(&l.m_roots[0], 0, l.m_morphNow)));
}

TEST(CGeomorph, RecordsReusedSoonAfterAMergeShowOnlyTheVerticesStillSinking)
{
    const std::vector<std::int32_t> window = landscape_test::RoughWindow(9, 9, 3);
    Scene scene(window, 9, 9);
    CLandscape& l = scene.landscape;
    ASSERT_EQ(l.Initialise(), 0);
    l.m_geomorph = true;
    l.m_morphNow = 1000;
    ASSERT_TRUE(l.ForceSplit(&l.m_roots[0]));
    // Both halves of the roots' first diamond split and merge back: each
    // then shows the merged vertex for a while.
    const auto splitAndMerge = [&l](RoamTriangle* t) {
        ASSERT_TRUE(l.ForceSplit(t));
        l.PushIfMergeable(t);
        while (l.m_mergeCount > 0 && t->leftChild != nullptr)
            l.MergeTop();
        ASSERT_EQ(t->leftChild, nullptr);
    };
    for (RoamTriangle* root : {&l.m_roots[0], &l.m_roots[1]})
        for (RoamTriangle* child : {root->leftChild, root->rightChild})
            if (child->leftChild == nullptr)
                splitAndMerge(child);
    float shown[2][2];
    for (int r = 0; r < 2; ++r) {
        shown[r][0] = l.MergedLevel(l.m_roots[r].leftChild, 0, l.m_morphNow);
        shown[r][1] = l.MergedLevel(l.m_roots[r].rightChild, 0, l.m_morphNow);
    }
    ASSERT_FALSE(std::isnan(shown[0][0]));
    // The roots' diamond merges too, freeing those records, and splits again
    // at once: the vertices in the middle of the children's bases are still
    // sinking and come back where they were; nothing else shows.
    l.PushIfMergeable(&l.m_roots[0]);
    while (l.m_mergeCount > 0 && l.m_roots[0].leftChild != nullptr)
        l.MergeTop();
    ASSERT_EQ(l.m_roots[0].leftChild, nullptr);
    ASSERT_TRUE(l.ForceSplit(&l.m_roots[0]));
    for (int r = 0; r < 2; ++r) {
        const RoamTriangle* children[2] = {l.m_roots[r].leftChild, l.m_roots[r].rightChild};
        for (int c = 0; c < 2; ++c) {
            const float level = l.MergedLevel(children[c], 0, l.m_morphNow);
            if (std::isnan(shown[r][c]))
                EXPECT_TRUE(std::isnan(level)) << r << " " << c;
            else
                EXPECT_FLOAT_EQ(level, shown[r][c]) << r << " " << c;
            for (int edge : {1, 2})
                EXPECT_TRUE(std::isnan(l.MergedLevel(children[c], edge, l.m_morphNow))) << r << " " << c;
        }
    }
}

namespace {

// Writes the mesh with every leaf visible and checks that each grid point
// drawn is drawn at one height in every triangle that has it; returns the
// number of triangles, or -1 when the mesh could not be written.
int ExpectOneHeightPerPoint(CLandscape& l)
{
    for (std::int32_t i = 0; i < l.m_splitCount; ++i)
        l.m_splitQueue[i]->visibleStamp = (l.m_frame << 2) | CLandscape::kVisible;
    l.m_cullHiddenFaces = false;
    if (l.WriteMesh() != 0)
        return -1;
    void* data = nullptr;
    if (l.m_vertexBuffer->Lock(&data) != 0)
        return -1;
    const auto* v = static_cast<const LandscapeVertex*>(data);
    std::map<std::pair<float, float>, float> heights;
    for (int i = 0; i < 3 * l.m_trianglesRendered; ++i) {
        const auto [it, added] = heights.emplace(std::make_pair(v[i].x, v[i].z), v[i].y);
        if (!added) {
            EXPECT_FLOAT_EQ(v[i].y, it->second) << "at " << v[i].x << ", " << v[i].z << " now " << l.m_morphNow;
        }
    }
    l.m_vertexBuffer->Unlock();
    return l.m_trianglesRendered;
}

} // namespace

TEST(CGeomorph, AVertexSinkingOnAChildsBaseKeepsSinkingWhenTheParentMerges)
{
    const std::vector<std::int32_t> window = landscape_test::RoughWindow(9, 9, 11);
    Scene scene(window, 9, 9);
    CLandscape& l = scene.landscape;
    ASSERT_EQ(l.Initialise(), 0);
    l.m_geomorph = true;
    l.m_morphNow = 1000;
    ASSERT_TRUE(l.ForceSplit(&l.m_roots[0]));
    RoamTriangle* parent = l.m_roots[0].leftChild;
    ASSERT_TRUE(l.ForceSplit(parent));
    // The parent's left child has the inner edge (middle of the root's base,
    // apex of the root) as its base, shared with a child of its neighbour.
    RoamTriangle* child = parent->leftChild;
    ASSERT_TRUE(l.ForceSplit(child));
    RoamTriangle* across = child->baseNeighbour;
    ASSERT_NE(across, nullptr);
    l.m_morphNow += CGeomorph::kMilliseconds / 4;
    l.PushIfMergeable(child);
    while (l.m_mergeCount > 0 && child->leftChild != nullptr)
        l.MergeTop();
    ASSERT_EQ(child->leftChild, nullptr);
    ASSERT_EQ(across->leftChild, nullptr);
    ASSERT_GT(ExpectOneHeightPerPoint(l), 0);

    // A quarter into its sinking, the parent merges: the vertex in the
    // middle of its left edge goes on from where it is drawn.
    l.m_morphNow += CGeomorph::kMilliseconds / 4;
    const float before = l.MergedLevel(child, 0, l.m_morphNow);
    ASSERT_FALSE(std::isnan(before));
    l.PushIfMergeable(parent);
    while (l.m_mergeCount > 0 && parent->leftChild != nullptr)
        l.MergeTop();
    ASSERT_EQ(parent->leftChild, nullptr);
    EXPECT_FLOAT_EQ(l.MergedLevel(parent, 2, l.m_morphNow), before) << "no jump at the merge";
    // The leaf on the other side shows it at the same height until it is
    // gone, and both leaves are drawn with it (one more triangle each).
    const RoamTriangle* other = across->parent != nullptr && across->parent->leftChild == nullptr ? across->parent
                                                                                                  : across;
    const int otherEdge = other == across ? 0 : 1;
    for (std::uint32_t step : {0u, CGeomorph::kMilliseconds / 4, CGeomorph::kMilliseconds / 2}) {
        const std::uint32_t at = l.m_morphNow + step;
        EXPECT_FLOAT_EQ(l.MergedLevel(parent, 2, at), l.MergedLevel(other, otherEdge, at)) << step;
    }
    EXPECT_TRUE(std::isnan(l.MergedLevel(parent, 2, l.m_morphNow + 3 * CGeomorph::kMilliseconds / 4)));
    const int drawn = ExpectOneHeightPerPoint(l);
    l.m_morphNow += CGeomorph::kMilliseconds;
    EXPECT_EQ(ExpectOneHeightPerPoint(l), drawn - 3) << "the merged vertices gone";
}

TEST(CGeomorph, EverySharedVertexIsDrawnAtOneHeightThroughSplitsAndMerges)
{
    const std::vector<std::int32_t> window = landscape_test::RoughWindow(33, 33, 7);
    Scene scene(window, 33, 33);
    CLandscape& l = scene.landscape;
    ASSERT_EQ(l.Initialise(), 0);
    l.m_geomorph = true;
    l.m_morphNow = 4000;
    ASSERT_TRUE(l.ForceSplit(&l.m_roots[0]));
    std::mt19937 random(12345);
    for (int step = 0; step < 400; ++step) {
        l.m_morphNow += CGeomorph::kMilliseconds / CGeomorph::kMinFrames;
        RoamTriangle* leaf = l.m_splitQueue[random() % static_cast<std::uint32_t>(l.m_splitCount)];
        // Only leaves whose base has a grid point in the middle split.
        const bool splittable = (leaf->x0 + leaf->x1) % 2 == 0 && (leaf->z0 + leaf->z1) % 2 == 0;
        if (random() % 3 != 0 || leaf->parent == nullptr) {
            if (splittable)
                l.ForceSplit(leaf);
        } else {
            l.PushIfMergeable(leaf->parent);
            for (int k = 0; k < 2 && l.m_mergeCount > 0; ++k)
                l.MergeTop();
        }
        if (step % 8 == 0) {
            ASSERT_GT(ExpectOneHeightPerPoint(l), 0) << "step " << step;
        }
        if (HasFailure())
            break;
    }
}

TEST(CGeomorph, TheMorphClockStepsAtMostAFrameSharePerUpdate)
{
    const std::vector<std::int32_t> window = landscape_test::RoughWindow(17, 17, 5);
    Scene scene(window, 17, 17);
    CLandscape& l = scene.landscape;
    ASSERT_EQ(l.Initialise(), 0);
    scene.Place(8.0f, 400.0f, -50.0f);
    // A frame long after the last: the clock moves by one share only, so a
    // morph still spans kMinFrames frames.
    l.m_morphNow = 7000;
    l.m_morphTick = TickCount() - 5000;
    ASSERT_EQ(l.Update(), 0);
    EXPECT_EQ(l.m_morphNow, 7000 + CGeomorph::kMilliseconds / CGeomorph::kMinFrames);
    EXPECT_FALSE(l.m_geomorph) << "the recording device draws the classic look";
}

TEST(CGeomorph, TheFirstMeshOfALandscapeIsDrawnSettledAndLaterSplitsMorph)
{
    // Built up from the two roots, the first mesh would otherwise rise from
    // the plane of the window's corners, far below a camera near the ground.
    const std::vector<std::int32_t> window = landscape_test::RoughWindow(65, 65, 3);
    Scene scene(window, 65, 65);
    ASSERT_EQ(scene.device.SetLook(Look::Enhanced), 0);
    CLandscape& l = scene.landscape;
    ASSERT_EQ(l.Initialise(), 0);
    l.m_minError = 0.2f;
    scene.Place(32.0f, 600.0f, 4.0f);
    ASSERT_EQ(l.Update(), 0);
    ASSERT_FALSE(l.m_hitBudget);
    EXPECT_FALSE(l.m_geomorph);
    const auto movingLeaves = [&l]() {
        int moving = 0;
        for (std::int32_t i = 0; i < l.m_splitCount; ++i) {
            const RoamTriangle* t = l.m_splitQueue[i];
            for (int k = 0; k < 3; ++k) {
                const std::int32_t level = k == 0 ? t->h0 : k == 1 ? t->h1 : t->h2;
                moving += l.DrawnLevel(t, k, l.m_morphNow) != static_cast<float>(level) ? 1 : 0;
            }
        }
        return moving;
    };
    EXPECT_EQ(movingLeaves(), 0) << "every vertex of the first mesh at its own level";
    // Closer to the ground the mesh refines further: those splits morph.
    scene.Place(32.0f, 320.0f, 20.0f);
    l.m_morphTick = TickCount();
    ASSERT_EQ(l.Update(), 0);
    EXPECT_TRUE(l.m_geomorph);
    EXPECT_GT(movingLeaves(), 0);
}
