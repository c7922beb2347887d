// The statistics overlay: the font description, the line rectangles, and
// where the white text lands on a rendered frame.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/CRecordingDevice.h"
#include "render/Overlay.h"
#include "tests/gl/GLTestSupport.h"

namespace {

constexpr unsigned kWidth = 556;
constexpr unsigned kHeight = 390;

struct Line {
    int top;
    const char* text;
};

// The eight statistics lines as the render loop prints them (Windows-1252).
const Line kLines[] = {
    {0, "Tiempo ROAM:12 mseg"},
    {20, "Tiempo DirectX:3 mseg"},
    {40, "Camara: X:2.05Kms Y:412.50m Z:2.05Kms"},
    {60, "Velocidad:1000.00"},
    {80, "N\xBA triangulos renderizados:45123"},
    {100, "Realizando paginaci\xF3n del terreno..."},
    {120, "Tiempo en paginar:5321 mseg"},
    {140, "Frames por segundo:41"},
};

int RectRight(const char* text) { return static_cast<int>(std::strlen(text)) * 10 + 10; }

} // namespace

TEST(OverlayTest, DescriptionAndRectanglesFollowTheFixedFont)
{
    CRecordingDevice device(556, 390);
    ASSERT_EQ(CreateOverlayFont(&device), 0);
    EXPECT_EQ(g_fontDesc.Height, 12);
    EXPECT_EQ(g_fontDesc.Width, 10u);
    EXPECT_EQ(g_fontDesc.Weight, 50u);
    EXPECT_EQ(g_fontDesc.MipLevels, 0u);
    EXPECT_FALSE(g_fontDesc.Italic);
    EXPECT_EQ(g_fontDesc.CharSet, 1);
    EXPECT_EQ(g_fontDesc.OutputPrecision, 0);
    EXPECT_EQ(g_fontDesc.Quality, 0);
    EXPECT_EQ(g_fontDesc.PitchAndFamily, 0);
    EXPECT_STREQ(g_fontDesc.FaceName, "Times New Roman");
    ASSERT_NE(g_font, nullptr);

    device.ClearCalls();
    for (const Line& line : kLines)
        EXPECT_EQ(DrawOverlayText(line.top, line.text), 0);
    EXPECT_EQ(DrawOverlayText(160, ""), 0);
    std::vector<DeviceCall> draws;
    for (const DeviceCall& call : device.Calls())
        if (call.op == DeviceOp::FontDrawText)
            draws.push_back(call);
    ASSERT_EQ(draws.size(), std::size(kLines) + 1);
    for (std::size_t i = 0; i < std::size(kLines); ++i) {
        EXPECT_EQ(draws[i].text, kLines[i].text);
        EXPECT_EQ(draws[i].args[0], 0);
        EXPECT_EQ(draws[i].args[1], kLines[i].top);
        EXPECT_EQ(draws[i].args[2], RectRight(kLines[i].text));
        EXPECT_EQ(draws[i].args[3], kLines[i].top + 12);
    }
    EXPECT_EQ(draws.back().args[2], 10) << "an empty line still gets a 10-pixel rectangle";
    ReleaseOverlayFont();
    EXPECT_EQ(g_font, nullptr);
    EXPECT_EQ(device.LiveObjects(), 0);
}

TEST(OverlayTest, WithoutDeviceOrFontNothingIsDrawn)
{
    ASSERT_EQ(CreateOverlayFont(nullptr), 0);
    EXPECT_EQ(g_font, nullptr);
    EXPECT_EQ(g_fontDesc.Height, 12);
    EXPECT_EQ(DrawOverlayText(0, "Tiempo ROAM:1 mseg"), 0);
    EXPECT_EQ(DrawOverlayText(0, nullptr), 0);
}

TEST(OverlayTest, WhiteTextLandsInsideItsLineRectangles)
{
    EnsureGuiApplication();
    HeadlessDevice gl(kWidth, kHeight);
    if (!gl.device)
        GTEST_SKIP() << "no headless OpenGL 3.3 context";
    ASSERT_EQ(CreateOverlayFont(gl.device.get()), 0);
    ASSERT_NE(g_font, nullptr);

    // A line long enough that its glyphs need more room than 10 per byte.
    const char* wide = "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW";
    gl.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    gl.device->BeginScene();
    for (const Line& line : kLines)
        DrawOverlayText(line.top, line.text);
    DrawOverlayText(160, wide);
    gl.device->EndScene();
    gl.device->Present();
    const std::vector<std::uint32_t> frame = gl.Frame();
    DumpFrame(frame, kWidth, kHeight, "overlay");

    std::vector<int> brightest(10, 0);
    std::vector<int> rightmost(10, -1);
    int outside = 0;
    for (unsigned y = 0; y < kHeight; ++y)
        for (unsigned x = 0; x < kWidth; ++x) {
            const std::uint32_t c = frame[y * kWidth + x];
            const int level = std::max({Red(c), Green(c), Blue(c)});
            if (level == 0)
                continue;
            EXPECT_TRUE(Red(c) == Green(c) && Green(c) == Blue(c)) << "text is white";
            const int line = static_cast<int>(y) / 20;
            const char* text = line < 8 ? kLines[line].text : (line == 8 ? wide : "");
            if (y % 20 >= 12 || line > 8 || static_cast<int>(x) >= RectRight(text)) {
                ++outside;
                continue;
            }
            brightest[line] = std::max(brightest[line], level);
            rightmost[line] = std::max(rightmost[line], static_cast<int>(x));
        }
    EXPECT_EQ(outside, 0) << "lit pixels outside the line rectangles";
    for (int line = 0; line < 9; ++line)
        EXPECT_GE(brightest[line], 250) << "line " << line << " shows opaque white";
    EXPECT_GE(rightmost[8], RectRight(wide) - 10) << "the wide line is cut at its rectangle's edge";
    ReleaseOverlayFont();
}
