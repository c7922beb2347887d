#pragma once
#include <chrono>
#include <cstdint>

// Milliseconds from a fixed start, wrapping at 2^32. Compare two readings
// only by their unsigned difference (later - earlier).
inline std::uint32_t TickCount()
{
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}
