// Frustum, visibility and priorities of CLandscape.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "tests/landscape/LandscapeTestSupport.h"

using namespace landscape_test;

namespace {

// A pool record (id >= 2) with the given corners (x, h, z) and node 0 of
// root 0's table.
RoamTriangle* Make(CLandscape& l, std::initializer_list<std::int32_t> c)
{
    RoamTriangle* t = l.AllocTriangle();
    while (t->id < 2) {
        t = l.AllocTriangle();
    }
    const std::int32_t* v = c.begin();
    t->x0 = v[0], t->h0 = v[1], t->z0 = v[2];
    t->x1 = v[3], t->h1 = v[4], t->z1 = v[5];
    t->x2 = v[6], t->h2 = v[7], t->z2 = v[8];
    t->errorTable = l.m_roots[0].errorTable;
    t->nodeIndex = 0;
    return t;
}

} // namespace

TEST(CLandscapeMetric, FrustumPlanesFaceInwards)
{
    Scene s(RoughWindow(9, 9, 1), 9, 9);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.Place(0, 0, 0); // at the origin looking along +z
    s.landscape.ExtractFrustum();
    struct Case {
        float x, y, z;
        bool inside;
    };
    for (const Case c : {Case{0, 0, 10, true}, Case{0, 0, 4999, true}, Case{0, 0, 5001, false},
                         Case{0, 0, -5, false}, Case{9.5f, 0, 10, true}, Case{14, 0, 10, false},
                         Case{-14, 0, 10, false}, Case{0, 9.5f, 10, true}, Case{0, 11, 10, false},
                         Case{0, -11, 10, false}}) {
        EXPECT_EQ(s.landscape.PointInFrustum(c.x, c.y, c.z), c.inside)
            << c.x << "," << c.y << "," << c.z;
    }
    for (const auto& plane : s.landscape.m_frustum) {
        EXPECT_NEAR(std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]),
                    1.0f, 1e-5f);
    }
    // A point exactly on a plane counts as inside, and so does a triangle
    // with one corner on a plane and the others outside it.
    for (auto& plane : s.landscape.m_frustum) {
        plane[0] = 1.0f, plane[1] = 0.0f, plane[2] = 0.0f, plane[3] = -4.0f; // x >= 4
    }
    EXPECT_TRUE(s.landscape.PointInFrustum(4.0f, 7.0f, -3.0f));
    EXPECT_FALSE(s.landscape.PointInFrustum(3.999f, 7.0f, -3.0f));
    RoamTriangle* t = s.landscape.AllocTriangle();
    t = s.landscape.AllocTriangle();
    t = s.landscape.AllocTriangle();
    ASSERT_GE(t->id, 2);
    t->x0 = 4, t->z0 = 0, t->x1 = 0, t->z1 = 0, t->x2 = 0, t->z2 = 4;
    EXPECT_TRUE(s.landscape.IsVisible(t));
    t->x0 = 3;
    EXPECT_FALSE(s.landscape.IsVisible(t));
}

TEST(CLandscapeMetric, VisibilityCullsOnlyWhenAllCornersAreOutsideOnePlane)
{
    Scene s(RoughWindow(9, 9, 1), 9, 9);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    s.landscape.m_heightScale = 1.0f;
    s.Place(0, 0, 0);
    s.landscape.ExtractFrustum();
    CLandscape& l = s.landscape;
    struct Case {
        std::initializer_list<std::int32_t> corners;
        bool visible;
        bool inside; // no corner within the margin of any plane
        const char* what;
    };
    const Case cases[] = {
        {{-3, 0, 20, 3, 0, 20, 0, 2, 25}, true, true, "inside"},
        // Spans the view in front of the camera, every corner outside some plane.
        {{-500, 0, 50, 500, 0, 50, 0, -500, 50}, true, false, "spanning"},
        {{-500, -20, 10, 500, -20, 10, 0, 500, 10}, true, false, "spanning vertically"},
        // The near plane lies 1 unit ahead of the camera.
        {{-3, 0, 20, 3, 0, 20, 0, 0, 0}, true, false, "one corner behind the near plane"},
        {{-3, 0, 20, 3, 0, 20, 0, 0, 1}, true, false, "one corner on the near plane"},
        {{-3, 0, 20, 3, 0, 20, 0, 0, 2}, true, true, "one corner a margin inside"},
        {{-5, 0, -20, 5, 0, -20, 0, 0, -30}, false, false, "behind"},
        {{40, 0, 10, 60, 0, 10, 50, 0, 20}, false, false, "right of the view"},
        {{-5, 0, 6000, 5, 0, 6000, 0, 0, 6100}, false, false, "beyond the far plane"},
    };
    for (const Case& c : cases) {
        RoamTriangle* t = Make(l, c.corners);
        EXPECT_EQ(l.IsVisible(t), c.visible) << c.what;
        const std::uint32_t expected = (c.visible ? CLandscape::kVisible : 0u) | (c.inside ? CLandscape::kInside : 0u);
        EXPECT_EQ(l.Classify(t), expected) << c.what;
        l.ComputePriority(t);
        EXPECT_EQ(l.ClassifyNow(t), expected) << c.what;
    }
    // Records with id 0 and 1 always count as visible.
    RoamTriangle* behind = Make(l, {-5, 0, -20, 5, 0, -20, 0, 0, -30});
    behind->id = 1;
    EXPECT_TRUE(l.IsVisible(behind));
    RoamTriangle root = l.m_roots[0];
    root.x0 = -5, root.z0 = -20, root.x1 = 5, root.z1 = -20, root.x2 = 0, root.z2 = -30;
    EXPECT_TRUE(l.IsVisible(&root));
}

