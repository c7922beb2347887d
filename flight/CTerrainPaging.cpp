#include "flight/CTerrainPaging.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "landscape/CLandscape.h"
#include "terrain/ThreadPriority.h"
#include "terrain/TickCount.h"

namespace {

void Dispose(CLandscape* landscape)
{
    if (landscape != nullptr) {
        landscape->Destroy();
        delete landscape;
    }
}

} // namespace

CTerrainPaging::CTerrainPaging(Runs runs) : m_runs(runs) {}

CTerrainPaging::~CTerrainPaging()
{
    Join();
    DestroyLandscape();
}

void CTerrainPaging::Begin(CTerrainPager& pager, CTerrainPager::Page first, float minError,
                           std::uint32_t maxRenderTime)
{
    Join();
    m_pager = &pager;
    first.landscape->m_minError = minError;
    first.landscape->m_maxRenderTime = maxRenderTime;
    CLandscape* old = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        old = m_landscape;
        m_landscape = first.landscape.release();
        m_originX = static_cast<float>(first.x0);
        m_originZ = static_cast<float>(first.z0);
    }
    Dispose(old);
    m_count = 0;
    m_retry.Succeeded();
}

bool CTerrainPaging::Wanted(float x, float z, std::uint32_t now) const
{
    return m_pager != nullptr && !m_cancelled.load()
           && m_pager->PagingWanted(x, z, m_originX.load(), m_originZ.load(), m_count.load() != 0)
           && m_retry.Allowed(now);
}

void CTerrainPaging::Start(std::function<void()> body)
{
    // Raised before the thread exists, so the next decision sees the run
    // whatever the scheduler does with the new thread.
    m_count.fetch_add(1);
    if (m_runs == Runs::AtOnce) {
        body();
        m_count.fetch_sub(1);
        return;
    }
    Join();
    m_thread = std::thread([this, body = std::move(body)]() {
        LowerThreadPriority(); // frames come first: a run takes what the render thread leaves
        body();
        m_count.fetch_sub(1);
    });
}

bool CTerrainPaging::Run(float x, float z, bool textured)
{
    const std::uint32_t t0 = TickCount();
    if (m_pager == nullptr || m_cancelled.load())
        return false;
    CTerrainPager::Page page = m_pager->BuildAround(
        x, z, textured, m_runs == Runs::OnThread ? CTerrainPager::Copies::Awaited : CTerrainPager::Copies::GoOn);
    // Past the far edge the window holds nothing to fly; a read that failed
    // is tried again later; a cancelled run leaves the flight as it is.
    if (!page.landscape || page.width < 2 || page.height < 2 || m_cancelled.load()) {
        if (page.landscape)
            page.landscape->Destroy();
        if (page.status != 0 && !m_cancelled.load()) {
            const std::uint32_t now = TickCount();
            m_retry.Failed(now);
            std::fprintf(stderr,
                         "vantapeak: no se pudo leer la ventana del terreno en (%d, %d); nuevo intento en %u s\n",
                         static_cast<int>(page.x0), static_cast<int>(page.z0),
                         static_cast<unsigned>((m_retry.WaitLeftMs(now) + 999) / 1000));
        }
        return false;
    }
    m_retry.Succeeded();
    std::unique_ptr<CLandscape> landscape = std::move(page.landscape);
    CLandscape* old = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_landscape != nullptr) {
            landscape->m_minError = m_landscape->m_minError;
            landscape->m_maxRenderTime = m_landscape->m_maxRenderTime;
        }
        old = m_landscape;
        m_originX = static_cast<float>(page.x0);
        m_originZ = static_cast<float>(page.z0);
        m_landscape = landscape.release();
    }
    // Out of the render thread's reach now: destroyed outside the lock, so
    // that the swap holds frames up only briefly.
    Dispose(old);
    m_lastRunMs = TickCount() - t0;
    return true;
}

void CTerrainPaging::Cancel() { m_cancelled = true; }

void CTerrainPaging::Join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void CTerrainPaging::DestroyLandscape()
{
    CLandscape* old = nullptr;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        old = m_landscape;
        m_landscape = nullptr;
    }
    Dispose(old);
}
