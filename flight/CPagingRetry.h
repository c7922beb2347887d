#pragma once
// When a paging run could not read its window (a server that stopped,
// failed or stalled), the next run waits: kFirstDelayMs, then twice as long
// after each failure in a row, at most kMaxDelayMs. A run that succeeds
// ends the waiting. Ticks are milliseconds (TickCount), compared with
// wrap-around.
//
// Threads: any (the paging thread reports, the render thread asks).
#include <cstdint>
#include <mutex>

class CPagingRetry {
public:
    static constexpr std::uint32_t kFirstDelayMs = 1000;
    static constexpr std::uint32_t kMaxDelayMs = 30000;

    void Failed(std::uint32_t now);
    void Succeeded();
    // Whether a run may start at `now`.
    bool Allowed(std::uint32_t now) const;
    // Failures in a row so far (0 after a success).
    int Failures() const;
    // Milliseconds until a run may start (0 when it may now).
    std::uint32_t WaitLeftMs(std::uint32_t now) const;

private:
    mutable std::mutex m_lock;
    int m_failures = 0;
    std::uint32_t m_retryTick = 0;
};
