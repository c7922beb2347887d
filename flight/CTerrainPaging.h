#pragma once
// The one owner of paging, for the program's view and the headless flight:
// the current landscape and the lock that guards it, where its window lies,
// the paging run (on a paging thread of its own, or at once on the caller's
// thread), the swap of the new landscape for the current one, and the wait
// after a window that could not be read. What a run builds and when one is
// wanted are the pager's (CTerrainPager).
//
// Threads:
// - Begin, Join and DestroyLandscape: the thread that owns the flight (the
//   user-interface thread for the view, the flying thread headless), while
//   no thread that starts runs is running.
// - Wanted and Start: the thread that decides (the render or flying
//   thread), one at a time.
// - Run: inside the body given to Start.
// - Cancel, the accessors' atomics and Retry: any thread.
// - The current landscape: under Lock(); its owner may also read the
//   pointer without it on the only thread that swaps it (a run at once).
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "flight/CPagingRetry.h"
#include "flight/CTerrainPager.h"

class CLandscape;

class CTerrainPaging {
public:
    enum class Runs {
        OnThread, // each run on a paging thread of its own (the program)
        AtOnce,   // each run on the deciding thread, which waits (headless)
    };

    explicit CTerrainPaging(Runs runs);
    // Joins a run (Cancel first to shorten it) and destroys the current landscape.
    ~CTerrainPaging();
    CTerrainPaging(const CTerrainPaging&) = delete;
    CTerrainPaging& operator=(const CTerrainPaging&) = delete;

    // Runs build with `pager` (not owned; it outlives the runs) from now on,
    // and `first` (a landscape built over the window at its x0, z0) becomes
    // the current landscape with the ROAM parameters given; an earlier
    // landscape is destroyed, the wait after failures forgotten. `first`
    // must hold a landscape.
    void Begin(CTerrainPager& pager, CTerrainPager::Page first, float minError, std::uint32_t maxRenderTime);

    // Whether a run should start now for a camera at world (x, z): none
    // while one runs, after Cancel, or while the wait after a failed read
    // lasts at `now` (TickCount); else as the pager's policy says.
    bool Wanted(float x, float z, std::uint32_t now) const;
    // Starts a run: counts it in Count(), then calls `body` (which calls Run)
    // on a new paging thread, below the render thread's priority
    // (LowerThreadPriority) and waiting for its textures' copies
    // (CTerrainPager::Copies), or, at once, here. The previous run's thread
    // has ended already (its count was lowered as its last step), so
    // joining it is short.
    void Start(std::function<void()> body);
    // A run's work: builds the landscape over the window around (x, z) and
    // swaps it in under the lock with the current one's ROAM parameters,
    // destroying the old one outside the lock. A window that cannot be read
    // keeps the current landscape, is reported on stderr and holds the next
    // run back (Retry); so do an empty window and a Cancel. Returns whether
    // a new landscape went in; LastRunMs then says how long the run took.
    bool Run(float x, float z, bool textured);

    // Ends runs: none starts after this, and one in progress swaps nothing in.
    void Cancel();
    // Waits for the paging thread, if any.
    void Join();
    // Destroys the current landscape (the device must still exist).
    void DestroyLandscape();

    // The state, for owners that keep their own names for it.
    std::mutex& Lock() { return m_lock; }
    CLandscape*& Landscape() { return m_landscape; }
    CLandscape* Landscape() const { return m_landscape; }
    std::atomic<float>& OriginX() { return m_originX; }
    std::atomic<float>& OriginZ() { return m_originZ; }
    std::atomic<std::int32_t>& Count() { return m_count; }
    std::thread& Thread() { return m_thread; }
    CPagingRetry& Retry() { return m_retry; }
    std::uint32_t LastRunMs() const { return m_lastRunMs.load(); }

private:
    Runs m_runs;
    CTerrainPager* m_pager = nullptr;
    // Owned; guarded by m_lock, swapped by Run.
    CLandscape* m_landscape = nullptr;
    std::mutex m_lock;
    // World position of column 0 / row 0 of the current window; written
    // with the swap, read without the lock.
    std::atomic<float> m_originX{0.0f};
    std::atomic<float> m_originZ{0.0f};
    // Runs in progress (0 or 1).
    std::atomic<std::int32_t> m_count{0};
    std::atomic<bool> m_cancelled{false};
    std::atomic<std::uint32_t> m_lastRunMs{0};
    std::thread m_thread;
    CPagingRetry m_retry;
};
