#pragma once
// Geomorphing of the enhanced look: a vertex that a split adds is drawn
// moving from where the surface was (the middle of the edge it splits) to
// its own height over kMilliseconds, instead of jumping there in one frame;
// a vertex that a merge removes stays drawn as long, sinking to the middle
// of the edge (CLandscape::MergedLevel). The split and merge rules never see
// it: only what is drawn changes.
#include <cstdint>

class CGeomorph {
public:
    static constexpr std::uint32_t kMilliseconds = 300;
    // A morph spans at least this many frames: the landscape's morph clock
    // advances by at most kMilliseconds / kMinFrames per frame, so slow
    // frames slow the morphs down instead of making them jump.
    static constexpr std::uint32_t kMinFrames = 8;

    // The drawn level of a vertex whose morph from level `from` to level
    // `to` started at tick `start`, at tick `now` (ticks in milliseconds,
    // compared by unsigned difference): `from` at the start, moving at an
    // even pace, `to` from kMilliseconds on.
    static float Height(float from, float to, std::uint32_t start, std::uint32_t now)
    {
        const std::uint32_t elapsed = now - start;
        if (elapsed >= kMilliseconds)
            return to;
        return from + (to - from) * (static_cast<float>(elapsed) / static_cast<float>(kMilliseconds));
    }
};
