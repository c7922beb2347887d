#pragma once
// The flying viewer: an eye position and an orthonormal left-handed basis
// (look = right x up). Moves translate along the camera's own axes at once;
// turns accumulate as pending angles and are folded into the basis by Apply,
// which also rebuilds the view matrix and sets it on the device.
//
// Threads: every operation takes the camera's own mutex, so the user-interface
// thread may move or turn the camera while the render thread applies it.
// Apply calls the device with that mutex held (camera before device, never the
// other way round).
#include <mutex>

#include "render/D3DXMath.h"
#include "render/IDevice.h"

// A consistent copy of the camera's position and basis.
struct CameraSnapshot {
    D3DXVECTOR3 position;
    D3DXVECTOR3 look;
    D3DXVECTOR3 right;
    D3DXVECTOR3 up;
};

class CCamera {
public:
    // Vertical field of view (radians), aspect ratio and clip distances (world
    // units) of the projection; the aspect is fixed whatever the window shape.
    static constexpr float kFieldOfView = 1.5707964f;
    static constexpr float kAspect = 1.3333334f;
    static constexpr float kNear = 1.0f;
    static constexpr float kFar = 5000.0f;

    CCamera();

    // Position (0, 0, 0), look +z, right +x, up +y, no pending turn, yaw
    // about the up vector, identity view. Leaves the device and the dirty
    // flag as they are.
    void Reset();
    // The device whose view transform Apply sets; not owned, may be null.
    void SetDevice(IDevice* device);
    // Places the eye; the view is rebuilt at the next Apply.
    void SetPosition(const D3DXVECTOR3& position);

    // Moves by `distance` world units along look, right or up.
    void Advance(float distance);
    void Strafe(float distance);
    void Rise(float distance);
    // Adds `angle` radians of yaw about the up vector (positive turns right).
    void Turn(float angle);
    // Adds pending pitch about the right vector (positive looks down), cut so
    // that the look vector's elevation stays within +-limit radians. Returns
    // the angle taken. From the first pitch on, Apply yaws about the world's
    // vertical instead of the camera's up vector, so that the horizon stays
    // level however the user turns a pitched camera.
    float Pitch(float angle, float limit);
    // Elevation of the look vector above the horizontal, radians (positive
    // looks up), with the pending pitch counted in.
    float Elevation() const;
    // Sets the eye's height (world y) alone; the view is rebuilt at the next
    // Apply.
    void SetHeight(float y);

    // When anything changed: rotates the basis by the pending angles,
    // re-orthogonalises it and rebuilds the view matrix. Then always sets the
    // view matrix on the device (if any) and clears the pending angles.
    void Apply();

    // Sets the fixed projection on the device. 0, or -1 without a device or
    // when the device refuses it.
    int SetupProjection();
    static D3DXMATRIX ProjectionMatrix();

    CameraSnapshot Snapshot() const;
    D3DXVECTOR3 Position() const;
    D3DXMATRIX View() const;
    bool Dirty() const;

private:
    mutable std::mutex m_mutex;
    D3DXVECTOR3 m_position;
    D3DXVECTOR3 m_look;
    D3DXVECTOR3 m_right;
    D3DXVECTOR3 m_up;
    bool m_dirty = false;
    float m_yaw = 0.0f;   // pending rotation about m_up, radians
    float m_pitch = 0.0f; // pending rotation about m_right, radians
    float m_roll = 0.0f;  // pending rotation about m_look, radians
    bool m_levelYaw = false; // yaw about the world's vertical (set by Pitch)
    D3DXMATRIX m_view;
    IDevice* m_device = nullptr;
};
