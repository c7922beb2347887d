#pragma once
#include <cstdint>

// The classic portable pseudo-random sequence (the C standard's example
// `rand`): values 0..32767, the same sequence for a seed on every machine and
// with every C library, so a seeded terrain is byte-identical everywhere.
// One object per run; not shared between threads.
class CRandom {
public:
    static constexpr std::int32_t kMax = 32767;

    explicit CRandom(std::uint32_t seed = 1) : m_next(seed) {}

    void Seed(std::uint32_t seed) { m_next = seed; }

    // Next value in 0..kMax.
    std::int32_t Next()
    {
        m_next = m_next * 1103515245u + 12345u;
        return static_cast<std::int32_t>((m_next / 65536u) % 32768u);
    }

private:
    std::uint32_t m_next;
};
