// The render thread: RenderLoop polls the speed, renders a frame and sleeps
// 10 ms until the view stops it; RenderFrame draws one frame with its
// statistics lines and flies the camera forward.
#include "view/CvantaPeakView.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <thread>

#include "landscape/CLandscape.h"
#include "landscape/TickCount.h"
#include "overview/COverviewControl.h"
#include "render/DeviceSetup.h"
#include "render/IDevice.h"
#include "render/Overlay.h"
#include "render/gl/CGLDevice.h"

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

// How long the two paging lines stay up, in milliseconds.
constexpr std::uint32_t kPagingNoticeMs = 2000;
constexpr std::uint32_t kPagingTimeMs = 7000;
constexpr std::uint32_t kOverviewRefreshMs = 500;
// A frame that would move the camera this far or more does not move it.
constexpr float kMaxFlightStep = 1000.0f;

// The overlay draws single-byte Windows-1252 text: "º" is 0xBA, "ó" 0xF3.
constexpr const char* kTrianglesFormat = "N\xBA triangulos renderizados:%ld";
constexpr const char* kPagingNotice = "Realizando paginaci\xF3n del terreno...";

} // namespace

unsigned CvantaPeakView::RenderThreadProc(CvantaPeakView* view)
{
    if (view != nullptr) {
        view->RenderLoop();
    }
    return 0;
}

void CvantaPeakView::RenderLoop()
{
    m_lastFrameTick = TickCount();
    m_overviewTick = m_lastFrameTick;
    m_fpsTick = m_lastFrameTick;
    m_frameCount = 0;
    while (!m_stop.load()) {
        // The slider's position comes from its atomic mirror, kept by the
        // user-interface thread, so a busy user interface never holds a frame.
        const int position = m_sliderPosition.load();
        m_speedKmh = static_cast<float>(1000.0 - position);
        m_speedPerSecond = static_cast<float>(m_speedKmh * 1000.0 / 3600.0);
        RenderFrame();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The context belongs to this thread; hand it back before the thread ends
    // so that the device can be released from the user-interface thread.
    if (auto* glDevice = dynamic_cast<CGLDevice*>(m_device)) {
        glDevice->DetachRenderThread();
    }
}

void CvantaPeakView::RenderFrame()
{
    if (m_device == nullptr) {
        return;
    }
    m_camera.Apply();
    const CameraSnapshot camera = m_camera.Snapshot();
    const float x = camera.position.x;
    const float y = camera.position.y;
    const float z = camera.position.z;

    if (TickCount() - m_overviewTick > kOverviewRefreshMs) {
        m_overviewMap.Refresh(x, z, camera.look.x, camera.look.z, m_pageOriginX.load(),
                              m_pageOriginZ.load(), m_windowWidth, m_windowHeight, m_pagingMargin,
                              m_overviewControl);
        m_overviewTick = TickCount();
    }
    if (!m_started) {
        return;
    }

    m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);

    const float margin = static_cast<float>(m_pagingMargin);
    if (!(x < margin && z < margin) && m_pagingCount.load() == 0 && PagingNeeded() &&
        !m_stop.load()) {
        StartPagingThread();
    }

    m_device->BeginScene();
    DrawAxes(m_device);

    std::int32_t roamTime = 0;
    std::int32_t drawTime = 0;
    std::int32_t triangles = 0;
    {
        std::lock_guard<std::mutex> guard(m_landscapeLock);
        if (m_landscape != nullptr) {
            m_landscape->Update();
            roamTime = m_landscape->m_roamTime;
            drawTime = m_landscape->m_drawTime;
            triangles = m_landscape->m_trianglesRendered;
        }
    }

    char line[160];
    std::snprintf(line, sizeof line, "Tiempo ROAM:%d mseg", roamTime);
    DrawOverlayText(kRoamLine, line);
    std::snprintf(line, sizeof line, "Tiempo DirectX:%d mseg", drawTime);
    DrawOverlayText(kDrawLine, line);
    std::snprintf(line, sizeof line, "Camara: X:%.2fKms Y:%.2fm Z:%.2fKms", x / 1000.0,
                  static_cast<double>(y), z / 1000.0);
    DrawOverlayText(kCameraLine, line);
    std::snprintf(line, sizeof line, "Velocidad:%.2f", static_cast<double>(m_speedKmh));
    DrawOverlayText(kSpeedLine, line);
    std::snprintf(line, sizeof line, kTrianglesFormat, static_cast<long>(triangles));
    DrawOverlayText(kTrianglesLine, line);
    if (m_showPagingNotice) {
        DrawOverlayText(kPagingNoticeLine, kPagingNotice);
        if (TickCount() - m_pagingNoticeTick > kPagingNoticeMs) {
            m_showPagingNotice = false;
        }
    }
    if (m_showPagingTime.load()) {
        const std::uint32_t now = TickCount();
        std::snprintf(line, sizeof line, "Tiempo en paginar:%d mseg",
                      static_cast<int>(m_pagingDuration.load()));
        DrawOverlayText(kPagingTimeLine, line);
        if (now - m_pagingTimeTick.load() > kPagingTimeMs) {
            m_showPagingTime = false;
        }
    }
    const std::uint32_t fpsNow = TickCount();
    if (fpsNow - m_fpsTick > 1000) {
        m_fps = m_frameCount / ((fpsNow - m_fpsTick) / 1000);
        m_fpsTick = TickCount();
        m_frameCount = 0;
    }
    std::snprintf(line, sizeof line, "Frames por segundo:%d", static_cast<int>(m_fps));
    DrawOverlayText(kFpsLine, line);

    m_device->EndScene();
    m_device->Present();

    const std::uint32_t now = TickCount();
    const std::uint32_t elapsed = now - m_lastFrameTick;
    const float seconds = static_cast<float>(elapsed / 1000.0);
    const float distance = seconds * m_speedPerSecond;
    if (distance < kMaxFlightStep) {
        m_camera.Advance(distance);
        if (m_turnRate != 0.0f) {
            m_camera.Turn(m_turnRate * seconds);
        }
    }
    ++m_frameCount;
    m_lastFrameTick = now;

    if (m_statsFile != nullptr) {
        std::fprintf(m_statsFile, "%" PRIu32 ",%d,%d,%d,%" PRIu32 ",%.3f,%.3f,%.3f,%d\n",
                     now - m_statsStartTick, roamTime, drawTime, triangles, m_fps,
                     static_cast<double>(x), static_cast<double>(y), static_cast<double>(z),
                     m_pagingCount.load() > 0 ? 1 : 0);
    }
}
