#pragma once
// The statistics overlay: one font for the whole run and one call that draws
// a line of text in the top-left corner of the render area.
#include "render/IDevice.h"

// The font description: height 12, width 10, weight 50, "Times New Roman".
// Written by CreateOverlayFont before the render thread starts.
extern D3DXFONT_DESC g_fontDesc;
// The overlay font, or null (then DrawOverlayText draws nothing).
extern IFont* g_font;

// Fills g_fontDesc and creates g_font on `device` (none with a null device or
// when creation fails). Returns 0.
int CreateOverlayFont(IDevice* device);

// Render thread, inside the scene: `text` (zero-terminated, Windows-1252) in
// opaque white, left and top aligned and clipped to the rectangle left 0,
// top `top`, right n x width + width, bottom top + height, n being the text's
// length in bytes and width and height g_fontDesc's. Returns 0.
int DrawOverlayText(int top, const char* text);

// Releases g_font and nulls it; before the device is released.
void ReleaseOverlayFont();
