// Mesh output of CLandscape: face and smoothed vertex normals, and the
// visible leaves written into the vertex buffer and drawn with one call.
#include <algorithm>
#include <cstddef>
#include <cmath>
#include <cstring>
#include <limits>

#include "landscape/CGeomorph.h"
#include "landscape/CLandscape.h"
#include "landscape/LandscapeVertex.h"
#include "terrain/TickCount.h"

namespace {

// Node indices stay below 2^31, so no tree is deeper than 32 levels; the
// depth-first walk holds at most two entries per level.
constexpr int kTreeStackDepth = 80;

using Link = RoamTriangle* RoamTriangle::*;

// Adds the face normals met along `path` from `start`, stopping at the first
// missing link; returns how many were added.
int AddAlong(const RoamTriangle* start, const Link* path, int steps, float sum[3])
{
    int added = 0;
    const RoamTriangle* t = start;
    for (int i = 0; i < steps; ++i) {
        t = i == 0 ? t : t->*path[i];
        if (!t) {
            break;
        }
        sum[0] += t->faceNormal[0];
        sum[1] += t->faceNormal[1];
        sum[2] += t->faceNormal[2];
        ++added;
    }
    return added;
}

// 1 / n for the n face normals a corner can average (at most 1 + 7).
constexpr float kReciprocal[9] = {0.0f,        1.0f,        1.0f / 2.0f, 1.0f / 3.0f, 1.0f / 4.0f,
                                  1.0f / 5.0f, 1.0f / 6.0f, 1.0f / 7.0f, 1.0f / 8.0f};

void Average(const RoamTriangle* t, const float sum[3], int count, float out[3])
{
    const float r = kReciprocal[count + 1];
    out[0] = (t->faceNormal[0] + sum[0]) * r;
    out[1] = (t->faceNormal[1] + sum[1]) * r;
    out[2] = (t->faceNormal[2] + sum[2]) * r;
}

} // namespace

float CLandscape::DrawnLevel(const RoamTriangle* t, int k, std::uint32_t now) const
{
    const std::int32_t level = k == 0 ? t->h0 : (k == 1 ? t->h1 : t->h2);
    return CGeomorph::Height(t->morphFrom[k], static_cast<float>(level), t->morphStart[k], now);
}

float CLandscape::MergedLevel(const RoamTriangle* t, int edge, std::uint32_t now) const
{
    const MergeMorph& merged = MergeMorphOf(t, edge);
    if (!(merged.from == merged.from) || now - merged.start >= CGeomorph::kMilliseconds) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    const float middle = 0.5f * (DrawnLevel(t, edge, now) + DrawnLevel(t, (edge + 1) % 3, now));
    return CGeomorph::Height(merged.from, middle, merged.start, now);
}

void CLandscape::ComputeFaceNormal(RoamTriangle* t) const
{
    const D3DXVECTOR3 p0(float(t->x0), t->h0 * m_heightScale, float(t->z0));
    const D3DXVECTOR3 p1(float(t->x1), t->h1 * m_heightScale, float(t->z1));
    const D3DXVECTOR3 p2(float(t->x2), t->h2 * m_heightScale, float(t->z2));
    const D3DXVECTOR3 a = p0 - p1;
    const D3DXVECTOR3 g = p2 - p1;
    const D3DXVECTOR3 n(a.y * g.z - a.z * g.y, a.z * g.x - a.x * g.z, a.x * g.y - a.y * g.x);
    const D3DXVECTOR3 unit = D3DXVec3Normalize(n);
    t->faceNormal[0] = unit.x;
    t->faceNormal[1] = unit.y;
    t->faceNormal[2] = unit.z;
}

