#pragma once
// A flight rendered without a window, in simulated time: every frame moves
// the flight on by exactly 1/fps seconds, however long the frame took to
// draw, so that a recording is smooth at any render speed. It starts as the
// start command does (the window at the terrain's origin, the camera over
// its middle, level) and pages as the program does (CTerrainPaging),
// except that a new landscape is built at once, on the flying thread, when
// the camera nears the window's edge. Steering is plugged in: a function
// gives the yaw of every step.
//
// Threads: one thread, the device's drawing thread, does everything.
#include <cstdint>
#include <functional>

#include "flight/CFlightFrame.h"
#include "flight/CTerrainPaging.h"
#include "render/CCamera.h"

class CLandscape;
class CTerrainPager;
class IDevice;

class CHeadlessFlight {
public:
    // The yaw in radians (positive turns right) to add in the step that
    // begins `seconds` of simulated time into the flight, for a camera seen
    // as `camera` and a step of `stepSeconds`.
    using Steering = std::function<float(const CameraSnapshot& camera, double seconds, double stepSeconds)>;
    // Called after every frame has been presented, with its index from 0;
    // returning non-zero ends the flight there.
    using FrameDone = std::function<int(int frame)>;

    struct Settings {
        int frames = 1;
        int fps = 30;                // frames per simulated second
        float speedKmh = 0.0f;       // forward speed, km/h (world units: metres)
        float clearance = 0.0f;      // terrain following's clearance; 0: off
        float minError = 0.05f;      // the landscapes' ROAM parameters
        std::uint32_t maxRenderTime = 200;
        bool overlay = true;         // the statistics lines on every frame
        Steering steering;           // empty: straight on
    };

    // Flies over the terrain of `pager` with page textures (`textured`;
    // false: the wireframe display's landscapes, without textures), drawing
    // on the pager's device through `camera`, whose device and projection
    // the caller has set. None of them is owned.
    CHeadlessFlight(IDevice* device, CTerrainPager& pager, bool textured, CCamera& camera);
    ~CHeadlessFlight();
    CHeadlessFlight(const CHeadlessFlight&) = delete;
    CHeadlessFlight& operator=(const CHeadlessFlight&) = delete;

    // Builds the first landscape and places the camera; then draws
    // settings.frames frames, each followed by `frameDone` and one step.
    // 0; -1 when the terrain holds no landscape, the first landscape cannot
    // be made, or `frameDone` asked to stop.
    int Fly(const Settings& settings, const FrameDone& frameDone);

    // Paging runs made so far (the first landscape not counted).
    int PagingRuns() const { return m_pagingRuns; }
    // The landscape flown over now, or null; for the flying thread.
    const CLandscape* Landscape() const { return m_paging.Landscape(); }
    // The ground height under the eye at the last frame drawn.
    float Ground() const { return m_ground; }

private:
    int Begin(const Settings& settings);
    // Builds a new landscape around the camera when it is within the margin
    // of the window's edge and a run is of use, as the program's paging does.
    void PageIfNeeded();
    void Step(const Settings& settings, double seconds, double stepSeconds);

    IDevice* m_device;
    CTerrainPager& m_pager;
    bool m_textured;
    CCamera& m_camera;
    CTerrainPaging m_paging{CTerrainPaging::Runs::AtOnce};
    int m_pagingRuns = 0;
    double m_pagingSeconds = -1.0;     // simulated time of the last run; < 0: none
    float m_ground = 0.0f;
};
