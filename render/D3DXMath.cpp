#include "render/D3DXMath.h"

#include <cmath>
#include <glm/gtc/matrix_transform.hpp>

// GLM's explicit left-handed, depth 0..1 functions produce the same 16 floats
// as the row-vector library functions of the same names.

D3DXMATRIX D3DXMatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar)
{
    return glm::perspectiveLH_ZO(fovY, aspect, zNear, zFar);
}

D3DXMATRIX D3DXMatrixLookAtLH(const D3DXVECTOR3& eye, const D3DXVECTOR3& at, const D3DXVECTOR3& up)
{
    return glm::lookAtLH(eye, at, up);
}

D3DXMATRIX D3DXMatrixRotationAxis(const D3DXVECTOR3& axis, float angle)
{
    return glm::rotate(glm::mat4(1.0f), angle, D3DXVec3Normalize(axis));
}

D3DXMATRIX D3DXMatrixMultiply(const D3DXMATRIX& a, const D3DXMATRIX& b) { return b * a; }

D3DXMATRIX D3DXMatrixInverse(const D3DXMATRIX& m) { return glm::inverse(m); }

D3DXVECTOR3 D3DXVec3TransformCoord(const D3DXVECTOR3& v, const D3DXMATRIX& m)
{
    const glm::vec4 r = m * glm::vec4(v, 1.0f);
    return glm::vec3(r) / r.w;
}

D3DXVECTOR3 D3DXVec3Normalize(const D3DXVECTOR3& v)
{
    const float len = glm::length(v);
    return len > 0.0f ? v / len : glm::vec3(0.0f);
}

D3DXPLANE D3DXPlaneNormalize(const D3DXPLANE& p)
{
    const float len = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    return len > 0.0f ? p / len : glm::vec4(0.0f);
}