TEST(CLandscapeMetric, PriorityOfHiddenAndFinestTrianglesIsZero)
{
    Scene s(RoughWindow(17, 17, 2), 17, 17);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    CLandscape& l = s.landscape;
    s.Place(8, 100, -30);
    l.ExtractFrustum();
    l.ReadTransforms();
    RoamTriangle* behind = Make(l, {0, 10, 0, 16, 10, 0, 8, 10, 8});
    s.Place(8, 100, 100); // now the triangle is behind the camera
    l.ExtractFrustum();
    l.ReadTransforms();
    l.ComputePriority(behind);
    EXPECT_EQ(behind->priority, 0.0f);

    s.Place(8, 30, -30);
    l.ExtractFrustum();
    l.ReadTransforms();
    RoamTriangle* t = Make(l, {0, 10, 0, 16, 10, 0, 8, 10, 8});
    ASSERT_GT(t->errorTable[0], 0.0f);
    ASSERT_TRUE(l.IsVisible(t));
    l.ComputePriority(t);
    EXPECT_GT(t->priority, 0.0f);
    t->nodeIndex = l.m_internalNodeCount;
    l.ComputePriority(t);
    EXPECT_EQ(t->priority, 0.0f);
    t->nodeIndex = l.m_internalNodeCount + 5;
    l.ComputePriority(t);
    EXPECT_EQ(t->priority, 0.0f);
}

TEST(CLandscapeMetric, ErrorGrowsLinearlyWithHeightScaleAndFallsWithDistance)
{
    Scene s(RoughWindow(17, 17, 2), 17, 17);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    CLandscape& l = s.landscape;
    // Camera level with a flat triangle (height 0): the vertical error
    // vector is perpendicular to the line of sight.
    l.m_heightScale = 1.0f;
    RoamTriangle* t = Make(l, {0, 0, 0, 16, 0, 0, 8, 0, 8});
    float previous = FLT_MAX;
    for (const float distance : {10.0f, 40.0f, 160.0f}) {
        s.Place(8, 0, -distance);
        l.ReadTransforms();
        l.m_heightScale = 1.0f;
        const float one = l.ProjectedError(t);
        l.m_heightScale = 2.0f;
        // Corners at height 0 do not move with the scale; only the error does.
        const float two = l.ProjectedError(t);
        EXPECT_NEAR(two, 2.0f * one, 1e-5f * one) << distance;
        EXPECT_LT(one, previous);
        previous = one;
        // e * 2 * |pz| * ... / pz^2 with the nearest depth = distance.
        const float e = t->errorTable[0];
        EXPECT_NEAR(one, 2.0f * e / distance * (distance + 8.0f) / distance, 1e-3f * one)
            << distance;
    }
}

TEST(CLandscapeMetric, PriorityIsNeverNaN)
{
    Scene s(RoughWindow(17, 17, 2), 17, 17);
    ASSERT_EQ(s.landscape.Initialise(), 0);
    CLandscape& l = s.landscape;
    l.m_heightScale = 1.0f;
    // The camera sits on corner 0 and looks level: every depth term is 0.
    RoamTriangle* t = Make(l, {4, 0, 4, 12, 0, 4, 8, 0, 8});
    s.Place(4, 0, 4);
    l.ExtractFrustum();
    l.ReadTransforms();
    const float p = l.ProjectedError(t);
    EXPECT_FALSE(std::isnan(p));
    EXPECT_EQ(p, FLT_MAX);
    l.ComputePriority(t);
    EXPECT_EQ(t->priority, FLT_MAX);
}