// Each corner's normal is the mean of this face normal and those of the
// neighbours met along fixed link paths around that corner.
void CLandscape::ComputeVertexNormals(RoamTriangle* t) const
{
    static const Link corner0Left[] = {nullptr, &RoamTriangle::baseNeighbour,
                                       &RoamTriangle::leftNeighbour, &RoamTriangle::baseNeighbour};
    static const Link corner0Base[] = {nullptr, &RoamTriangle::rightNeighbour,
                                       &RoamTriangle::baseNeighbour};
    static const Link corner1Right[] = {nullptr, &RoamTriangle::baseNeighbour,
                                        &RoamTriangle::rightNeighbour, &RoamTriangle::baseNeighbour};
    static const Link corner1Base[] = {nullptr, &RoamTriangle::leftNeighbour,
                                       &RoamTriangle::baseNeighbour};
    static const Link apexLeft[] = {nullptr, &RoamTriangle::leftNeighbour};

    float sum[3] = {0, 0, 0};
    int c = AddAlong(t->leftNeighbour, corner0Left, 4, sum);
    c += AddAlong(t->baseNeighbour, corner0Base, 3, sum);
    Average(t, sum, c, t->normal0);

    sum[0] = sum[1] = sum[2] = 0;
    c = AddAlong(t->rightNeighbour, corner1Right, 4, sum);
    c += AddAlong(t->baseNeighbour, corner1Base, 3, sum);
    Average(t, sum, c, t->normal1);

    sum[0] = sum[1] = sum[2] = 0;
    c = AddAlong(t->leftNeighbour, apexLeft, 2, sum);
    c += AddAlong(t->rightNeighbour, apexLeft, 1, sum);
    Average(t, sum, c, t->normal2);
}

