#include "flight/CHeadlessFlight.h"

#include "flight/CGroundHeight.h"
#include "flight/CPageBuilder.h"
#include "flight/CTerrainFollower.h"
#include "flight/PageTexture.h"
#include "landscape/CLandscape.h"
#include "render/Units.h"
#include "terrain/CTerrainModel.h"
#include "terrain/TickCount.h"

namespace {

// How long the two paging lines stay up, in simulated seconds.
constexpr double kPagingNoticeSeconds = 2.0;
constexpr double kPagingTimeSeconds = 7.0;

} // namespace

CHeadlessFlight::CHeadlessFlight(IDevice* device, const CTerrainModel& terrain, const CBitmapEx* colours,
                                 CCamera& camera)
    : m_device(device), m_terrain(terrain), m_colours(colours), m_camera(camera)
{
}

CHeadlessFlight::~CHeadlessFlight() { DestroyLandscape(); }

void CHeadlessFlight::DestroyLandscape()
{
    if (m_landscape != nullptr) {
        m_landscape->Destroy();
        delete m_landscape;
        m_landscape = nullptr;
    }
}

int CHeadlessFlight::Begin(const Settings& settings)
{
    DestroyLandscape();
    m_mapWidth = m_terrain.m_gridWidth;
    m_mapHeight = m_terrain.m_gridHeight;
    const PageWindow page = ComputePageWindow(m_mapWidth, m_mapHeight);
    m_windowWidth = page.width;
    m_windowHeight = page.height;
    m_margin = page.margin;
    std::int32_t width = m_windowWidth;
    std::int32_t height = m_windowHeight;
    std::unique_ptr<std::int32_t[]> window;
    if (CPageBuilder::CutWindow(m_terrain, 0, 0, &width, &height, &window) != 0 || width < 2 || height < 2) {
        return -1;
    }
    int status = 0;
    std::unique_ptr<CLandscape> landscape =
        CPageBuilder::BuildPage(m_device, m_colours, 0, 0, 0.0f, m_terrain.HeightScale(), window.get(), width, height, &status);
    if (status != 0) {
        landscape->Destroy();
        return -1;
    }
    landscape->m_minError = settings.minError;
    landscape->m_maxRenderTime = settings.maxRenderTime;
    m_camera.SetPosition(CPageBuilder::StartPosition(*landscape, width, height));
    m_landscape = landscape.release();
    m_originX = 0.0f;
    m_originZ = 0.0f;
    m_pagingRuns = 0;
    m_pagingSeconds = -1.0;
    return 0;
}

void CHeadlessFlight::PageIfNeeded()
{
    const D3DXVECTOR3 eye = m_camera.Position();
    const float margin = static_cast<float>(m_margin);
    if (eye.x < margin && eye.z < margin) {
        return;
    }
    const bool nearEdge =
        CPageBuilder::NearEdge(eye.x, eye.z, m_originX, m_originZ, m_windowWidth, m_windowHeight, m_margin);
    if (!nearEdge || !CPageBuilder::PagingUseful(eye.x, eye.z, m_windowWidth, m_windowHeight, m_mapWidth,
                                                 m_mapHeight, m_originX, m_originZ)) {
        return;
    }
    const std::uint32_t t0 = TickCount();
    std::int32_t x0 = 0;
    std::int32_t z0 = 0;
    CPageBuilder::PageOrigin(eye.x, eye.z, m_windowWidth, m_windowHeight, &x0, &z0);
    std::int32_t width = m_windowWidth;
    std::int32_t height = m_windowHeight;
    std::unique_ptr<std::int32_t[]> window;
    if (CPageBuilder::CutWindow(m_terrain, x0, z0, &width, &height, &window) != 0 || width < 2 || height < 2) {
        return; // past the far edge: the current landscape stays
    }
    std::unique_ptr<CLandscape> landscape =
        CPageBuilder::BuildPage(m_device, m_colours, x0, z0, 0.0f, m_terrain.HeightScale(), window.get(), width, height);
    landscape->m_minError = m_landscape->m_minError;
    landscape->m_maxRenderTime = m_landscape->m_maxRenderTime;
    DestroyLandscape();
    m_landscape = landscape.release();
    m_originX = static_cast<float>(x0);
    m_originZ = static_cast<float>(z0);
    ++m_pagingRuns;
    m_pagingDuration = TickCount() - t0;
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
    if (settings.clearance > 0.0f && m_landscape != nullptr) {
        CTerrainFollower::Follow(m_camera, *m_landscape, settings.clearance, speedPerSecond,
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
            shown.pagingDurationMs = m_pagingDuration;
            shown.fps = static_cast<std::uint32_t>(settings.fps);
            return shown;
        };
        CFlightFrame::Draw(m_device, camera, m_landscapeLock, m_landscape, paging, status, settings.overlay);
        m_ground = m_landscape != nullptr ? CGroundHeight::At(*m_landscape, camera.position.x, camera.position.z)
                                          : 0.0f;
        if (frameDone && frameDone(frame) != 0) {
            return -1;
        }
        Step(settings, seconds, stepSeconds);
    }
    return 0;
}
