#include "flight/CPagingRetry.h"

#include <algorithm>

void CPagingRetry::Failed(std::uint32_t now)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const int doublings = std::min(m_failures, 5);
    const std::uint32_t delay = std::min(kMaxDelayMs, kFirstDelayMs << doublings);
    ++m_failures;
    m_retryTick = now + delay;
}

void CPagingRetry::Succeeded()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_failures = 0;
}

bool CPagingRetry::Allowed(std::uint32_t now) const { return WaitLeftMs(now) == 0; }

int CPagingRetry::Failures() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_failures;
}

std::uint32_t CPagingRetry::WaitLeftMs(std::uint32_t now) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_failures == 0)
        return 0;
    const auto left = static_cast<std::int32_t>(m_retryTick - now);
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}
