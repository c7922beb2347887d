// The render thread: RenderLoop polls the speed, renders a frame and sleeps
// 10 ms until the view stops it; RenderFrame draws one frame with its
// statistics lines and flies the camera forward.
#include "view/CvantaPeakView.h"

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <thread>

#include "flight/CFlightFrame.h"
#include "flight/CForwardFlight.h"
#include "flight/CGroundHeight.h"
#include "flight/CTerrainFollower.h"
#include "flight/CPageBuilder.h"
#include "overview/COverviewControl.h"
#include "render/IDevice.h"
#include "render/Units.h"
#include "terrain/CTileCache.h"
#include "terrain/TickCount.h"
#include "view/CStatsFile.h"

namespace {

// How long the two paging lines stay up, in milliseconds.
constexpr std::uint32_t kPagingNoticeMs = 2000;
constexpr std::uint32_t kPagingTimeMs = 7000;
constexpr std::uint32_t kOverviewRefreshMs = 500;
// A served terrain's trouble (Windows-1252, as the overlay draws it).
constexpr const char* kRetryNotice = "No llegan datos del servidor del terreno; nuevo intento en %u s";
constexpr const char* kChangedNotice = "El terreno ha cambiado en el servidor; se vuela sobre lo ya descargado";

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
        m_speedPerSecond = KmhToUnitsPerSecond(m_speedKmh);
        RenderFrame();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The context belongs to this thread; hand it back before the thread ends
    // so that the device can be released from the user-interface thread.
    if (m_device != nullptr) {
        m_device->DetachRenderThread();
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

    const auto pagingDecision = [this, x, z]() {
        if (!m_stop.load() && m_paging.Wanted(x, z, TickCount())) {
            StartPagingThread();
        }
    };
    // The lines show this frame's status; the paging lines come down once
    // they have been up long enough (after this frame has drawn them).
    const auto status = [this]() {
        FrameStatus shown;
        shown.speedKmh = m_speedKmh;
        shown.pagingNotice = m_showPagingNotice;
        if (m_showPagingNotice && TickCount() - m_pagingNoticeTick > kPagingNoticeMs) {
            m_showPagingNotice = false;
        }
        if (m_showPagingTime.load()) {
            const std::uint32_t now = TickCount();
            shown.pagingTime = true;
            shown.pagingDurationMs = m_pagingDuration.load();
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
        shown.fps = m_fps;
        // Only a served terrain fetches or fails to read a window.
        shown.downloading = m_pagingCount.load() != 0 && CTileCache::Fetching();
        if (CTileCache::Changed()) {
            shown.serverNotice = kChangedNotice;
        } else if (m_pagingRetry.Failures() > 0) {
            char notice[96];
            std::snprintf(notice, sizeof notice, kRetryNotice,
                          static_cast<unsigned>((m_pagingRetry.WaitLeftMs(TickCount()) + 999) / 1000));
            shown.serverNotice = notice;
        }
        return shown;
    };
    const FrameFigures figures =
        CFlightFrame::Draw(m_device, camera, m_landscapeLock, m_landscape, pagingDecision, status, true);

    const std::uint32_t now = TickCount();
    CForwardFlight::Step(m_camera, now - m_lastFrameTick, m_speedPerSecond, m_turnRate);
    if (m_tour) {
        // The pilot sees the heading this frame was drawn with, so a turn the
        // user made since its last step shows as a change it did not make.
        m_camera.Turn(m_tourPilot.Steer(x, z, camera.look.x, camera.look.z, m_mapWidth, m_mapHeight,
                                        m_pagingMargin, static_cast<float>((now - m_lastFrameTick) / 1000.0),
                                        m_speedPerSecond));
    }
    // Terrain following, and the ground under this frame's eye for the
    // statistics row: both read the landscape, so under its lock.
    float ground = 0.0f;
    const float clearance = m_clearance.load();
    if (clearance > 0.0f || m_statsFile != nullptr) {
        std::lock_guard<std::mutex> guard(m_landscapeLock);
        if (m_landscape != nullptr) {
            ground = CGroundHeight::At(*m_landscape, x, z);
            if (clearance > 0.0f) {
                CTerrainFollower::Follow(m_camera, *m_landscape, clearance, m_speedPerSecond,
                                         static_cast<float>((now - m_lastFrameTick) / 1000.0));
            }
        }
    }
    ++m_frameCount;
    m_lastFrameTick = now;

    if (m_statsFile != nullptr) {
        char row[256];
        std::snprintf(row, sizeof row, "%" PRIu32 ",%d,%d,%d,%" PRIu32 ",%.3f,%.3f,%.3f,%d,%.3f\n",
                      now - m_statsStartTick, figures.roamTime, figures.drawTime, figures.triangles, m_fps,
                      static_cast<double>(x), static_cast<double>(y), static_cast<double>(z),
                      m_pagingCount.load() > 0 ? 1 : 0, static_cast<double>(ground));
        m_statsFile->Write(row);
    }
}
