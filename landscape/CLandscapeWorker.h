#pragma once
// A helper thread that shares a landscape's embarrassingly parallel passes
// (reprioritisation, mesh output) with the thread that calls Run.
//
// Work is cut into numbered chunks that both threads take from a shared
// counter, so a helper that the scheduler keeps off the CPU costs nothing:
// the calling thread then simply does every chunk itself and waits only for
// a chunk the helper has already started.
//
// Threads: Start, Run and Stop are called by one owning thread at a time
// (the landscape's Update runs under its owner's lock). Each landscape has
// its own worker, so two landscapes may run at once on two threads.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class CLandscapeWorker {
public:
    // Called with a chunk number in [0, chunks); must touch only what that
    // chunk owns.
    using ChunkFn = void (*)(void* context, std::int32_t chunk);

    CLandscapeWorker() = default;
    ~CLandscapeWorker() { Stop(); }
    CLandscapeWorker(const CLandscapeWorker&) = delete;
    CLandscapeWorker& operator=(const CLandscapeWorker&) = delete;

    // Starts the helper thread unless it runs; false when it cannot be
    // started (Run then does all work on the calling thread).
    bool Start();
    // Joins the helper thread. Safe to call more than once.
    void Stop();
    bool Running() const { return m_thread.joinable(); }

    // Runs fn(context, c) for every c in [0, chunks) and returns when all
    // have finished; everything the chunks wrote is then visible to the
    // caller.
    void Run(std::int32_t chunks, ChunkFn fn, void* context);

    // Runs `body(chunk)` through Run.
    template <class Body>
    void ForEach(std::int32_t chunks, Body& body)
    {
        Run(chunks, [](void* c, std::int32_t chunk) { (*static_cast<Body*>(c))(chunk); }, &body);
    }

private:
    void Loop();
    // Takes chunks until none is left.
    void Drain(ChunkFn fn, void* context, std::int32_t chunks);

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake; // the helper waits here for a task
    std::condition_variable m_idle; // the caller waits here for the helper
    // Guarded by m_mutex:
    ChunkFn m_fn = nullptr; // the open task, null when none may be joined
    void* m_context = nullptr;
    std::int32_t m_chunks = 0;
    std::uint64_t m_task = 0;   // counts tasks, so the helper joins each once
    bool m_helperBusy = false;  // the helper is inside the open task
    bool m_stop = false;
    // Next chunk to take; shared without the lock.
    std::atomic<std::int32_t> m_next{0};
};
