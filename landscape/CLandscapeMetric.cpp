// Error metric and culling of CLandscape: the frustum from the device, the
// visibility of a triangle and its split priority.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "landscape/CLandscape.h"

namespace {

struct Point {
    float x, y, z;
};

// (p, 1) times the row-vector matrix m, divided by w.
inline Point TransformCoord(const Point& p, const D3DXMATRIX& m)
{
    Point r{p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0] + m[3][0],
            p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1] + m[3][1],
            p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2] + m[3][2]};
    const float w = p.x * m[0][3] + p.y * m[1][3] + p.z * m[2][3] + m[3][3];
    if (w != 1.0f) {
        r.x /= w;
        r.y /= w;
        r.z /= w;
    }
    return r;
}

inline float PlaneDistance(const float plane[4], const Point& p)
{
    return plane[0] * p.x + plane[1] * p.y + plane[2] * p.z + plane[3];
}

} // namespace

void CLandscape::ExtractFrustum()
{
    D3DXMATRIX view(1.0f);
    D3DXMATRIX projection(1.0f);
    m_device->GetTransform(D3DTS_VIEW, &view);
    m_device->GetTransform(D3DTS_PROJECTION, &projection);
    const D3DXMATRIX k = D3DXMatrixMultiply(view, projection);
    // k[i][j]: row i, column j of the row-vector matrix.
    for (int i = 0; i < 4; ++i) {
        m_frustum[0][i] = k[i][2] + k[i][3]; // near
        m_frustum[1][i] = k[i][3] - k[i][2]; // far
        m_frustum[2][i] = k[i][0] + k[i][3]; // left
        m_frustum[3][i] = k[i][3] - k[i][0]; // right
        m_frustum[4][i] = k[i][3] - k[i][1]; // top
        m_frustum[5][i] = k[i][1] + k[i][3]; // bottom
    }
    for (auto& plane : m_frustum) {
        const D3DXPLANE p = D3DXPlaneNormalize(D3DXPLANE(plane[0], plane[1], plane[2], plane[3]));
        plane[0] = p.x;
        plane[1] = p.y;
        plane[2] = p.z;
        plane[3] = p.w;
    }
}

void CLandscape::ReadTransforms()
{
    m_device->GetTransform(D3DTS_PROJECTION, &m_projection);
    m_device->GetTransform(D3DTS_VIEW, &m_view);
    m_device->GetTransform(D3DTS_WORLD, &m_world);
    m_device->GetViewport(&m_viewport);
}

bool CLandscape::PointInFrustum(float x, float y, float z) const
{
    const Point p{x, y, z};
    for (const auto& plane : m_frustum) {
        if (PlaneDistance(plane, p) < 0.0f) {
            return false;
        }
    }
    return true;
}

namespace {

struct Corners {
    Point c[3];
};

inline Corners WorldCorners(const RoamTriangle* t, float originX, float originZ, float scale)
{
    return Corners{{{t->x0 + originX, t->h0 * scale, t->z0 + originZ},
                    {t->x1 + originX, t->h1 * scale, t->z1 + originZ},
                    {t->x2 + originX, t->h2 * scale, t->z2 + originZ}}};
}

// A triangle is culled only when all three corners lie outside one and the
// same plane: a large triangle spanning the view with every corner outside
// some plane is still (partly) in view.
inline bool Culled(const float (&frustum)[6][4], const Corners& w)
{
    for (const auto& plane : frustum) {
        if (PlaneDistance(plane, w.c[0]) < 0.0f && PlaneDistance(plane, w.c[1]) < 0.0f &&
            PlaneDistance(plane, w.c[2]) < 0.0f) {
            return true;
        }
    }
    return false;
}

// A bound of how far the vertical error e (world units), seen from the
// camera, moves a point of the triangle across the image plane;
// dimensionless. Single precision throughout.
inline float ErrorBound(float e, const D3DXMATRIX& view, const Corners& w)
{
    const float ex = e * view[0][1];
    const float ey = e * view[1][1];
    const float ez = e * view[2][1];
    const Point p0 = TransformCoord(w.c[0], view);
    const Point p1 = TransformCoord(w.c[1], view);
    const Point p2 = TransformCoord(w.c[2], view);
    const float zmin = std::min(std::min(std::fabs(p0.z), p1.z), p2.z);
    const float d = ez * ez + zmin * zmin;
    float nmax = 0.0f;
    for (const Point* p : {&p0, &p1, &p2}) {
        const float a = p->z * ex - p->x * ez;
        const float b = p->z * ey - p->y * ez;
        nmax = std::max(nmax, a * a + b * b);
    }
    const float result = std::sqrt(nmax) * (2.0f / d);
    // All depth terms zero (the camera on the triangle's error line): the
    // distortion is unbounded, so the triangle goes first. Never NaN.
    if (!(result <= FLT_MAX)) {
        return FLT_MAX;
    }
    return result;
}

} // namespace

// Ids 0 and 1 (the roots and pool records 0 and 1) always count as visible.
bool CLandscape::IsVisible(const RoamTriangle* t) const
{
    if (t->id < 2) {
        return true;
    }
    return !Culled(m_frustum, WorldCorners(t, m_originX, m_originZ, m_heightScale));
}

void CLandscape::ComputePriority(RoamTriangle* t) const
{
    const Corners w = WorldCorners(t, m_originX, m_originZ, m_heightScale);
    const bool visible = t->id < 2 || !Culled(m_frustum, w);
    t->visibleStamp = (m_frame << 1) | (visible ? 1u : 0u);
    if (!visible || t->nodeIndex >= m_internalNodeCount || t->nodeIndex < 0) {
        t->priority = 0.0f;
        return;
    }
    t->priority = ErrorBound(t->errorTable[t->nodeIndex] * m_heightScale, m_view, w);
}

float CLandscape::ProjectedError(const RoamTriangle* t) const
{
    if (t->nodeIndex >= m_internalNodeCount || t->nodeIndex < 0) {
        return 0.0f;
    }
    return ErrorBound(t->errorTable[t->nodeIndex] * m_heightScale, m_view,
                      WorldCorners(t, m_originX, m_originZ, m_heightScale));
}
