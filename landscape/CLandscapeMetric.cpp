// Error metric and culling of CLandscape: the frustum from the device, the
// visibility of a triangle and its split priority.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

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
// some plane is still (partly) in view. Returns CLandscape's kVisible and
// kInside bits (the culling rule alone; callers add ids below 2).
inline std::uint32_t FrustumClass(const float (&frustum)[6][4], const Corners& w)
{
    bool inside = true;
    for (const auto& plane : frustum) {
        const float d0 = PlaneDistance(plane, w.c[0]);
        const float d1 = PlaneDistance(plane, w.c[1]);
        const float d2 = PlaneDistance(plane, w.c[2]);
        if (d0 < 0.0f && d1 < 0.0f && d2 < 0.0f) {
            return 0u;
        }
        if (!(d0 >= CLandscape::kInsideMargin && d1 >= CLandscape::kInsideMargin &&
              d2 >= CLandscape::kInsideMargin)) {
            inside = false;
        }
    }
    return CLandscape::kVisible | (inside ? CLandscape::kInside : 0u);
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
    return (Classify(t) & kVisible) != 0;
}

std::uint32_t CLandscape::Classify(const RoamTriangle* t) const
{
    const std::uint32_t c = FrustumClass(m_frustum, WorldCorners(t, m_originX, m_originZ, m_heightScale));
    return t->id < 2 ? c | kVisible : c;
}

void CLandscape::ComputePriority(RoamTriangle* t) const
{
    const Corners w = WorldCorners(t, m_originX, m_originZ, m_heightScale);
    std::uint32_t c = FrustumClass(m_frustum, w);
    if (t->id < 2) {
        c |= kVisible;
    }
    const bool visible = (c & kVisible) != 0;
    t->visibleStamp = (m_frame << 2) | c;
    if (!visible || t->nodeIndex >= m_internalNodeCount || t->nodeIndex < 0) {
        t->priority = 0.0f;
        return;
    }
    t->priority = ErrorBound(NodeError(t) * m_heightScale, m_view, w);
}

float CLandscape::ProjectedError(const RoamTriangle* t) const
{
    if (t->nodeIndex >= m_internalNodeCount || t->nodeIndex < 0) {
        return 0.0f;
    }
    return ErrorBound(NodeError(t) * m_heightScale, m_view,
                      WorldCorners(t, m_originX, m_originZ, m_heightScale));
}

#if defined(__SSE2__)

