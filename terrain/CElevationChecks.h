#pragma once

// The rules a reader of elevation rasters applies before it trusts a file's
// samples and georeferencing: which raw samples are holes, which sample
// spacings are believable. Everything that turns a GDAL raster into
// terrain heights applies the same ones. Plain functions; any thread.
class CElevationChecks {
public:
    // Raw samples of this magnitude or more are no height in any unit: they
    // are the fill values of float rasters (-3.4e38, the lowest float, and
    // its kin) written without a no-data tag.
    static constexpr double kSentinelMagnitude = 1.0e30;
    // Believable distances between samples, metres: a millimetre to a
    // thousand kilometres.
    static constexpr double kMinSpacing = 1.0e-3;
    static constexpr double kMaxSpacing = 1.0e6;

    // True when `raw`, a sample as read (before the band's scale and
    // offset), is a hole: not finite, the band's no-data value when it has
    // one (compared as read into a float and exactly), or a fill value.
    static bool IsNoData(float raw, bool hasNoData, double noData);

    // True when `metres` is a believable sample spacing.
    static bool IsSaneSpacing(double metres);
};