std::size_t CLandscape::WriteLeaves(std::int32_t begin, std::int32_t end, void* data, std::size_t limit,
                                    std::size_t& edgeCount) const
{
    LandscapeVertex* out = static_cast<LandscapeVertex*>(data);
    LandscapeVertex* back = out + 3 * limit; // edge triangles go below this
    // Texture coordinates x / columns and z / rows, within float rounding.
    const float perColumn = 1.0f / static_cast<float>(m_columns);
    const float perRow = 1.0f / static_cast<float>(m_rows);
    const bool morph = m_geomorph;
    const std::uint32_t now = m_morphNow;
    // World height of corner k: its level times the scale, or under
    // geomorphing the level it is drawn at.
    auto Level = [&](const RoamTriangle* t, int k) {
        if (morph) {
            return DrawnLevel(t, k, now) * m_heightScale;
        }
        return (k == 0 ? t->h0 : k == 1 ? t->h1 : t->h2) * m_heightScale;
    };
    auto put = [&](LandscapeVertex& v, std::int32_t x, std::int32_t z, float y, const float* normal) {
        v = LandscapeVertex{x + m_originX, y,         z + m_originZ,
                            normal[0],     normal[1], normal[2],
                            x * perColumn, z * perRow};
    };
    // The leaves lie at random addresses and the normal averaging follows
    // links up to four steps away: records are fetched in stages ahead of
    // use, the leaf itself first, then its neighbours, then theirs.
    std::size_t count = 0;
    std::size_t edges = 0;
    const std::int32_t n = end;
    RoamTriangle* const* queue = m_splitQueue.get();
    for (std::int32_t j = begin; j < n && count + edges < limit; ++j) {
        if (j + 32 < n) {
            const RoamTriangle* a = queue[j + 32];
            __builtin_prefetch(a);
            __builtin_prefetch(&a->parent);
        }
        if (j + 20 < n) {
            const RoamTriangle* a = queue[j + 20];
            for (const RoamTriangle* m : {a->leftNeighbour, a->rightNeighbour, a->baseNeighbour}) {
                if (m) {
                    __builtin_prefetch(&m->parent);
                }
            }
        }
        if (j + 10 < n) {
            const RoamTriangle* a = queue[j + 10];
            if (const RoamTriangle* m = a->leftNeighbour) {
                if (m->baseNeighbour) __builtin_prefetch(&m->baseNeighbour->parent);
                if (m->leftNeighbour) __builtin_prefetch(&m->leftNeighbour->parent);
            }
            if (const RoamTriangle* m = a->rightNeighbour) {
                if (m->baseNeighbour) __builtin_prefetch(&m->baseNeighbour->parent);
            }
            if (const RoamTriangle* m = a->baseNeighbour) {
                if (m->leftNeighbour) __builtin_prefetch(&m->leftNeighbour->parent);
                if (m->rightNeighbour) __builtin_prefetch(&m->rightNeighbour->parent);
            }
        }
        if (j + 4 < n) {
            const RoamTriangle* a = queue[j + 4];
            const RoamTriangle* l = a->leftNeighbour ? a->leftNeighbour->baseNeighbour : nullptr;
            const RoamTriangle* r = a->rightNeighbour ? a->rightNeighbour->baseNeighbour : nullptr;
            const RoamTriangle* b = a->baseNeighbour;
            for (const RoamTriangle* m :
                 {l ? l->leftNeighbour : nullptr, r ? r->rightNeighbour : nullptr,
                  b && b->rightNeighbour ? b->rightNeighbour->baseNeighbour : nullptr,
                  b && b->leftNeighbour ? b->leftNeighbour->baseNeighbour : nullptr}) {
                if (m) {
                    __builtin_prefetch(&m->parent);
                }
            }
        }
        RoamTriangle* t = queue[j];
        const std::uint32_t where = ClassifyNow(t);
        if ((where & kVisible) == 0) {
            continue;
        }
        ComputeVertexNormals(t);
        // A leaf still showing merged vertices in the middle of its edges is
        // drawn as a fan around the first of them over the polygon of its
        // corners and those vertices; with one in the middle of the base
        // that is the two halves it was split into: (M, corner 0, apex) and
        // (M, apex, corner 1).
        float merged[3] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::quiet_NaN()};
        int pieces = 1;
        if (morph) {
            for (int edge = 0; edge < 3; ++edge) {
                merged[edge] = MergedLevel(t, edge, now);
                pieces += merged[edge] == merged[edge] ? 1 : 0;
            }
        }
        if (count + edges + pieces > limit) {
            break;
        }
        LandscapeVertex* v;
        if ((where & kInside) != 0) {
            v = out;
            out += 3 * pieces;
            count += pieces;
        } else {
            back -= 3 * pieces;
            v = back;
            edges += pieces;
        }
        if (pieces == 1) {
            put(v[0], t->x2, t->z2, Level(t, 2), t->normal2);
            put(v[1], t->x1, t->z1, Level(t, 1), t->normal1);
            put(v[2], t->x0, t->z0, Level(t, 0), t->normal0);
            continue;
        }
        struct Point {
            std::int32_t x, z;
            float y;
            float normal[3];
        };
        const std::int32_t xs[3] = {t->x0, t->x1, t->x2};
        const std::int32_t zs[3] = {t->z0, t->z1, t->z2};
        const float* normals[3] = {t->normal0, t->normal1, t->normal2};
        auto corner = [&](int k) {
            return Point{xs[k], zs[k], Level(t, k), {normals[k][0], normals[k][1], normals[k][2]}};
        };
        auto middle = [&](int edge) {
            const int a = edge;
            const int b = (edge + 1) % 3;
            return Point{(xs[a] + xs[b]) >> 1,
                         (zs[a] + zs[b]) >> 1,
                         merged[edge] * m_heightScale,
                         {0.5f * (normals[a][0] + normals[b][0]), 0.5f * (normals[a][1] + normals[b][1]),
                          0.5f * (normals[a][2] + normals[b][2])}};
        };
        // Corners and middles in drawing order: corner 0, left edge, apex,
        // right edge, corner 1, base; the fan starts at the first middle.
        Point ring[6];
        int size = 0;
        int first = -1;
        const int order[6] = {0, 2, 2, 1, 1, 0}; // corner k / edge k, alternating
        for (int i = 0; i < 6; ++i) {
            if (i % 2 == 0) {
                ring[size++] = corner(order[i]);
            } else if (merged[order[i]] == merged[order[i]]) {
                ring[size++] = middle(order[i]);
            } else {
                continue;
            }
            if (i % 2 == 1 && (first < 0 || order[i] == 0)) {
                first = size - 1;
            }
        }
        for (int i = 1; i + 1 < size; ++i) {
            const Point& p = ring[first];
            const Point& q = ring[(first + i) % size];
            const Point& r = ring[(first + i + 1) % size];
            put(v[0], p.x, p.z, p.y, p.normal);
            put(v[1], q.x, q.z, q.y, q.normal);
            put(v[2], r.x, r.z, r.y, r.normal);
            v += 3;
        }
    }
    edgeCount = edges;
    return count;
}

