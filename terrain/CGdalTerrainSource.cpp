#include "terrain/CGdalTerrainSource.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include <sys/stat.h>

#include <cpl_conv.h>
#include <gdal_utils.h>

#include "terrain/CBitmapEx.h"
#include "terrain/CElevationChecks.h"
#include "terrain/CElevationGrid.h"
#include "terrain/CElevationRules.h"
#include "terrain/CGdal.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTileCache.h"
#include "terrain/StringFormat.h"

namespace {

constexpr double kMaxCode = 65535.0;

// Names GDAL resolves itself (URLs, /vsi... paths) are not checked on disk.
bool IsVirtual(const std::string& name)
{
    return name.rfind("/vsi", 0) == 0 || name.find("://") != std::string::npos;
}

// Checks that `name` can be opened as a raster: "" or the Spanish reason.
std::string CheckFile(const std::string& name)
{
    if (!IsVirtual(name)) {
        struct stat info {};
        if (::stat(name.c_str(), &info) != 0)
            return Printf("No existe el fichero %s", name.c_str());
        if (!S_ISREG(info.st_mode))
            return Printf("No se pudo leer el fichero %s: no es un fichero", name.c_str());
    }
    return "";
}

} // namespace

CGdalTerrainSource::CGdalTerrainSource() = default;

CGdalTerrainSource::~CGdalTerrainSource()
{
    if (m_imagery != nullptr)
        GDALClose(m_imagery);
    if (m_dataset != nullptr)
        GDALClose(m_dataset);
}

int CGdalTerrainSource::Fail(const std::string& message)
{
    m_message = message;
    return -1;
}

