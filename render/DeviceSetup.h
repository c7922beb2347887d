#pragma once
// The fixed state every frame is drawn with, the world axis lines and the
// display-mode switch. Only IDevice calls, so they run on any device.
#include <cstdint>

#include "render/IDevice.h"

// One vertex of the axis lines: position and ARGB colour, format FVF_AXIS.
struct AxisVertex {
    float x, y, z;
    D3DCOLOR color;
};
static_assert(sizeof(AxisVertex) == 16);

// The fixed render state, once after device creation, in this order: culling
// off, solid fill, lighting on, Gouraud shading, ambient grey 200, light 0
// (SetupLight), the material (diffuse white, ambient half grey, power 5).
// Does nothing with a null device.
void SetupRenderState(IDevice* device);

// Light 0: directional, white diffuse, pointing along LightDirection(),
// range 100000; set and enabled.
void SetupLight(IDevice* device);

// The direction light 0 travels: (1, -1, 1) normalised.
D3DXVECTOR3 LightDirection();

// Inside the scene, before the landscape: the x (white), y (blue) and z (red)
// axis lines of length 1000 from the world origin, three one-line draws from
// user memory. Leaves the vertex format at FVF_AXIS.
void DrawAxes(IDevice* device);

// The "Malla" (wireframe true) and "Textura" (false) display modes. Any
// thread, any time; does nothing with a null device.
void SetFillMode(IDevice* device, bool wireframe);
