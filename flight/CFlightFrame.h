#pragma once
// One frame of the flight, as the program draws it: clear, the caller's
// paging decision, the scene with the axis lines and the landscape (updated
// and drawn under the landscape lock), the statistics lines, present. The
// program's render thread, the snapshot tool and the render benchmark all
// draw their frames here, so a snapshot is the program's picture.
//
// Threads: Draw runs on the render thread (the device's drawing thread).
// The camera is applied by the caller before it, so the view transform the
// landscape reads back is this frame's.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "render/CCamera.h"

class CLandscape;
class IDevice;

// What the statistics lines show besides the landscape's own figures.
struct FrameStatus {
    float speedKmh = 0.0f;              // "Velocidad"
    bool pagingNotice = false;          // the paging notice line
    bool pagingTime = false;            // the paging time line ...
    std::uint32_t pagingDurationMs = 0; // ... with this duration
    std::uint32_t fps = 0;              // "Frames por segundo"
    // A served terrain: a paging run waits for data (shown in the paging
    // notice's place), and a notice of the server's trouble (Windows-1252;
    // empty: none), on the line below the frame rate.
    bool downloading = false;
    std::string serverNotice;
};

// The landscape's figures of the frame, copied under the lock.
struct FrameFigures {
    std::int32_t roamTime = 0;  // milliseconds
    std::int32_t drawTime = 0;  // milliseconds
    std::int32_t triangles = 0; // drawn this frame
};

// One statistics line: its top in pixels from the top of the render area and
// its text (Windows-1252, as the overlay draws it).
struct OverlayLine {
    int top = 0;
    std::string text;
};

class CFlightFrame {
public:
    // Called after the clear and before the scene begins (the paging
    // decision); may be empty.
    using BeforeScene = std::function<void()>;
    // Called once the landscape has drawn, for the status the lines show.
    using StatusSource = std::function<FrameStatus()>;

    // Draws one frame of `*landscape` (read under `lock`; null draws no
    // landscape) seen by `camera`, with the statistics lines when `overlay`.
    // Returns the landscape's figures; *lines, when given, receives the
    // statistics lines of the frame whether drawn or not.
    static FrameFigures Draw(IDevice* device, const CameraSnapshot& camera, std::mutex& lock,
                             CLandscape* const& landscape, const BeforeScene& beforeScene,
                             const StatusSource& status, bool overlay, std::vector<OverlayLine>* lines = nullptr);

    // The statistics lines for a frame's figures, the eye and the status, in
    // drawing order.
    static std::vector<OverlayLine> StatisticsLines(const FrameFigures& figures, const D3DXVECTOR3& eye,
                                                    const FrameStatus& status);
};
