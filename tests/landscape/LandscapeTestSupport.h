#pragma once
// Helpers for the landscape tests: small generated windows, a camera on a
// recording device, and a checker of the whole mesh's invariants.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "landscape/CLandscape.h"
#include "landscape/LandscapeVertex.h"
#include "render/CCamera.h"
#include "tests/support/CRecordingDevice.h"
#include "tests/support/CRecordingVertexBuffer.h"

namespace landscape_test {

// Seeded rough terrain: a sum of a few sine ripples plus hashed noise,
// grey levels 0..255.
inline std::vector<std::int32_t> RoughWindow(int columns, int rows, std::uint32_t seed)
{
    std::vector<std::int32_t> w(static_cast<std::size_t>(columns) * rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            std::uint32_t h = (c * 73856093u) ^ (r * 19349663u) ^ (seed * 83492791u);
            h ^= h >> 13;
            h *= 0x5bd1e995u;
            h ^= h >> 15;
            const double ripple = 60.0 * std::sin(c * 0.11 + seed) * std::cos(r * 0.07) +
                                  30.0 * std::sin((c + r) * 0.31);
            const double v = 128.0 + ripple + static_cast<int>(h % 41) - 20;
            w[static_cast<std::size_t>(r) * columns + c] =
                static_cast<std::int32_t>(std::fmax(0.0, std::fmin(255.0, v)));
        }
    }
    return w;
}

inline std::vector<std::int32_t> FlatWindow(int columns, int rows, std::int32_t value)
{
    return std::vector<std::int32_t>(static_cast<std::size_t>(columns) * rows, value);
}

// A recording device with a camera whose projection is set, and a landscape
// over `window` on that device.
struct Scene {
    CRecordingDevice device{800, 600};
    CCamera camera;
    CLandscape landscape;

    Scene(const std::vector<std::int32_t>& window, int columns, int rows)
    {
        device.SetRecording(false);
        camera.SetDevice(&device);
        camera.SetupProjection();
        landscape.m_device = &device;
        landscape.SetHeightWindow(rows, window.data(), columns);
    }

    // Camera above (x, z) at `height` world units, looking along +z after
    // `turns` right turns of 5 degrees.
    void Place(float x, float height, float z, int turns = 0)
    {
        camera.Reset();
        camera.SetPosition(D3DXVECTOR3(x, height, z));
        camera.Turn(turns * 0.0872664600610733f);
        camera.Apply();
    }
};

using Corner = std::pair<std::int32_t, std::int32_t>; // (x, z)

inline void Corners(const RoamTriangle* t, Corner c[3])
{
    c[0] = {t->x0, t->z0};
    c[1] = {t->x1, t->z1};
    c[2] = {t->x2, t->z2};
}

// The edge of `t` across the link `link` (base: 0-1, left: 2-0, right: 1-2),
// as an ordered pair of corners.
inline std::pair<Corner, Corner> EdgeAcross(const RoamTriangle* t, const RoamTriangle* n)
{
    Corner c[3];
    Corners(t, c);
    auto edge = [](Corner a, Corner b) { return a < b ? std::make_pair(a, b) : std::make_pair(b, a); };
    if (t->baseNeighbour == n) {
        return edge(c[0], c[1]);
    }
    if (t->leftNeighbour == n) {
        return edge(c[2], c[0]);
    }
    return edge(c[1], c[2]);
}

inline bool OnBorder(Corner a, Corner b, int columns, int rows)
{
    return (a.first == b.first && (a.first == 0 || a.first == columns - 1)) ||
           (a.second == b.second && (a.second == 0 || a.second == rows - 1));
}

inline std::int64_t DoubleArea(const RoamTriangle* t)
{
    return std::int64_t(t->x1 - t->x0) * (t->z2 - t->z0) -
           std::int64_t(t->z1 - t->z0) * (t->x2 - t->x0);
}