// A pixel shows the first surface point its ray meets beyond the near
// plane. The mesh is a height field over the window, every leaf running
// clockwise on the screen when seen from above, so D3DCULL_CCW drops
// exactly the faces seen from below. A ray that starts above the surface
// inside the window therefore meets it first from above, on a front face,
// or leaves the window (a rectangle, never re-entered) without meeting it;
// back faces are always hidden behind front ones. The rays start on the
// near plane, within `reach` of the eye: the eye must be inside the window
// and above every leaf near it by that much.
bool CLandscape::BackFacesHidden() const
{
    // A negative height scale would turn the surface upside down.
    if (m_world != D3DXMATRIX(1.0f) || !(m_heightScale >= 0.0f)) {
        return false;
    }
    // Perspective projection: x and y scales and the near distance.
    const float xScale = m_projection[0][0];
    const float yScale = m_projection[1][1];
    const float nearZ = m_projection[2][2] != 0.0f ? -m_projection[3][2] / m_projection[2][2] : 0.0f;
    if (!(xScale > 0.0f && yScale > 0.0f && nearZ > 0.0f && m_projection[2][3] == 1.0f)) {
        return false;
    }
    const float reach = std::sqrt(nearZ * nearZ * (1.0f + 1.0f / (xScale * xScale) + 1.0f / (yScale * yScale))) + 1.0f;
    const D3DXMATRIX inverse = D3DXMatrixInverse(m_view);
    const float x = inverse[3][0] - m_originX;
    const float y = inverse[3][1];
    const float z = inverse[3][2] - m_originZ;
    if (!(x >= reach && z >= reach && x <= static_cast<float>(m_columns - 1) - reach &&
          z <= static_cast<float>(m_rows - 1) - reach && std::isfinite(y) && std::isfinite(reach))) {
        return false;
    }
    const std::int32_t highest = HighestLeafCorner(x - reach, z - reach, x + reach, z + reach);
    return y - reach > static_cast<float>(highest) * m_heightScale;
}

std::int32_t CLandscape::HighestLeafCorner(float x0, float z0, float x1, float z1) const
{
    std::int32_t highest = std::numeric_limits<std::int32_t>::min();
    const RoamTriangle* stack[kTreeStackDepth];
    int top = 0;
    stack[top++] = &m_roots[0];
    stack[top++] = &m_roots[1];
    while (top > 0) {
        const RoamTriangle* t = stack[--top];
        if (static_cast<float>(std::max({t->x0, t->x1, t->x2})) < x0 ||
            static_cast<float>(std::min({t->x0, t->x1, t->x2})) > x1 ||
            static_cast<float>(std::max({t->z0, t->z1, t->z2})) < z0 ||
            static_cast<float>(std::min({t->z0, t->z1, t->z2})) > z1) {
            continue;
        }
        if (!t->leftChild) {
            highest = std::max({highest, t->h0, t->h1, t->h2});
            continue;
        }
        if (top + 2 > kTreeStackDepth) {
            return std::numeric_limits<std::int32_t>::max();
        }
        stack[top++] = t->leftChild;
        stack[top++] = t->rightChild;
    }
    return highest;
}

// Closes up what the chunks of WriteMesh left: the edge runs are set aside
// (last chunk first), the holes below the total of inside triangles are
// filled with inside triangles from above it, and the edge runs go after
// them. Only a few triangles move: those of the holes and the edges.
std::size_t CLandscape::CloseMeshGaps(LandscapeVertex* out, std::int32_t chunks, std::size_t slots,
                                      std::size_t stride)
{
    const MeshChunk* written = m_chunkTriangles.get();
    const std::size_t k = stride;
    std::size_t inside = 0;
    m_edgeScratch.clear();
    for (std::int32_t c = chunks - 1; c >= 0; --c) {
        const std::size_t end = std::min<std::size_t>((static_cast<std::size_t>(c) + 1) * k, slots);
        const LandscapeVertex* from = out + 3 * (end - written[c].edges);
        m_edgeScratch.insert(m_edgeScratch.end(), from, from + 3 * written[c].edges);
        inside += written[c].inside;
    }
    // Holes: chunk h's slots after its inside run, below `inside`. Sources:
    // chunk s's inside triangles at or above `inside`, taken from the top.
    std::int32_t h = 0;
    std::int32_t s = chunks - 1;
    std::size_t holeAt = 0, holeEnd = 0, sourceBegin = 0, sourceEnd = 0;
    for (;;) {
        while (holeAt >= holeEnd && h < chunks) {
            holeAt = static_cast<std::size_t>(h) * k + written[h].inside;
            holeEnd = std::min((static_cast<std::size_t>(h) + 1) * k, inside);
            ++h;
        }
        if (holeAt >= holeEnd) {
            break;
        }
        while (sourceBegin >= sourceEnd && s >= 0) {
            sourceBegin = std::max(static_cast<std::size_t>(s) * k, inside);
            sourceEnd = static_cast<std::size_t>(s) * k + written[s].inside;
            --s;
        }
        if (sourceBegin >= sourceEnd) {
            break; // cannot happen: there are as many sources as holes
        }
        const std::size_t moved = std::min(holeEnd - holeAt, sourceEnd - sourceBegin);
        sourceEnd -= moved;
        std::memcpy(out + 3 * holeAt, out + 3 * sourceEnd, moved * 3 * sizeof(LandscapeVertex));
        holeAt += moved;
    }
    if (!m_edgeScratch.empty()) {
        std::memcpy(out + 3 * inside, m_edgeScratch.data(), m_edgeScratch.size() * sizeof(LandscapeVertex));
    }
    return inside + m_edgeScratch.size() / 3;
}

