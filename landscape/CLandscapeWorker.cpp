#include "landscape/CLandscapeWorker.h"

#include <system_error>

bool CLandscapeWorker::Start()
{
    if (m_thread.joinable()) {
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = false;
        m_fn = nullptr;
        m_helperBusy = false;
    }
    try {
        m_thread = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CLandscapeWorker::Stop()
{
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void CLandscapeWorker::Drain(ChunkFn fn, void* context, std::int32_t chunks)
{
    for (;;) {
        const std::int32_t c = m_next.fetch_add(1, std::memory_order_relaxed);
        if (c >= chunks) {
            return;
        }
        fn(context, c);
    }
}

void CLandscapeWorker::Run(std::int32_t chunks, ChunkFn fn, void* context)
{
    if (chunks <= 0) {
        return;
    }
    if (chunks == 1 || !m_thread.joinable()) {
        for (std::int32_t c = 0; c < chunks; ++c) {
            fn(context, c);
        }
        return;
    }
    m_next.store(0, std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fn = fn;
        m_context = context;
        m_chunks = chunks;
        ++m_task;
    }
    m_wake.notify_one();
    Drain(fn, context, chunks);
    // Close the task so that a helper waking late does not join it, then
    // wait for a helper that did join to finish its last chunk.
    std::unique_lock<std::mutex> lock(m_mutex);
    m_fn = nullptr;
    m_idle.wait(lock, [this] { return !m_helperBusy; });
}

void CLandscapeWorker::Loop()
{
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stop || (m_fn && m_task != seen); });
        if (m_stop) {
            return;
        }
        seen = m_task;
        const ChunkFn fn = m_fn;
        void* const context = m_context;
        const std::int32_t chunks = m_chunks;
        m_helperBusy = true;
        lock.unlock();
        Drain(fn, context, chunks);
        lock.lock();
        m_helperBusy = false;
        m_idle.notify_one();
    }
}
