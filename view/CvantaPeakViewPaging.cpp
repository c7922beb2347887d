// Paging: when the camera nears the edge of the current window, a paging
// thread cuts a new window around the camera, builds its page texture and
// landscape, and swaps it in under the landscape lock.
#include "view/CvantaPeakView.h"

#include <cstdio>
#include <memory>

#include "flight/CPageBuilder.h"
#include "flight/CTerrainPager.h"
#include "landscape/CLandscape.h"
#include "terrain/ThreadPriority.h"
#include "terrain/TickCount.h"

bool CvantaPeakView::PagingNeeded() const
{
    const D3DXVECTOR3 position = m_camera.Position();
    return CPageBuilder::NearEdge(position.x, position.z, m_pageOriginX.load(), m_pageOriginZ.load(), m_windowWidth,
                                  m_windowHeight, m_pagingMargin);
}

void CvantaPeakView::StartPagingThread()
{
    // Render thread only (the paging decision). The previous run has lowered
    // the count already; its thread ends right after that, so this join is short.
    if (m_pagingThread.joinable()) {
        m_pagingThread.join();
    }
    // The count is raised here, before the thread exists, so the next frame's
    // paging decision sees it whatever the scheduler does with the new thread.
    m_pagingCount.fetch_add(1);
    m_pagingThread = std::thread(&CvantaPeakView::PagingThreadProc, this);
    m_pagingThreadId = m_pagingThread.get_id();
    m_showPagingNotice = true;
    m_pagingNoticeTick = TickCount();
}

unsigned CvantaPeakView::PagingThreadProc(CvantaPeakView* view)
{
    LowerThreadPriority(); // frames come first: a run takes what the render thread leaves
    if (view != nullptr) {
        view->PageTerrain();
    }
    return 0;
}

void CvantaPeakView::PageTerrain()
{
    // The window size and margin are the same at every call: the pager's,
    // made by the start command and only read here.
    const std::uint32_t t0 = TickCount();
    const D3DXVECTOR3 position = m_camera.Position();

    // A camera so far past the far edge that the window would be empty keeps
    // the current landscape, as does a window that cannot be read; so does a
    // run cancelled by the view's destruction.
    CTerrainPager::Page page;
    if (!m_stop.load()) {
        page = m_pager->BuildAround(position.x, position.z, m_textured.load());
    }
    if (!page.landscape || page.width < 2 || page.height < 2 || m_stop.load()) {
        if (page.landscape) {
            page.landscape->Destroy();
        }
        if (page.status != 0 && !m_stop.load()) {
            const std::uint32_t now = TickCount();
            m_pagingRetry.Failed(now);
            std::fprintf(stderr, "vantapeak: no se pudo leer la ventana del terreno en (%d, %d); nuevo intento en %u s\n",
                         static_cast<int>(page.x0), static_cast<int>(page.z0),
                         static_cast<unsigned>((m_pagingRetry.WaitLeftMs(now) + 999) / 1000));
        }
        m_pagingCount.fetch_sub(1);
        return;
    }
    m_pagingRetry.Succeeded();
    const float ox = static_cast<float>(page.x0);
    const float oz = static_cast<float>(page.z0);
    std::unique_ptr<CLandscape> landscape = std::move(page.landscape);

    CLandscape* old = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_landscapeLock);
        if (m_landscape != nullptr) {
            landscape->m_minError = m_landscape->m_minError;
            landscape->m_maxRenderTime = m_landscape->m_maxRenderTime;
        }
        old = m_landscape;
        m_pageOriginX = ox;
        m_pageOriginZ = oz;
        m_landscape = landscape.release();
    }
    // The old landscape is no longer reachable by the render thread: it is
    // destroyed outside the lock so that the swap holds frames up only briefly.
    if (old != nullptr) {
        old->Destroy();
        delete old;
    }
    m_pagingCount.fetch_sub(1);

    const std::uint32_t now = TickCount();
    m_pagingDuration = now - t0;
    m_pagingTimeTick = now;
    m_showPagingTime = true;
}
