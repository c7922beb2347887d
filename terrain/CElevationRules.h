#pragma once
// How vantaPeak reads elevation rasters through GDAL, shared by the import
// (CElevationImporter) and the streamed terrain (CGdalTerrainSource): the
// vertical unit of a band and the sample spacing from the georeferencing.
//
// Any thread; the dataset and band are only read.
#include <gdal.h>

class CElevationRules {
public:
    // Metres per sample of a raster without georeferencing.
    static constexpr double kDefaultSpacing = 10.0;

    // Metres per unit of the band's heights (feet when its unit says so).
    static double VerticalUnit(GDALRasterBandH band);

    // Metres per sample across (*x) and down (*y) the raster: projected units
    // converted to metres, degrees converted at the raster's middle latitude.
    // Without a usable geotransform both are kDefaultSpacing. Returns whether
    // the raster is georeferenced (then `transform` holds its coefficients,
    // and the caller judges the spacing: CElevationChecks::IsSaneSpacing).
    static bool Spacing(GDALDatasetH dataset, double transform[6], double* x, double* y);
};
