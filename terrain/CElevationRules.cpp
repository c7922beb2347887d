#include "terrain/CElevationRules.h"

#include <cmath>
#include <strings.h>

#include <ogr_srs_api.h>

namespace {

// Metres per degree of latitude, and of longitude at the equator.
constexpr double kMetresPerDegreeLatitude = 110574.0;
constexpr double kMetresPerDegreeLongitude = 111320.0;
constexpr double kFoot = 0.3048;

} // namespace

double CElevationRules::VerticalUnit(GDALRasterBandH band)
{
    const char* unit = GDALGetRasterUnitType(band);
    if (unit != nullptr
        && (strcasecmp(unit, "ft") == 0 || strcasecmp(unit, "foot") == 0 || strcasecmp(unit, "feet") == 0
            || strcasecmp(unit, "us survey foot") == 0))
        return kFoot;
    return 1.0;
}

bool CElevationRules::Spacing(GDALDatasetH dataset, double transform[6], double* x, double* y)
{
    *x = kDefaultSpacing;
    *y = kDefaultSpacing;
    if (GDALGetGeoTransform(dataset, transform) != CE_None || transform[1] == 0.0 || transform[5] == 0.0)
        return false;
    double metresX = 1.0;
    double metresY = 1.0;
    OGRSpatialReferenceH reference = GDALGetSpatialRef(dataset);
    if (reference != nullptr && OSRIsGeographic(reference)) {
        const double latitude = transform[3] + transform[5] * GDALGetRasterYSize(dataset) / 2.0;
        metresX = kMetresPerDegreeLongitude * std::cos(latitude * M_PI / 180.0);
        metresY = kMetresPerDegreeLatitude;
    } else if (reference != nullptr && OSRIsProjected(reference)) {
        metresX = metresY = OSRGetLinearUnits(reference, nullptr);
    }
    *x = std::hypot(transform[1], transform[4]) * metresX;
    *y = std::hypot(transform[2], transform[5]) * metresY;
    return true;
}
