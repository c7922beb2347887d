#pragma once
#include "render/D3DTypes.h"

// A font made by IDevice::CreateFont. Drawn only on the render thread, inside
// a scene.
class IFont {
public:
    // Draws `count` bytes of single-byte (Windows-1252) `text` into `rect`;
    // format 0: left, top, clipped to the rectangle. Returns the text height.
    virtual int DrawTextA(const char* text, int count, const RECT* rect, std::uint32_t format,
                          D3DCOLOR color) = 0;
    virtual void Release() = 0;

protected:
    virtual ~IFont() = default;
};
