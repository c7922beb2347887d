#pragma once
// Paging over a terrain source, written once for the program's view and the
// headless flight: the page window and margin of the terrain, the one
// decision whether a paging run starts, and the run's work (the window cut
// around the camera, its colours, the landscape built over it). Paging's
// owner (CTerrainPaging) keeps the current landscape, runs the work on its
// paging thread or at once, and swaps the new landscape in.
//
// The window is the specified half of the heightmap for the classic folder
// (4096 x 4096, margin 1024 for 8193 x 8193); a streamed terrain's is at
// most kMaxStreamedWindow a side (half the terrain when that is smaller), so
// that a terrain of any size pages like the 8193 one. The margin is a
// quarter of the window.
//
// Threads: the decision on the render (or flying) thread; BuildFirst and
// BuildAround on the thread that builds (start command or paging thread),
// one at a time. The source does all the reading.
#include <cstdint>
#include <memory>

#include "flight/PageTexture.h"
#include "render/D3DXMath.h"

class CLandscape;
class CWindowPainter;
class IDevice;
class ITerrainSource;

class CTerrainPager {
public:
    static constexpr std::int32_t kMaxStreamedWindow = 4096;

    // A landscape built over a window, with where its window lies.
    struct Page {
        // Null when nothing was left to cut or the read failed. A window
        // narrower than 2 samples still gets one (it draws nothing); paging
        // runs keep the current landscape instead.
        std::unique_ptr<CLandscape> landscape;
        std::int32_t x0 = 0;
        std::int32_t z0 = 0;
        std::int32_t width = 0;  // as cut (narrower at the far edge)
        std::int32_t height = 0;
        int status = 0;          // Initialise's result; -1 also when the read failed
    };

    // `painter` (may be null) paints windows the source has no colours for.
    // None of them is owned.
    CTerrainPager(IDevice* device, ITerrainSource& source, CWindowPainter* painter);

    // The page window and margin of `source`.
    static PageWindow WindowOf(const ITerrainSource& source);
    const PageWindow& Window() const { return m_window; }
    ITerrainSource& Source() { return m_source; }

    // Whether a paging run starts now for a camera at world (x, z), the
    // current window at (originX, originZ), `running` telling whether a run
    // is in progress: none while one runs, none while the camera is within
    // the margin of both origin sides, else when the camera is within the
    // margin of an edge (CPageBuilder::NearEdge) and the run is of use
    // (CPageBuilder::PagingUseful).
    bool PagingWanted(float x, float z, float originX, float originZ, bool running) const;

    // What a build does once it has made a texture: waits (a little while,
    // at most) for the render thread to copy it to the driver, so that its
    // system-memory copy is gone before the next big buffer is made; only a
    // build on a paging thread while frames are drawn can. Builds on the
    // drawing thread, or before frames are drawn, go straight on.
    enum class Copies { GoOn, Awaited };

    // The first landscape, over the window at the terrain's origin.
    Page BuildFirst(bool textured) const;
    // A paging run's landscape, over the window around a camera at (x, z)
    // (CPageBuilder::PageOrigin).
    Page BuildAround(float x, float z, bool textured, Copies copies = Copies::GoOn) const;
    // The landscape over the window at (x0, z0).
    Page BuildAt(std::int32_t x0, std::int32_t z0, bool textured, Copies copies = Copies::GoOn) const;

    // Where the camera starts over the first landscape (width x height as
    // built), and the pitch (radians,
    // positive looks down) it starts with: the specified start (200 units
    // above the middle, level) for the classic folder; for a streamed
    // terrain FramedStart.
    void StartView(const CLandscape& landscape, std::int32_t width, std::int32_t height, D3DXVECTOR3* position,
                   float* pitch) const;

    // Over the middle of a width x height window of world heights from
    // `lowest` to `highest` (`middle` under the middle sample): high enough
    // to see the window's relief and a fair part of the window, above its
    // highest ground, pitched so that the middle of the view meets the
    // ground a quarter of the window ahead. Returns the height above the
    // middle ground and sets *pitch.
    static float FramedStart(std::int32_t width, std::int32_t height, float lowest, float middle, float highest,
                             float* pitch);

private:
    IDevice* m_device;
    ITerrainSource& m_source;
    CWindowPainter* m_painter;
    PageWindow m_window;
};
