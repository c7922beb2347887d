// Paging: when the camera nears the edge of the current window, a paging
// thread cuts a new window around the camera, builds its page texture and
// landscape, and swaps it in under the landscape lock.
#include "view/CvantaPeakView.h"

#include "flight/CPageBuilder.h"
#include "terrain/TickCount.h"

bool CvantaPeakView::PagingNeeded() const
{
    const D3DXVECTOR3 position = m_camera.Position();
    return CPageBuilder::NearEdge(position.x, position.z, m_pageOriginX.load(), m_pageOriginZ.load(), m_windowWidth,
                                  m_windowHeight, m_pagingMargin);
}

void CvantaPeakView::StartPagingThread()
{
    // Render thread only (the paging decision); the owner counts the run
    // before its thread exists and joins the previous one, which has ended.
    m_paging.Start([this]() { PagingThreadProc(this); });
    m_pagingThreadId = m_pagingThread.get_id();
    m_showPagingNotice = true;
    m_pagingNoticeTick = TickCount();
}

unsigned CvantaPeakView::PagingThreadProc(CvantaPeakView* view)
{
    if (view != nullptr) {
        view->PageTerrain();
    }
    return 0;
}

void CvantaPeakView::PageTerrain()
{
    // The owner builds the window around the camera and swaps it in; a
    // camera past the far edge, a window that cannot be read and a run
    // cancelled by the view's end keep the current landscape.
    const D3DXVECTOR3 position = m_camera.Position();
    if (m_stop.load() || !m_paging.Run(position.x, position.z, m_textured.load())) {
        return;
    }
    m_pagingDuration = m_paging.LastRunMs();
    m_pagingTimeTick = TickCount();
    m_showPagingTime = true;
}