// Checks every structural invariant of the started landscape `l`; returns
// the leaves found. Failures are reported through gtest.
inline std::vector<RoamTriangle*> CheckMesh(CLandscape& l)
{
    std::vector<RoamTriangle*> leaves;
    std::vector<RoamTriangle*> inner;
    std::vector<RoamTriangle*> stack = {&l.m_roots[0], &l.m_roots[1]};
    while (!stack.empty()) {
        RoamTriangle* t = stack.back();
        stack.pop_back();
        EXPECT_EQ(t->leftChild == nullptr, t->rightChild == nullptr) << "id " << t->id;
        if (t->leftChild) {
            inner.push_back(t);
            EXPECT_EQ(t->leftChild->parent, t);
            EXPECT_EQ(t->rightChild->parent, t);
            stack.push_back(t->leftChild);
            stack.push_back(t->rightChild);
        } else {
            leaves.push_back(t);
        }
    }

    // Split queue: exactly the leaves, each once, heap-ordered.
    EXPECT_EQ(static_cast<std::size_t>(l.m_splitCount), leaves.size());
    for (RoamTriangle* t : leaves) {
        const bool queued = t->splitIndex >= 0 && t->splitIndex < l.m_splitCount;
        EXPECT_TRUE(queued) << "leaf not queued, id " << t->id;
        if (queued) {
            EXPECT_EQ(l.m_splitQueue[t->splitIndex], t);
        }
    }
    for (RoamTriangle* t : inner) {
        EXPECT_EQ(t->splitIndex, -1) << "inner node queued, id " << t->id;
    }
    for (std::int32_t i = 1; i < l.m_splitCount; ++i) {
        EXPECT_GE(l.m_splitQueue[(i - 1) / 2]->priority, l.m_splitQueue[i]->priority);
    }

    // Merge queue: mergeable diamonds, each once, heap-ordered.
    std::set<const RoamTriangle*> diamonds;
    for (std::int32_t i = 0; i < l.m_mergeCount; ++i) {
        RoamTriangle* t = l.m_mergeQueue[i];
        EXPECT_EQ(t->mergeIndex, i);
        EXPECT_TRUE(l.IsMergeable(t)) << "merge entry not mergeable, id " << t->id;
        EXPECT_TRUE(diamonds.insert(t).second);
        if (t->baseNeighbour) {
            EXPECT_TRUE(diamonds.insert(t->baseNeighbour).second) << "diamond queued twice";
        }
        if (i > 0) {
            EXPECT_LE(l.m_mergeQueue[(i - 1) / 2]->mergePriority, t->mergePriority);
        }
    }

    // Pool: records in the tree (all but the roots) and free records are
    // disjoint and together make up the pool.
    EXPECT_EQ(static_cast<std::size_t>(l.m_poolUsed), leaves.size() + inner.size() - 2);
    std::set<const RoamTriangle*> used;
    for (RoamTriangle* t : leaves) {
        used.insert(t);
    }
    for (RoamTriangle* t : inner) {
        used.insert(t);
    }
    std::set<const RoamTriangle*> freeRecords;
    for (int k = l.m_poolUsed; k < CLandscape::kPoolSize; ++k) {
        const RoamTriangle* r = l.m_freeTable[k];
        EXPECT_TRUE(r >= &l.m_pool[0] && r < &l.m_pool[0] + CLandscape::kPoolSize);
        EXPECT_EQ(used.count(r), 0u) << "free record in the tree, id " << r->id;
        freeRecords.insert(r);
    }
    EXPECT_EQ(freeRecords.size(), static_cast<std::size_t>(CLandscape::kPoolSize - l.m_poolUsed));

    // Links: symmetric between leaves, along a shared edge, or on the border.
    const int columns = l.m_columns;
    const int rows = l.m_rows;
    std::int64_t area = 0;
    const std::int64_t rootSign = DoubleArea(&l.m_roots[0]) >= 0 ? 1 : -1;
    for (RoamTriangle* t : leaves) {
        const std::int64_t a = DoubleArea(t) * rootSign;
        EXPECT_GE(a, 0) << "leaf turned over, id " << t->id;
        area += a;
        RoamTriangle* links[3] = {t->baseNeighbour, t->leftNeighbour, t->rightNeighbour};
        Corner c[3];
        Corners(t, c);
        const std::pair<Corner, Corner> edges[3] = {{c[0], c[1]}, {c[2], c[0]}, {c[1], c[2]}};
        for (int e = 0; e < 3; ++e) {
            RoamTriangle* n = links[e];
            if (!n) {
                EXPECT_TRUE(OnBorder(edges[e].first, edges[e].second, columns, rows))
                    << "open edge inside the window, id " << t->id;
                continue;
            }
            EXPECT_EQ(n->leftChild, nullptr) << "leaf linked to an inner node";
            const bool back =
                n->baseNeighbour == t || n->leftNeighbour == t || n->rightNeighbour == t;
            EXPECT_TRUE(back) << "one-way link from id " << t->id << " to id " << n->id;
            if (back) {
                auto mine = edges[e];
                if (mine.second < mine.first) {
                    std::swap(mine.first, mine.second);
                }
                EXPECT_EQ(mine, EdgeAcross(n, t)) << "T-junction at id " << t->id;
            }
        }
    }
    EXPECT_EQ(area, 2 * std::int64_t(columns - 1) * (rows - 1)) << "gap or overlap";
    return leaves;
}

