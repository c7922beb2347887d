#include "flight/CFlightFrame.h"

#include <cstdio>

#include "landscape/CLandscape.h"
#include "render/DeviceSetup.h"
#include "render/IDevice.h"
#include "render/Overlay.h"

namespace {

// Statistics lines: top of each line in pixels from the top of the render area.
constexpr int kRoamLine = 0;
constexpr int kDrawLine = 20;
constexpr int kCameraLine = 40;
constexpr int kSpeedLine = 60;
constexpr int kTrianglesLine = 80;
constexpr int kPagingNoticeLine = 100;
constexpr int kPagingTimeLine = 120;
constexpr int kFpsLine = 140;
constexpr int kServerNoticeLine = 160;

// The overlay draws single-byte Windows-1252 text: "º" is 0xBA, "ó" 0xF3.
constexpr const char* kTrianglesFormat = "N\xBA triangulos renderizados:%ld";
constexpr const char* kPagingNotice = "Realizando paginaci\xF3n del terreno...";
constexpr const char* kDownloadingNotice = "Descargando terreno...";

constexpr D3DCOLOR kClearColour = 0xFF000000u;

template <typename... Args>
std::string Format(const char* format, Args... args)
{
    char line[160];
    std::snprintf(line, sizeof line, format, args...);
    return line;
}

} // namespace

FrameFigures CFlightFrame::Draw(IDevice* device, const CameraSnapshot& camera, std::mutex& lock,
                                CLandscape* const& landscape, const BeforeScene& beforeScene,
                                const StatusSource& status, bool overlay, std::vector<OverlayLine>* lines)
{
    FrameFigures figures;
    if (device == nullptr) {
        return figures;
    }
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kClearColour, 1.0f, 0);
    if (beforeScene) {
        beforeScene();
    }
    device->BeginScene();
    DrawAxes(device);
    {
        std::lock_guard<std::mutex> guard(lock);
        if (landscape != nullptr) {
            // The enhanced look's fog ends inside this window (grid points
            // 0 .. columns - 1 and 0 .. rows - 1 from the origin).
            device->SetFogWindow(landscape->m_originX, landscape->m_originZ,
                                 landscape->m_originX + static_cast<float>(landscape->m_columns - 1),
                                 landscape->m_originZ + static_cast<float>(landscape->m_rows - 1));
            landscape->Update();
            figures.roamTime = landscape->m_roamTime;
            figures.drawTime = landscape->m_drawTime;
            figures.triangles = landscape->m_trianglesRendered;
        }
    }
    const FrameStatus shown = status ? status() : FrameStatus{};
    std::vector<OverlayLine> frameLines = StatisticsLines(figures, camera.position, shown);
    if (overlay) {
        for (const OverlayLine& line : frameLines) {
            DrawOverlayText(line.top, line.text.c_str());
        }
    }
    device->EndScene();
    device->Present();
    if (lines != nullptr) {
        *lines = std::move(frameLines);
    }
    return figures;
}

std::vector<OverlayLine> CFlightFrame::StatisticsLines(const FrameFigures& figures, const D3DXVECTOR3& eye,
                                                       const FrameStatus& status)
{
    std::vector<OverlayLine> lines;
    lines.push_back({kRoamLine, Format("Tiempo ROAM:%d mseg", figures.roamTime)});
    lines.push_back({kDrawLine, Format("Tiempo DirectX:%d mseg", figures.drawTime)});
    lines.push_back({kCameraLine, Format("Camara: X:%.2fKms Y:%.2fm Z:%.2fKms", eye.x / 1000.0,
                                         static_cast<double>(eye.y), eye.z / 1000.0)});
    lines.push_back({kSpeedLine, Format("Velocidad:%.2f", static_cast<double>(status.speedKmh))});
    lines.push_back({kTrianglesLine, Format(kTrianglesFormat, static_cast<long>(figures.triangles))});
    if (status.downloading) {
        lines.push_back({kPagingNoticeLine, kDownloadingNotice});
    } else if (status.pagingNotice) {
        lines.push_back({kPagingNoticeLine, kPagingNotice});
    }
    if (status.pagingTime) {
        lines.push_back(
            {kPagingTimeLine, Format("Tiempo en paginar:%d mseg", static_cast<int>(status.pagingDurationMs))});
    }
    lines.push_back({kFpsLine, Format("Frames por segundo:%d", static_cast<int>(status.fps))});
    if (!status.serverNotice.empty()) {
        lines.push_back({kServerNoticeLine, status.serverNotice});
    }
    return lines;
}
