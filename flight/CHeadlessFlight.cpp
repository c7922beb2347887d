#include "flight/CHeadlessFlight.h"

#include <utility>

#include "flight/CGroundHeight.h"
#include "flight/CTerrainPager.h"
#include "flight/CTerrainFollower.h"
#include "landscape/CLandscape.h"
#include "render/Units.h"
#include "terrain/TickCount.h"

namespace {

// How long the two paging lines stay up, in simulated seconds.
constexpr double kPagingNoticeSeconds = 2.0;
constexpr double kPagingTimeSeconds = 7.0;

} // namespace

CHeadlessFlight::CHeadlessFlight(IDevice* device, CTerrainPager& pager, bool textured, CCamera& camera)
    : m_device(device), m_pager(pager), m_textured(textured), m_camera(camera)
{
}

CHeadlessFlight::~CHeadlessFlight() = default;

int CHeadlessFlight::Begin(const Settings& settings)
{
    m_paging.DestroyLandscape();
    CTerrainPager::Page page = m_pager.BuildFirst(m_textured);
    if (!page.landscape || page.status != 0 || page.width < 2 || page.height < 2) {
        if (page.landscape)
            page.landscape->Destroy();
        return -1;
    }
    // Level, whatever pitch a still view of the terrain would take: the
    // flight goes forward along the look.
    D3DXVECTOR3 start;
    float pitch = 0.0f;
    m_pager.StartView(*page.landscape, page.width, page.height, &start, &pitch);
    m_camera.SetPosition(start);
    m_paging.Begin(m_pager, std::move(page), settings.minError, settings.maxRenderTime);
    m_pagingRuns = 0;
    m_pagingSeconds = -1.0;
    return 0;
}

void CHeadlessFlight::PageIfNeeded()
{
    const D3DXVECTOR3 eye = m_camera.Position();
    if (!m_paging.Wanted(eye.x, eye.z, TickCount()))
        return;
    bool swapped = false;
    m_paging.Start([&]() { swapped = m_paging.Run(eye.x, eye.z, m_textured); });
    if (swapped)
        ++m_pagingRuns;
}

void CHeadlessFlight::Step(const Settings& settings, double seconds, double stepSeconds)
{
    const float speedPerSecond = KmhToUnitsPerSecond(settings.speedKmh);
    m_camera.Advance(static_cast<float>(speedPerSecond * stepSeconds));
    if (settings.steering) {
        const float yaw = settings.steering(m_camera.Snapshot(), seconds, stepSeconds);
        if (yaw != 0.0f) {
            m_camera.Turn(yaw);
        }
    }
    const CLandscape* landscape = m_paging.Landscape();
    if (settings.clearance > 0.0f && landscape != nullptr) {
        CTerrainFollower::Follow(m_camera, *landscape, settings.clearance, speedPerSecond,
                                 static_cast<float>(stepSeconds));
    }
}

int CHeadlessFlight::Fly(const Settings& settings, const FrameDone& frameDone)
{
    if (settings.fps < 1 || Begin(settings) != 0) {
        return -1;
    }
    const double stepSeconds = 1.0 / settings.fps;
    for (int frame = 0; frame < settings.frames; ++frame) {
        const double seconds = frame * stepSeconds;
        m_camera.Apply();
        const CameraSnapshot camera = m_camera.Snapshot();
        const auto paging = [this, seconds]() {
            const int before = m_pagingRuns;
            PageIfNeeded();
            if (m_pagingRuns != before) {
                m_pagingSeconds = seconds;
            }
        };
        const auto status = [this, &settings, seconds]() {
            FrameStatus shown;
            shown.speedKmh = settings.speedKmh;
            const double sincePaging = seconds - m_pagingSeconds;
            shown.pagingNotice = m_pagingSeconds >= 0.0 && sincePaging <= kPagingNoticeSeconds;
            shown.pagingTime = m_pagingSeconds >= 0.0 && sincePaging <= kPagingTimeSeconds;
            shown.pagingDurationMs = m_paging.LastRunMs();
            shown.fps = static_cast<std::uint32_t>(settings.fps);
            return shown;
        };
        CFlightFrame::Draw(m_device, camera, m_paging.Lock(), m_paging.Landscape(), paging, status,
                           settings.overlay);
        const CLandscape* flown = m_paging.Landscape();
        m_ground = flown != nullptr ? CGroundHeight::At(*flown, camera.position.x, camera.position.z) : 0.0f;
        if (frameDone && frameDone(frame) != 0) {
            return -1;
        }
        Step(settings, seconds, stepSeconds);
    }
    return 0;
}
