#include "render/CCamera.h"

#include <algorithm>
#include <cmath>

namespace {

const D3DXVECTOR3 kWorldUp(0.0f, 1.0f, 0.0f);

// Each product is rounded to float before it is added.
void MoveAlong(D3DXVECTOR3& position, const D3DXVECTOR3& axis, float distance)
{
    position.x += axis.x * distance;
    position.y += axis.y * distance;
    position.z += axis.z * distance;
}

D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b)
{
    return D3DXVECTOR3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

} // namespace

CCamera::CCamera() { Reset(); }

void CCamera::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_position = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    m_look = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    m_right = D3DXVECTOR3(1.0f, 0.0f, 0.0f);
    m_up = D3DXVECTOR3(0.0f, 1.0f, 0.0f);
    m_yaw = m_pitch = m_roll = 0.0f;
    m_levelYaw = false;
    m_view = D3DXMATRIX(1.0f);
}

void CCamera::SetDevice(IDevice* device)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_device = device;
}

void CCamera::SetPosition(const D3DXVECTOR3& position)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_position = position;
    m_dirty = true;
}

void CCamera::Advance(float distance)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    MoveAlong(m_position, m_look, distance);
    m_dirty = true;
}

void CCamera::Strafe(float distance)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    MoveAlong(m_position, m_right, distance);
    m_dirty = true;
}

void CCamera::Rise(float distance)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    MoveAlong(m_position, m_up, distance);
    m_dirty = true;
}

void CCamera::Turn(float angle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_yaw += angle;
    m_dirty = true;
}

float CCamera::Pitch(float angle, float limit)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const float elevation = std::asin(std::clamp(m_look.y, -1.0f, 1.0f)) - m_pitch;
    // Positive pitch lowers the elevation.
    const float wanted = std::clamp(elevation - angle, -limit, limit);
    const float taken = elevation - wanted;
    if (taken != 0.0f) {
        m_pitch += taken;
        m_levelYaw = true;
        m_dirty = true;
    }
    return taken;
}

float CCamera::Elevation() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::asin(std::clamp(m_look.y, -1.0f, 1.0f)) - m_pitch;
}

void CCamera::SetHeight(float y)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_position.y = y;
    m_dirty = true;
}

void CCamera::Apply()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_dirty) {
        const D3DXMATRIX pitch = D3DXMatrixRotationAxis(m_right, m_pitch);
        const D3DXMATRIX yaw = D3DXMatrixRotationAxis(m_levelYaw ? kWorldUp : m_up, m_yaw);
        const D3DXMATRIX roll = D3DXMatrixRotationAxis(m_look, m_roll);
        D3DXMATRIX m;
        if (m_levelYaw) {
            // Rolled, pitched about the unchanged right vector, then yawed
            // about the vertical: the right vector stays horizontal.
            m = D3DXMatrixMultiply(pitch, yaw);
        } else {
            // Rolled first, then yawed, then pitched.
            m = D3DXMatrixMultiply(yaw, pitch);
        }
        m = D3DXMatrixMultiply(roll, m);

        m_right = D3DXVec3TransformCoord(m_right, m);
        m_up = D3DXVec3TransformCoord(m_up, m);
        m_look = Cross(m_right, m_up);
        // Rounding drifts the basis away from orthogonal over many turns.
        if (std::fabs(glm::dot(m_right, m_up)) > 0.01f) {
            m_up = Cross(m_look, m_right);
        }
        if (m_levelYaw) {
            // Rounding would tilt the horizon over many frames.
            m_right.y = 0.0f;
            m_right = D3DXVec3Normalize(m_right);
            m_look = D3DXVec3Normalize(Cross(m_right, m_up));
            m_up = Cross(m_look, m_right);
        }
        m_right = D3DXVec3Normalize(m_right);
        m_up = D3DXVec3Normalize(m_up);
        m_look = D3DXVec3Normalize(m_look);

        const D3DXVECTOR3& r = m_right;
        const D3DXVECTOR3& u = m_up;
        const D3DXVECTOR3& l = m_look;
        D3DXMATRIX& v = m_view;
        MatrixElement(v, 1, 1) = r.x;
        MatrixElement(v, 1, 2) = u.x;
        MatrixElement(v, 1, 3) = l.x;
        MatrixElement(v, 1, 4) = 0.0f;
        MatrixElement(v, 2, 1) = r.y;
        MatrixElement(v, 2, 2) = u.y;
        MatrixElement(v, 2, 3) = l.y;
        MatrixElement(v, 2, 4) = 0.0f;
        MatrixElement(v, 3, 1) = r.z;
        MatrixElement(v, 3, 2) = u.z;
        MatrixElement(v, 3, 3) = l.z;
        MatrixElement(v, 3, 4) = 0.0f;
        MatrixElement(v, 4, 1) = -glm::dot(r, m_position);
        MatrixElement(v, 4, 2) = -glm::dot(u, m_position);
        MatrixElement(v, 4, 3) = -glm::dot(l, m_position);
        MatrixElement(v, 4, 4) = 1.0f;
    }
    if (m_device) {
        m_device->SetTransform(D3DTS_VIEW, m_view);
    }
    m_yaw = m_pitch = m_roll = 0.0f;
    m_dirty = false;
}

D3DXMATRIX CCamera::ProjectionMatrix()
{
    return D3DXMatrixPerspectiveFovLH(kFieldOfView, kAspect, kNear, kFar);
}

int CCamera::SetupProjection()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_device) {
        return -1;
    }
    return m_device->SetTransform(D3DTS_PROJECTION, ProjectionMatrix()) == D3D_OK ? 0 : -1;
}

CameraSnapshot CCamera::Snapshot() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return CameraSnapshot{m_position, m_look, m_right, m_up};
}

D3DXVECTOR3 CCamera::Position() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_position;
}

D3DXMATRIX CCamera::View() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_view;
}

bool CCamera::Dirty() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dirty;
}
