#pragma once
#include <cstdint>
#include <vector>

// The 16-bit heightmap of a terrain: "terrainMdt_8193x8193_16.tif" beside the
// heightmap and texture bitmaps (the name stays fixed whatever the size, as
// theirs do). A single-band, uncompressed, unsigned 16-bit GeoTIFF, row 0 the
// top row, sample (x, y) belonging to heightmap pixel (x, y).
//
// A sample is a height code 0..65535: code = level x 257 rounded, where level
// is the height on the heightmap's 0..255 scale before truncation, so the
// 8-bit file's level of a sample is floor(code / 257) up to rounding at the
// level boundaries. The GDAL metadata item VANTAPEAK_HEIGHT_SCALE holds the
// world units per code (a positive decimal): the landscape's m_heightScale
// for windows cut from this file.
//
// Reading and writing go through GDAL; its own messages are kept quiet and
// only the status is returned. Any thread may call these; GDAL is set up on
// first use.
class CHeightmap16File {
public:
    static constexpr const char* kScaleItem = "VANTAPEAK_HEIGHT_SCALE";
    static constexpr float kCodesPerLevel = 257.0f;
    // The world units per code a terrain may have. Above the maximum the
    // code range would span more than 2^20 world units (64 times the widest
    // terrain), where float positions resolve less than an eighth of a
    // unit; below the minimum the relief is nil. Every height scale the
    // viewer, the tools or an import would use is held to this range.
    static constexpr double kMinHeightScale = 1.0e-12;
    static constexpr double kMaxHeightScale = 16.0;

    // True when `heightScale` lies in kMinHeightScale..kMaxHeightScale.
    static bool IsSaneHeightScale(double heightScale);

    // The code of a level (clamped into 0..65535).
    static std::uint16_t Code(float level);

    // Writes a width x height grid of levels (row-major, row 0 on top) as
    // codes, with `heightScale` world units per code (refused unless
    // IsSaneHeightScale). `geoTransform` (six
    // GDAL coefficients) and `projection` (WKT) may be null. 0, or -1 (a
    // partial file may remain at `path`: write to a staging name).
    static int WriteLevels(const char* path, const float* levels, std::int32_t width, std::int32_t height,
        double heightScale, const double* geoTransform = nullptr, const char* projection = nullptr);

    // Reads the file at `path`: codes row-major, row 0 on top. 0, or -1 when
    // it cannot be opened, is not single-band unsigned 16-bit, lacks a sane
    // scale (IsSaneHeightScale), is not expectedWidth x expectedHeight
    // (when these are not 0; judged from the header, before any sample is
    // read or memory taken for them), or memory is short (the outputs are
    // then left as they were).
    static int Read(const char* path, std::vector<std::uint16_t>& codes, std::int32_t& width, std::int32_t& height,
        double& heightScale, std::int32_t expectedWidth = 0, std::int32_t expectedHeight = 0);
};
