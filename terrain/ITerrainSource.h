#pragma once
// What a flight needs from a terrain: its size, its sample spacing, the world
// units per window sample, and the heights (and, where the terrain has any,
// the colours) of any window of it. The classic folder (CFolderTerrainSource)
// and any raster GDAL opens (CGdalTerrainSource) are terrain sources.
//
// Windows keep CTerrainModel::ExtractWindow's contract: sample (i, k) of a
// width x height window at (x0, z0) is terrain sample (x0 + i, z0 + k), row
// 0 on top, coordinates clamped into the terrain (a negative origin repeats
// the first column or row); width and height shrink in place where the
// window would pass the far edge. A sample is a full-precision height code
// (a grey level 0..255 for a classic folder without 16-bit heights, a code
// 0..65535 otherwise); code x HeightScale() is the world height.
//
// Threads: the Read operations may be called from any thread (a source
// serialises its own reads) and may wait on the disk or the network, so the
// render thread never calls them: the start command and the paging thread
// do. Size, scale and spacing are fixed once the source is open.
#include <cstdint>
#include <vector>

class CBitmapEx;

class ITerrainSource {
public:
    virtual ~ITerrainSource() = default;

    virtual std::int32_t Width() const = 0;
    virtual std::int32_t Height() const = 0;
    // World units per window sample value.
    virtual float HeightScale() const = 0;
    // Metres between neighbouring samples (for the extent shown to the user).
    virtual double Spacing() const = 0;
    // True for a terrain read from its file window by window: its page
    // window is bounded (CPageBuilder::SourcePageWindow) and its camera
    // starts framed on the first window's relief.
    virtual bool Streamed() const = 0;

    // The lowest and highest sample value of the terrain (approximate for a
    // large streamed raster: from its overviews).
    virtual void CodeRange(std::int32_t* low, std::int32_t* high) const = 0;

    // Fills `window` (room for the requested width x height samples) as
    // described above. 0, or -1 when the samples cannot be read (nothing
    // usable is in the window then).
    virtual int ReadWindow(std::int32_t x0, std::int32_t z0, std::int32_t* width, std::int32_t* height,
                           std::int32_t* window) = 0;

    // The colour raster of the whole terrain when the source holds one in
    // memory (the classic texture), else null.
    virtual const CBitmapEx* ColourRaster() const = 0;

    // The colours of the width x height window at (x0, z0) (sizes as
    // ReadWindow left them) into `colours`, one pixel per sample. 0, or -1
    // when the source has no colours for it (the caller paints the window).
    virtual int ReadColours(std::int32_t x0, std::int32_t z0, std::int32_t width, std::int32_t height,
                            CBitmapEx* colours) = 0;
};