int CLandscape::WriteMesh()
{
    const std::uint32_t t1 = TickCount();
    void* data = nullptr;
    if (!m_vertexBuffer || m_vertexBuffer->Lock(&data) != D3D_OK || !data) {
        return -1;
    }
    auto* out = static_cast<LandscapeVertex*>(data);
    const std::size_t capacity = m_vertexBuffer->Length() / (3 * sizeof(LandscapeVertex));
    const std::int32_t n = m_splitCount;
    // Triangles wholly inside the frustum come first and those that need
    // clipping after them, so that a rasteriser which clips per batch of
    // vertices clips only the last few batches. Within each group the order
    // only has to be the same with or without the helper thread.
    std::size_t count = 0;
    // Each leaf has one triangle slot, or four under geomorphing (a leaf
    // still showing merged vertices is drawn as one more triangle for each).
    const std::size_t perLeaf = m_geomorph ? 4 : 1;
    if (static_cast<std::size_t>(n) * perLeaf > capacity) {
        // More leaves than room: one pass, the first `capacity` visible ones.
        std::size_t edges = 0;
        count = WriteLeaves(0, n, out, capacity, edges);
        if (edges > 0) {
            std::memmove(out + 3 * count, out + 3 * (capacity - edges), edges * 3 * sizeof(LandscapeVertex));
        }
        count += edges;
    } else {
        // Chunk c writes its triangles into triangle slots [c * stride,
        // c * stride + perLeaf x its leaves), where no other chunk writes:
        // inside ones from the front, edge ones from the back.
        const std::int32_t chunks = (n + kMeshChunk - 1) / kMeshChunk;
        const std::size_t stride = perLeaf * kMeshChunk;
        MeshChunk* written = m_chunkTriangles.get();
        auto body = [&](std::int32_t c) {
            const std::int32_t begin = c * kMeshChunk;
            const std::int32_t end = std::min(begin + kMeshChunk, n);
            written[c].inside = WriteLeaves(begin, end, out + 3 * stride * static_cast<std::size_t>(c),
                                            perLeaf * static_cast<std::size_t>(end - begin), written[c].edges);
        };
        m_worker.ForEach(chunks, body);
        count = CloseMeshGaps(out, chunks, perLeaf * static_cast<std::size_t>(n), stride);
    }
    m_vertexBuffer->Unlock();
    m_trianglesRendered = static_cast<std::int32_t>(count);
    if (m_texture) {
        m_device->SetTexture(0, m_texture);
    }
    // Stage 1 is this landscape's light map or none, never another's.
    if (m_device->CurrentLook() == Look::Enhanced) {
        m_device->SetTexture(1, m_lightMap);
    }
    m_device->SetStreamSource(0, m_vertexBuffer, 0, sizeof(LandscapeVertex));
    m_device->SetFVF(LANDSCAPE_VERTEX_FVF);
    if (count > 0) {
        // Back faces can be left out only while the fill is solid (wireframe
        // shows them) and the cull mode is the one the frame set up.
        std::uint32_t fill = 0;
        std::uint32_t cull = 0;
        const bool skipBackFaces = m_cullHiddenFaces && BackFacesHidden() &&
                                   m_device->GetRenderState(D3DRS_FILLMODE, &fill) == D3D_OK && fill == D3DFILL_SOLID &&
                                   m_device->GetRenderState(D3DRS_CULLMODE, &cull) == D3D_OK && cull == D3DCULL_NONE;
        if (skipBackFaces) {
            m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
        }
        m_device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, static_cast<unsigned>(count));
        if (skipBackFaces) {
            m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        }
    }
    m_drawTime = static_cast<std::int32_t>(TickCount() - t1);
    return 0;
}
