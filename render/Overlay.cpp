#include "render/Overlay.h"

#include <cstring>

D3DXFONT_DESC g_fontDesc;
IFont* g_font = nullptr;

int CreateOverlayFont(IDevice* device)
{
    g_fontDesc = D3DXFONT_DESC{};
    g_fontDesc.Height = 12;
    g_fontDesc.Width = 10;
    g_fontDesc.Weight = 50;
    g_fontDesc.MipLevels = 0;
    g_fontDesc.Italic = false;
    g_fontDesc.CharSet = 1; // default character set
    g_fontDesc.OutputPrecision = 0;
    g_fontDesc.Quality = 0;
    g_fontDesc.PitchAndFamily = 0;
    std::strncpy(g_fontDesc.FaceName, "Times New Roman", sizeof g_fontDesc.FaceName - 1);
    if (device == nullptr)
        return 0;
    IFont* font = nullptr;
    if (device->CreateFont(g_fontDesc, &font) == 0)
        g_font = font;
    return 0;
}

int DrawOverlayText(int top, const char* text)
{
    if (g_font == nullptr || text == nullptr)
        return 0;
    const int length = static_cast<int>(std::strlen(text));
    const int width = static_cast<int>(g_fontDesc.Width);
    RECT rect;
    rect.left = 0;
    rect.top = top;
    rect.right = length * width + width;
    rect.bottom = top + g_fontDesc.Height;
    g_font->DrawTextA(text, length, &rect, 0, 0xFFFFFFFF);
    return 0;
}

void ReleaseOverlayFont()
{
    if (g_font != nullptr)
        g_font->Release();
    g_font = nullptr;
}