// Checks the last mesh written: every drawn edge is shared by at most two
// drawn triangles, and an edge between two visible leaves by exactly two
// with identical positions. Windows whose sides are not 2^n + 1 samples have
// zero-area slivers at the finest levels; those are left out.
inline void CheckWatertight(CLandscape& l, const std::vector<RoamTriangle*>& leaves)
{
    auto* vb = static_cast<CRecordingVertexBuffer*>(l.m_vertexBuffer);
    const auto* v = reinterpret_cast<const LandscapeVertex*>(vb->Data());
    using P = std::tuple<float, float, float>;
    std::map<std::pair<P, P>, int> edges;
    for (int t = 0; t < l.m_trianglesRendered; ++t) {
        P p[3];
        for (int k = 0; k < 3; ++k) {
            const LandscapeVertex& q = v[3 * t + k];
            p[k] = P{q.x, q.y, q.z};
        }
        const float area = (std::get<0>(p[1]) - std::get<0>(p[0])) * (std::get<2>(p[2]) - std::get<2>(p[0])) -
                           (std::get<2>(p[1]) - std::get<2>(p[0])) * (std::get<0>(p[2]) - std::get<0>(p[0]));
        if (area == 0.0f) {
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            P a = p[k];
            P b = p[(k + 1) % 3];
            if (b < a) {
                std::swap(a, b);
            }
            ++edges[{a, b}];
        }
    }
    for (const auto& [edge, count] : edges) {
        EXPECT_LE(count, 2);
    }
    for (RoamTriangle* t : leaves) {
        if (!l.IsVisible(t) || DoubleArea(t) == 0) {
            continue;
        }
        for (RoamTriangle* n : {t->baseNeighbour, t->leftNeighbour, t->rightNeighbour}) {
            if (!n || !l.IsVisible(n) || DoubleArea(n) == 0) {
                continue;
            }
            const auto e = EdgeAcross(t, n);
            auto pos = [&](Corner c) {
                return P{c.first + l.m_originX, l.Sample(c.first, c.second) * l.m_heightScale,
                         c.second + l.m_originZ};
            };
            P a = pos(e.first);
            P b = pos(e.second);
            if (b < a) {
                std::swap(a, b);
            }
            const auto it = edges.find({a, b});
            ASSERT_NE(it, edges.end()) << "edge of a drawn leaf missing, id " << t->id;
            EXPECT_EQ(it->second, 2) << "edge not shared, id " << t->id;
        }
    }
}

} // namespace landscape_test
