#pragma once
// Values and records of the graphics device layer. The numbers are the
// classic fixed-function ones, so that call logs and tests can be read
// against the documented render states and vertex formats.
#include <cstdint>

using D3DCOLOR = std::uint32_t; // 0xAARRGGBB

// Result codes: every device operation returns 0 on success, -1 on failure.
constexpr int D3D_OK = 0;
constexpr int D3DERR_FAILED = -1;

// Transform ids.
enum D3DTRANSFORMSTATETYPE : int {
    D3DTS_VIEW = 2,
    D3DTS_PROJECTION = 3,
    D3DTS_WORLD = 256,
};

// Render-state ids and their values.
enum D3DRENDERSTATETYPE : int {
    D3DRS_FILLMODE = 8,
    D3DRS_SHADEMODE = 9,
    D3DRS_CULLMODE = 22,
    D3DRS_LIGHTING = 137,
    D3DRS_AMBIENT = 139,
};
constexpr std::uint32_t D3DFILL_WIREFRAME = 2;
constexpr std::uint32_t D3DFILL_SOLID = 3;
constexpr std::uint32_t D3DSHADE_GOURAUD = 2;
constexpr std::uint32_t D3DCULL_NONE = 1;
// Cull modes: triangles whose corners run clockwise (CW) or
// counter-clockwise (CCW) as seen on the screen are dropped.
constexpr std::uint32_t D3DCULL_CW = 2;
constexpr std::uint32_t D3DCULL_CCW = 3;

// Flexible vertex format bits.
constexpr std::uint32_t D3DFVF_XYZ = 0x002;
constexpr std::uint32_t D3DFVF_NORMAL = 0x010;
constexpr std::uint32_t D3DFVF_DIFFUSE = 0x040;
constexpr std::uint32_t D3DFVF_TEX1 = 0x100;
// Axis lines: position + colour (16 bytes). Landscape: position + normal +
// one texture coordinate pair (32 bytes).
constexpr std::uint32_t FVF_AXIS = D3DFVF_XYZ | D3DFVF_DIFFUSE;                    // 0x42
constexpr std::uint32_t FVF_LANDSCAPE = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1; // 0x112 = 274

enum D3DPOOL : int {
    D3DPOOL_DEFAULT = 0,
    D3DPOOL_MANAGED = 1,
    D3DPOOL_SYSTEMMEM = 2,
};

constexpr std::uint32_t D3DUSAGE_DYNAMIC = 0x200;
constexpr std::uint32_t D3DLOCK_DISCARD = 0x2000;

enum D3DFORMAT : int {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
};

// Texture creation: a level count of 0 asks for the full mip chain.
constexpr unsigned D3DX_DEFAULT_MIPLEVELS = 0;

enum D3DPRIMITIVETYPE : int {
    D3DPT_LINELIST = 2,
    D3DPT_TRIANGLELIST = 4,
};

constexpr std::uint32_t D3DCLEAR_TARGET = 1;
constexpr std::uint32_t D3DCLEAR_ZBUFFER = 2;

enum D3DLIGHTTYPE : int {
    D3DLIGHT_DIRECTIONAL = 3,
};

struct D3DCOLORVALUE {
    float r = 0, g = 0, b = 0, a = 0;
};

struct D3DVECTOR {
    float x = 0, y = 0, z = 0;
};

struct D3DLIGHT9 {
    int Type = 0;
    D3DCOLORVALUE Diffuse, Specular, Ambient;
    D3DVECTOR Position, Direction;
    float Range = 0, Falloff = 0, Attenuation0 = 0, Attenuation1 = 0, Attenuation2 = 0, Theta = 0,
          Phi = 0;
};

struct D3DMATERIAL9 {
    D3DCOLORVALUE Diffuse, Ambient, Specular, Emissive;
    float Power = 0;
};

struct D3DVIEWPORT9 {
    std::uint32_t X = 0, Y = 0, Width = 0, Height = 0;
    float MinZ = 0, MaxZ = 1;
};

struct D3DLOCKED_RECT {
    int Pitch = 0;         // bytes from one row to the next
    void* pBits = nullptr; // row 0 of the locked level
};

struct RECT {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Font description (ANSI form); only the fields the overlay uses.
struct D3DXFONT_DESC {
    int Height = 0;
    unsigned Width = 0;
    unsigned Weight = 0;
    unsigned MipLevels = 0;
    bool Italic = false;
    unsigned char CharSet = 0;
    unsigned char OutputPrecision = 0;
    unsigned char Quality = 0;
    unsigned char PitchAndFamily = 0;
    char FaceName[32] = {};
};
