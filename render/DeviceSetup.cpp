#include "render/DeviceSetup.h"

#include <cmath>

void SetupRenderState(IDevice* device)
{
    if (device == nullptr)
        return;
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    device->SetRenderState(D3DRS_LIGHTING, 1);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    device->SetRenderState(D3DRS_AMBIENT, 0x00C8C8C8);
    SetupLight(device);

    D3DMATERIAL9 material{};
    material.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    material.Ambient = {0.5f, 0.5f, 0.5f, 0.0f};
    material.Power = 5.0f;
    device->SetMaterial(material);
}

void SetupLight(IDevice* device)
{
    if (device == nullptr)
        return;
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    const D3DXVECTOR3 direction = LightDirection();
    light.Direction = {direction.x, direction.y, direction.z};
    light.Range = 100000.0f;
    device->SetLight(0, light);
    device->LightEnable(0, true);
}

D3DXVECTOR3 LightDirection() { return D3DXVec3Normalize(D3DXVECTOR3(1.0f, -1.0f, 1.0f)); }

void DrawAxes(IDevice* device)
{
    if (device == nullptr)
        return;
    static const AxisVertex kAxes[3][2] = {
        {{0.0f, 0.0f, 0.0f, 0xFFFFFFFF}, {1000.0f, 0.0f, 0.0f, 0xFFFFFFFF}},
        {{0.0f, 0.0f, 0.0f, 0xFF0000FF}, {0.0f, 1000.0f, 0.0f, 0xFF0000FF}},
        {{0.0f, 0.0f, 0.0f, 0xFFFF0000}, {0.0f, 0.0f, 1000.0f, 0xFFFF0000}},
    };
    device->SetFVF(FVF_AXIS);
    for (const auto& axis : kAxes)
        device->DrawPrimitiveUP(D3DPT_LINELIST, 1, axis, sizeof(AxisVertex));
}

void SetFillMode(IDevice* device, bool wireframe)
{
    if (device == nullptr)
        return;
    device->SetRenderState(D3DRS_FILLMODE, wireframe ? D3DFILL_WIREFRAME : D3DFILL_SOLID);
}
