#pragma once
#include <cstdint>

#include "render/D3DTypes.h"

// One vertex of the landscape's vertex buffer, format FVF_LANDSCAPE (0x112):
// world position, averaged normal, texture coordinate over the page texture.
struct LandscapeVertex {
    float x, y, z;
    float nx, ny, nz;
    float u, v;
};
static_assert(sizeof(LandscapeVertex) == 32, "LandscapeVertex must stay 32 bytes");
constexpr std::uint32_t LANDSCAPE_VERTEX_FVF = FVF_LANDSCAPE;
