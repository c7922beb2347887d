#pragma once
// A landscape over one page window of the terrain: where a paging run puts
// the window, the cut of its heights, the landscape built and initialised
// over them with its page texture, and where the camera starts over it.
// The start command, every paging run, the snapshot tool and the benchmarks
// build their landscapes here.
//
// Threads: everything here may run on any thread (the start command's or a
// paging thread); the terrain and the colour raster are only read. The device
// calls made are the thread-free ones (buffer and texture creation).
#include <cstdint>
#include <memory>

#include "render/D3DXMath.h"

class CBitmapEx;
class CLandscape;
class ITerrainSource;
class IDevice;
class ITexture;

class CPageBuilder {
public:
    // The origin of the window a paging run cuts around a camera at world
    // (x, z): the camera less half the window, raised to 0, truncated.
    static void PageOrigin(float x, float z, std::int32_t width, std::int32_t height, std::int32_t* x0,
                           std::int32_t* z0);

    // Whether a paging run for a camera at world (x, z), with the current
    // window at (currentX0, currentZ0), would be of use. It is not when the
    // window would be cut at the far edge of the heightmap (mapWidth x
    // mapHeight) and would either hold no landscape (fewer than 2 x 2
    // samples) or be the current window again: a camera out past the far
    // edge then keeps the current landscape instead of starting run after
    // run. Every other run is of use, the origin side included.
    static bool PagingUseful(float x, float z, std::int32_t width, std::int32_t height, std::int32_t mapWidth,
                             std::int32_t mapHeight, float currentX0, float currentZ0);

    // Cuts the width x height window at (x0, z0) from the terrain source
    // (ReadWindow); *width and *height shrink to what the terrain holds past
    // (x0, z0). 0 with the samples in *window (null when nothing is left),
    // or -1 when the source cannot give them (no heightmap, a failed read).
    static int CutWindow(ITerrainSource& source, std::int32_t x0, std::int32_t z0, std::int32_t* width,
                         std::int32_t* height, std::unique_ptr<std::int32_t[]>* window);

    // Whether a camera at world (x, z) is within `margin` of an edge of the
    // width x height window at (originX, originZ).
    static bool NearEdge(float x, float z, float originX, float originZ, std::int32_t width, std::int32_t height,
                         std::int32_t margin);

    // A new landscape over `window` (width x height samples, world origin
    // originX/Y/Z, heightScale world units per sample value: the terrain
    // model's HeightScale) drawing on `device` with `texture`, which it then
    // owns (null: no page texture), after SetHeightWindow and Initialise.
    // *status, when given, receives Initialise's result: a landscape whose
    // buffers could not be made draws nothing. The ROAM parameters keep their
    // defaults; the owner sets them.
    static std::unique_ptr<CLandscape> BuildLandscape(IDevice* device, float originX, float originY, float originZ,
                                                      float heightScale, const std::int32_t* window, std::int32_t width,
                                                      std::int32_t height, ITexture* texture,
                                                      int* status = nullptr);

    // The page texture cut from `colours` at (x0, z0) (none when `colours` is
    // null: the wireframe display) and, under the enhanced look, the light
    // map of the window's heights beside it, then BuildLandscape at that
    // origin.
    static std::unique_ptr<CLandscape> BuildPage(IDevice* device, const CBitmapEx* colours, std::int32_t x0,
                                                 std::int32_t z0, float originY, float heightScale,
                                                 const std::int32_t* window,
                                                 std::int32_t width, std::int32_t height, int* status = nullptr);

    // Where the camera starts: over the middle sample of the landscape's
    // window (width x height as built), 200 units above its ground; a
    // landscape without samples counts as level 0.
    static D3DXVECTOR3 StartPosition(const CLandscape& landscape, std::int32_t width, std::int32_t height);
};