namespace {

// Four lanes of ErrorBound and FrustumClass. Every operation is the scalar one in
// the same order (no fused multiply-add), so each lane matches the scalar
// result bit for bit; std::min(a, b) is _mm_min_ps(b, a) and std::max(a, b)
// is _mm_max_ps(b, a), NaN and signed zeros included.
struct Lanes {
    __m128 x, y, z;
};

inline __m128 Mul(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
inline __m128 Add(__m128 a, __m128 b) { return _mm_add_ps(a, b); }
inline __m128 Sub(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
inline __m128 Splat(float v) { return _mm_set1_ps(v); }
inline __m128 Select(__m128 mask, __m128 a, __m128 b)
{
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

inline __m128 PlaneDistance4(const float plane[4], const Lanes& p)
{
    return Add(Add(Add(Mul(Splat(plane[0]), p.x), Mul(Splat(plane[1]), p.y)),
                   Mul(Splat(plane[2]), p.z)),
               Splat(plane[3]));
}

inline __m128 Column4(const Lanes& p, const D3DXMATRIX& m, int j)
{
    return Add(Add(Add(Mul(p.x, Splat(m[0][j])), Mul(p.y, Splat(m[1][j]))), Mul(p.z, Splat(m[2][j]))),
               Splat(m[3][j]));
}

inline Lanes TransformCoord4(const Lanes& p, const D3DXMATRIX& m)
{
    Lanes r{Column4(p, m, 0), Column4(p, m, 1), Column4(p, m, 2)};
    const __m128 w = Column4(p, m, 3);
    const __m128 divide = _mm_cmpneq_ps(w, Splat(1.0f));
    // A view matrix gives w = 1 exactly for finite points: no division.
    if (_mm_movemask_ps(divide) == 0) {
        return r;
    }
    r.x = Select(divide, _mm_div_ps(r.x, w), r.x);
    r.y = Select(divide, _mm_div_ps(r.y, w), r.y);
    r.z = Select(divide, _mm_div_ps(r.z, w), r.z);
    return r;
}

} // namespace

// The nine corner fields lead the record, x0 h0 z0 x1 h1 z1 x2 h2 z2, and
// are read as three vectors of four.
static_assert(offsetof(RoamTriangle, x0) == 0 && offsetof(RoamTriangle, z2) == 32,
              "corner fields must lead RoamTriangle");

void CLandscape::ComputePriorities(RoamTriangle* const* t, int count) const
{
    // Corners go from the records to lanes in registers (loaded whole and
    // transposed): scalar stores read back as vectors would stall.
    const RoamTriangle* r[4];
    float error[4];
    bool internal[4] = {false, false, false, false};
    for (int k = 0; k < 4; ++k) {
        r[k] = t[k < count ? k : 0];
        internal[k] = r[k]->nodeIndex >= 0 && r[k]->nodeIndex < m_internalNodeCount;
        error[k] = internal[k] ? NodeError(r[k]) * m_heightScale : 0.0f;
    }
    __m128 f[4][3];
    for (int k = 0; k < 4; ++k) {
        const auto* fields = reinterpret_cast<const __m128i*>(r[k]);
        for (int q = 0; q < 3; ++q) {
            f[k][q] = _mm_cvtepi32_ps(_mm_load_si128(fields + q));
        }
    }
    // After the transposes: f[0][0] x0, f[1][0] h0, f[2][0] z0, f[3][0] x1,
    // f[0][1] h1, f[1][1] z1, f[2][1] x2, f[3][1] h2, f[0][2] z2 of the lanes.
    for (int q = 0; q < 3; ++q) {
        _MM_TRANSPOSE4_PS(f[0][q], f[1][q], f[2][q], f[3][q]);
    }
    const __m128 originX = Splat(m_originX);
    const __m128 originZ = Splat(m_originZ);
    const __m128 scale = Splat(m_heightScale);
    Lanes w[3];
    w[0] = Lanes{Add(f[0][0], originX), Mul(f[1][0], scale), Add(f[2][0], originZ)};
    w[1] = Lanes{Add(f[3][0], originX), Mul(f[0][1], scale), Add(f[1][1], originZ)};
    w[2] = Lanes{Add(f[2][1], originX), Mul(f[3][1], scale), Add(f[0][2], originZ)};
    const __m128 zero = _mm_setzero_ps();
    const __m128 margin = Splat(kInsideMargin);
    __m128 culled = zero;
    __m128 inside = _mm_cmpeq_ps(zero, zero);
    for (const auto& plane : m_frustum) {
        const __m128 d0 = PlaneDistance4(plane, w[0]);
        const __m128 d1 = PlaneDistance4(plane, w[1]);
        const __m128 d2 = PlaneDistance4(plane, w[2]);
        const __m128 out = _mm_and_ps(_mm_and_ps(_mm_cmplt_ps(d0, zero), _mm_cmplt_ps(d1, zero)),
                                      _mm_cmplt_ps(d2, zero));
        culled = _mm_or_ps(culled, out);
        inside = _mm_and_ps(inside, _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(d0, margin), _mm_cmpge_ps(d1, margin)),
                                               _mm_cmpge_ps(d2, margin)));
    }

    const __m128 e = _mm_setr_ps(error[0], error[1], error[2], error[3]);
    const __m128 ex = Mul(e, Splat(m_view[0][1]));
    const __m128 ey = Mul(e, Splat(m_view[1][1]));
    const __m128 ez = Mul(e, Splat(m_view[2][1]));
    const Lanes p[3] = {TransformCoord4(w[0], m_view), TransformCoord4(w[1], m_view),
                        TransformCoord4(w[2], m_view)};
    const __m128 absZ0 = _mm_andnot_ps(Splat(-0.0f), p[0].z);
    const __m128 zmin = _mm_min_ps(p[2].z, _mm_min_ps(p[1].z, absZ0));
    const __m128 d = Add(Mul(ez, ez), Mul(zmin, zmin));
    __m128 nmax = zero;
    for (const Lanes& q : p) {
        const __m128 a = Sub(Mul(q.z, ex), Mul(q.x, ez));
        const __m128 b = Sub(Mul(q.z, ey), Mul(q.y, ez));
        nmax = _mm_max_ps(Add(Mul(a, a), Mul(b, b)), nmax);
    }
    __m128 result = Mul(_mm_sqrt_ps(nmax), _mm_div_ps(Splat(2.0f), d));
    result = Select(_mm_cmple_ps(result, Splat(FLT_MAX)), result, Splat(FLT_MAX));

    alignas(16) float priority[4];
    alignas(16) std::int32_t outside[4];
    alignas(16) std::int32_t within[4];
    _mm_store_ps(priority, result);
    _mm_store_si128(reinterpret_cast<__m128i*>(outside), _mm_castps_si128(culled));
    _mm_store_si128(reinterpret_cast<__m128i*>(within), _mm_castps_si128(_mm_andnot_ps(culled, inside)));
    for (int k = 0; k < count; ++k) {
        RoamTriangle* r = t[k];
        const bool visible = r->id < 2 || outside[k] == 0;
        r->visibleStamp = (m_frame << 2) | (within[k] != 0 ? kInside : 0u) | (visible ? kVisible : 0u);
        r->priority = visible && internal[k] ? priority[k] : 0.0f;
    }
}

#else

void CLandscape::ComputePriorities(RoamTriangle* const* t, int count) const
{
    for (int k = 0; k < count; ++k) {
        ComputePriority(t[k]);
    }
}

#endif