int CGdalTerrainSource::Open(const std::vector<std::string>& files, double verticalScale)
{
    CGdal::Initialise();
    CGdal::CQuiet quiet;
    if (m_dataset != nullptr)
        return Fail("El terreno ya está abierto");
    if (files.empty())
        return Fail("No se ha indicado ningún fichero de terreno");
    if (!(verticalScale > 0.0) || !std::isfinite(verticalScale))
        return Fail(Printf("Escala vertical no válida: %g (debe ser mayor que 0)", verticalScale));
    for (const std::string& file : files) {
        const std::string reason = CheckFile(file);
        if (!reason.empty())
            return Fail(reason);
    }
    const std::string& name = files.front();
    if (files.size() == 1) {
        m_dataset = GDALOpenEx(CTileCache::CachedName(name).c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
        if (CTileCache::IsRemote(name)) {
            m_servedName = CTileCache::CachedName(name);
            m_servedVersion = CTileCache::Version(m_servedName);
        }
        if (m_dataset == nullptr && CTileCache::IsRemote(name))
            return Fail(Printf("No se pudo leer el terreno servido en %s: el servidor no responde, no lo sirve o "
                               "no es un formato admitido",
                               name.c_str()));
        if (m_dataset == nullptr)
            return Fail(Printf("No se pudo leer el fichero %s: formato no admitido o fichero dañado", name.c_str()));
    } else {
        // Every tile is checked on its own first, so that the message names
        // the one at fault.
        std::vector<std::string> opened;
        for (const std::string& file : files)
            opened.push_back(CTileCache::CachedName(file));
        std::vector<const char*> names;
        for (std::size_t i = 0; i < files.size(); ++i) {
            CGdal::CDataset tile(GDALOpenEx(opened[i].c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
            if (!tile)
                return Fail(Printf("No se pudo leer el fichero %s: formato no admitido o fichero dañado", files[i].c_str()));
            names.push_back(opened[i].c_str());
        }
        int usageError = FALSE;
        m_dataset = GDALBuildVRT("", static_cast<int>(names.size()), nullptr, names.data(), nullptr, &usageError);
        if (m_dataset == nullptr)
            return Fail(Printf("No se pudo formar un mosaico con los %zu ficheros de %s: se necesitan teselas "
                               "georreferenciadas en el mismo sistema",
                               files.size(), name.c_str()));
    }
    if (GDALGetRasterCount(m_dataset) < 1)
        return Fail(Printf("El fichero %s no contiene alturas", name.c_str()));
    m_band = GDALGetRasterBand(m_dataset, 1);
    const GDALDataType type = GDALGetRasterDataType(m_band);
    if (GDALDataTypeIsComplex(type))
        return Fail(Printf("El fichero %s tiene un tipo de datos no admitido", name.c_str()));
    m_width = GDALGetRasterXSize(m_dataset);
    m_height = GDALGetRasterYSize(m_dataset);
    if (m_width < 2 || m_height < 2)
        return Fail(Printf("El fichero %s tiene un tamaño no admitido: %d x %d", name.c_str(),
                           static_cast<int>(m_width), static_cast<int>(m_height)));
    int hasNoData = 0;
    m_noData = GDALGetRasterNoDataValue(m_band, &hasNoData);
    m_hasNoData = hasNoData != 0;
    int hasScale = 0;
    const double scale = GDALGetRasterScale(m_band, &hasScale);
    const double metresPerUnit = (hasScale && scale != 0.0 ? std::fabs(scale) : 1.0)
                                 * CElevationRules::VerticalUnit(m_band);

    // The range from the overviews (or a sampling of the blocks) when the
    // raster is large: a code outside it is clamped.
    double range[2] = {0.0, 0.0};
    const bool approximate = static_cast<std::int64_t>(m_width) * m_height > (std::int64_t(1) << 24);
    if (GDALComputeRasterMinMax(m_band, approximate ? TRUE : FALSE, range) != CE_None || !std::isfinite(range[0])
        || !std::isfinite(range[1]) || std::fabs(range[0]) >= CElevationChecks::kSentinelMagnitude
        || std::fabs(range[1]) >= CElevationChecks::kSentinelMagnitude) {
        // Fill values written without a no-data tag spoil GDAL's range: the
        // range of the heights themselves, from a reduced read.
        if (SampledRange(range) != 0)
            return Fail(Printf("El fichero %s no contiene ninguna altura válida", name.c_str()));
    }
    m_low = 0.0;
    m_codesPerUnit = 1.0;
    if (type != GDT_Byte && type != GDT_UInt16) {
        m_low = std::floor(range[0]);
        if (type != GDT_Int16 && range[1] > range[0])
            m_codesPerUnit = kMaxCode / (range[1] - range[0]);
    }
    m_integerCodes = (type == GDT_Byte || type == GDT_UInt16 || type == GDT_Int16) && m_codesPerUnit == 1.0;
    m_lowCode = static_cast<std::int32_t>(std::clamp(std::round((range[0] - m_low) * m_codesPerUnit), 0.0, kMaxCode));
    m_highCode = static_cast<std::int32_t>(std::clamp(std::round((range[1] - m_low) * m_codesPerUnit), 0.0, kMaxCode));

    double spacingX = 0.0;
    double spacingY = 0.0;
    m_georeferenced = CElevationRules::Spacing(m_dataset, m_transform, &spacingX, &spacingY);
    if (!CElevationChecks::IsSaneSpacing(spacingX) || !CElevationChecks::IsSaneSpacing(spacingY))
        return Fail(Printf("El fichero %s tiene un tamaño de pixel no admitido: %g x %g metros (debe estar entre %g "
                           "y %g)",
                           name.c_str(), spacingX, spacingY, CElevationChecks::kMinSpacing,
                           CElevationChecks::kMaxSpacing));
    m_spacing = (spacingX + spacingY) / 2.0;
    const char* own = GDALGetMetadataItem(m_dataset, CHeightmap16File::kScaleItem, nullptr);
    const double ownScale = own != nullptr ? std::strtod(own, nullptr) : 0.0;
    const double worldPerCode = ownScale > 0.0 && std::isfinite(ownScale)
                                    ? ownScale
                                    : metresPerUnit / m_codesPerUnit / m_spacing;
    m_heightScale = static_cast<float>(worldPerCode * verticalScale);
    if (!(m_heightScale > 0.0f) || !std::isfinite(m_heightScale))
        return Fail(Printf("El fichero %s tiene una escala de alturas no admitida", name.c_str()));
    m_message.clear();
    return 0;
}

int CGdalTerrainSource::SampledRange(double range[2])
{
    constexpr std::int32_t kSide = 1024;
    const std::int32_t w = std::min(m_width, kSide);
    const std::int32_t h = std::min(m_height, kSide);
    std::vector<float> samples(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    if (GDALRasterIO(m_band, GF_Read, 0, 0, m_width, m_height, samples.data(), w, h, GDT_Float32, 0, 0) != CE_None)
        return -1;
    bool any = false;
    for (const float v : samples) {
        if (CElevationChecks::IsNoData(v, m_hasNoData, m_noData))
            continue;
        range[0] = any ? std::min<double>(range[0], v) : v;
        range[1] = any ? std::max<double>(range[1], v) : v;
        any = true;
    }
    return any ? 0 : -1;
}

int CGdalTerrainSource::OpenImagery(const std::string& file)
{
    CGdal::Initialise();
    CGdal::CQuiet quiet;
    const std::string reason = CheckFile(file);
    if (!reason.empty())
        return Fail(reason);
    GDALDatasetH imagery = GDALOpenEx(CTileCache::CachedName(file).c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (imagery == nullptr)
        return Fail(Printf("No se pudo leer el fichero %s: formato no admitido o fichero dañado", file.c_str()));
    if (GDALGetRasterCount(imagery) < 1) {
        GDALClose(imagery);
        return Fail(Printf("El fichero %s no contiene colores", file.c_str()));
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_imagery != nullptr)
        GDALClose(m_imagery);
    m_imagery = imagery;
    return 0;
}

void CGdalTerrainSource::ReopenIfFailed()
{
    if (!m_readFailed)
        return;
    m_readFailed = false;
    // A changed file is not read on: its heights would not match the
    // windows already built.
    if (m_servedVersion.empty() || CTileCache::Version(m_servedName) != m_servedVersion)
        return;
    GDALDatasetH reopened = GDALOpenEx(m_servedName.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    if (reopened == nullptr || GDALGetRasterXSize(reopened) != m_width || GDALGetRasterYSize(reopened) != m_height
        || GDALGetRasterCount(reopened) < 1) {
        if (reopened != nullptr)
            GDALClose(reopened);
        return;
    }
    GDALClose(m_dataset);
    m_dataset = reopened;
    m_band = GDALGetRasterBand(m_dataset, 1);
}

int CGdalTerrainSource::ReadCodes(std::int32_t x0, std::int32_t z0, std::int32_t width, std::int32_t height,
                                  std::int32_t bufferWidth, std::int32_t bufferHeight, std::int32_t* codes,
                                  GDALRasterIOExtraArg* extra)
{
    CGdal::CQuiet quiet;
    ReopenIfFailed();
    // A failed read of a served file has the file opened afresh next time.
    m_readFailed = !m_servedName.empty();
    const std::size_t count = static_cast<std::size_t>(bufferWidth) * static_cast<std::size_t>(bufferHeight);
    if (m_integerCodes) {
        // Integer samples of up to 16 bits are their codes less the lowest:
        // read straight into the window unless the window has holes.
        if (GDALRasterIOEx(m_band, GF_Read, x0, z0, width, height, codes, bufferWidth, bufferHeight, GDT_Int32, 0, 0,
                           extra) != CE_None)
            return -1;
        const auto low = static_cast<std::int32_t>(m_low);
        const auto noData = static_cast<std::int32_t>(m_noData);
        const bool noDataFits = m_hasNoData && static_cast<double>(noData) == m_noData;
        bool holes = false;
        for (std::size_t i = 0; i < count; ++i) {
            holes = holes || (noDataFits && codes[i] == noData);
            codes[i] = std::clamp(codes[i] - low, 0, static_cast<std::int32_t>(kMaxCode));
        }
        if (!holes) {
            m_readFailed = false;
            return 0;
        }
    }
    CElevationGrid grid;
    if (grid.Allocate(bufferWidth, bufferHeight) != 0)
        return -1;
    if (GDALRasterIOEx(m_band, GF_Read, x0, z0, width, height, grid.Data(), bufferWidth, bufferHeight, GDT_Float32, 0,
                       0, extra) != CE_None)
        return -1;
    float* samples = grid.Data();
    bool holes = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (CElevationChecks::IsNoData(samples[i], m_hasNoData, m_noData)) {
            samples[i] = std::numeric_limits<float>::quiet_NaN();
            holes = true;
        }
    }
    // A window of holes only lies at the lowest height.
    if (holes && grid.FillHoles() != 0)
        std::fill(samples, samples + count, static_cast<float>(m_low));
    for (std::size_t i = 0; i < count; ++i) {
        const double code = std::round((static_cast<double>(samples[i]) - m_low) * m_codesPerUnit);
        codes[i] = static_cast<std::int32_t>(std::clamp(code, 0.0, kMaxCode));
    }
    m_readFailed = false;
    return 0;
}

int CGdalTerrainSource::ReadWindow(std::int32_t x0, std::int32_t z0, std::int32_t* width, std::int32_t* height,
                                   std::int32_t* window)
{
    if (m_dataset == nullptr)
        return -1;
    if (static_cast<std::int64_t>(x0) + *width > m_width)
        *width = static_cast<std::int32_t>(std::max<std::int64_t>(static_cast<std::int64_t>(m_width) - x0, INT32_MIN));
    if (static_cast<std::int64_t>(z0) + *height > m_height)
        *height = static_cast<std::int32_t>(std::max<std::int64_t>(static_cast<std::int64_t>(m_height) - z0, INT32_MIN));
    if (*width <= 0 || *height <= 0 || window == nullptr)
        return 0;
    // The part of the window inside the terrain (at least one sample); the
    // rest repeats its first column or row.
    const std::int64_t rx0 = std::clamp<std::int64_t>(x0, 0, m_width - 1);
    const std::int64_t rx1 = std::clamp<std::int64_t>(static_cast<std::int64_t>(x0) + *width, rx0 + 1, m_width);
    const std::int64_t rz0 = std::clamp<std::int64_t>(z0, 0, m_height - 1);
    const std::int64_t rz1 = std::clamp<std::int64_t>(static_cast<std::int64_t>(z0) + *height, rz0 + 1, m_height);
    const std::int32_t rw = static_cast<std::int32_t>(rx1 - rx0);
    const std::int32_t rh = static_cast<std::int32_t>(rz1 - rz0);
    const std::int32_t w = *width;
    const bool inside = rx0 == x0 && rz0 == z0 && rw == w && rh == *height;
    std::vector<std::int32_t> codes(inside ? 0 : static_cast<std::size_t>(rw) * static_cast<std::size_t>(rh));
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (ReadCodes(static_cast<std::int32_t>(rx0), static_cast<std::int32_t>(rz0), rw, rh, rw, rh,
                      inside ? window : codes.data(), nullptr) != 0)
            return -1;
    }
    if (inside)
        return 0;
    for (std::int32_t k = 0; k < *height; ++k) {
        const std::int64_t z = std::clamp<std::int64_t>(static_cast<std::int64_t>(z0) + k, rz0, rz1 - 1) - rz0;
        const std::int32_t* row = codes.data() + static_cast<std::size_t>(z) * static_cast<std::size_t>(rw);
        std::int32_t* out = window + static_cast<std::size_t>(k) * static_cast<std::size_t>(w);
        for (std::int32_t i = 0; i < w; ++i)
            out[i] = row[std::clamp<std::int64_t>(static_cast<std::int64_t>(x0) + i, rx0, rx1 - 1) - rx0];
    }
    return 0;
}

int CGdalTerrainSource::ReadColours(std::int32_t x0, std::int32_t z0, std::int32_t width, std::int32_t height,
                                    CBitmapEx* colours)
{
    if (width <= 0 || height <= 0)
        return -1;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_imagery == nullptr)
        return -1;
    const double imageWidth = GDALGetRasterXSize(m_imagery);
    const double imageHeight = GDALGetRasterYSize(m_imagery);
    // The window's outer corners in imagery pixels.
    double px[2] = {static_cast<double>(x0), static_cast<double>(x0) + width};
    double pz[2] = {static_cast<double>(z0), static_cast<double>(z0) + height};
    double imageTransform[6] = {};
    double inverse[6] = {};
    if (m_georeferenced && GDALGetGeoTransform(m_imagery, imageTransform) == CE_None
        && GDALInvGeoTransform(imageTransform, inverse)) {
        for (int c = 0; c < 2; ++c) {
            double gx = 0.0;
            double gy = 0.0;
            GDALApplyGeoTransform(m_transform, px[c], pz[c], &gx, &gy);
            GDALApplyGeoTransform(inverse, gx, gy, &px[c], &pz[c]);
        }
    } else {
        for (int c = 0; c < 2; ++c) {
            px[c] = px[c] * imageWidth / m_width;
            pz[c] = pz[c] * imageHeight / m_height;
        }
    }
    if (colours->CreateBlank(width, height) != 0 || !colours->HasPixels())
        return -1;
    std::uint32_t* pixels = colours->Pixels32();
    std::fill(pixels, pixels + static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u);
    // The part of the window the imagery covers, and where it goes.
    const double perX = width / (px[1] - px[0]);
    const double perZ = height / (pz[1] - pz[0]);
    const double cx0 = std::max(px[0], 0.0);
    const double cx1 = std::min(px[1], imageWidth);
    const double cz0 = std::max(pz[0], 0.0);
    const double cz1 = std::min(pz[1], imageHeight);
    if (!(perX > 0.0) || !(perZ > 0.0) || !(cx1 > cx0) || !(cz1 > cz0))
        return 0;
    const std::int32_t ox0 = std::clamp<std::int32_t>(static_cast<std::int32_t>(std::lround((cx0 - px[0]) * perX)), 0, width);
    const std::int32_t ox1 = std::clamp<std::int32_t>(static_cast<std::int32_t>(std::lround((cx1 - px[0]) * perX)), ox0, width);
    const std::int32_t oz0 = std::clamp<std::int32_t>(static_cast<std::int32_t>(std::lround((cz0 - pz[0]) * perZ)), 0, height);
    const std::int32_t oz1 = std::clamp<std::int32_t>(static_cast<std::int32_t>(std::lround((cz1 - pz[0]) * perZ)), oz0, height);
    const std::int32_t bw = ox1 - ox0;
    const std::int32_t bh = oz1 - oz0;
    if (bw <= 0 || bh <= 0)
        return 0;
    const int bands = GDALGetRasterCount(m_imagery) >= 3 ? 3 : 1;
    int bandMap[3] = {1, bands == 3 ? 2 : 1, bands == 3 ? 3 : 1};
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(bw) * static_cast<std::size_t>(bh) * 3);
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_Bilinear;
    extra.bFloatingPointWindowValidity = TRUE;
    extra.dfXOff = cx0;
    extra.dfYOff = cz0;
    extra.dfXSize = cx1 - cx0;
    extra.dfYSize = cz1 - cz0;
    const int ix0 = static_cast<int>(std::floor(cx0));
    const int iz0 = static_cast<int>(std::floor(cz0));
    const int ix1 = std::min(static_cast<int>(std::ceil(cx1)), static_cast<int>(imageWidth));
    const int iz1 = std::min(static_cast<int>(std::ceil(cz1)), static_cast<int>(imageHeight));
    CGdal::CQuiet quiet;
    if (GDALDatasetRasterIOEx(m_imagery, GF_Read, ix0, iz0, ix1 - ix0, iz1 - iz0, rgb.data(), bw, bh, GDT_Byte, 3,
                              bandMap, 3, static_cast<GSpacing>(bw) * 3, 1, &extra) != CE_None)
        return -1;
    for (std::int32_t k = 0; k < bh; ++k) {
        const std::uint8_t* in = rgb.data() + static_cast<std::size_t>(k) * bw * 3;
        std::uint32_t* out = pixels + static_cast<std::size_t>(height - 1 - (oz0 + k)) * width + ox0;
        for (std::int32_t i = 0; i < bw; ++i, in += 3)
            out[i] = (static_cast<std::uint32_t>(in[0]) << 16) | (static_cast<std::uint32_t>(in[1]) << 8) | in[2];
    }
    return 0;
}

int CGdalTerrainSource::ReadReduced(std::int32_t maxSide, std::vector<std::int32_t>* codes, std::int32_t* width,
                                    std::int32_t* height, int (*progress)(double, const char*, void*),
                                    void* progressData)
{
    if (m_dataset == nullptr || maxSide < 2)
        return -1;
    const double reduce = std::max(1.0, static_cast<double>(std::max(m_width, m_height)) / maxSide);
    const std::int32_t w = std::max<std::int32_t>(2, static_cast<std::int32_t>(m_width / reduce));
    const std::int32_t h = std::max<std::int32_t>(2, static_cast<std::int32_t>(m_height / reduce));
    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_NearestNeighbour;
    extra.pfnProgress = progress;
    extra.pProgressData = progressData;
    codes->resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    std::lock_guard<std::mutex> guard(m_lock);
    if (ReadCodes(0, 0, m_width, m_height, w, h, codes->data(), &extra) != 0)
        return -1;
    *width = w;
    *height = h;
    return 0;
}
