#include "terrain/CElevationImporter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include <sys/stat.h>

#include <cpl_error.h>
#include <gdal.h>

#include "terrain/CElevationChecks.h"
#include "terrain/CElevationGrid.h"
#include "terrain/CElevationRules.h"
#include "terrain/CGdal.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainModel.h"
#include "terrain/CTerrainWriter.h"
#include "terrain/StringFormat.h"

namespace {

// Share of the run's time each stage ends at, for the progress fraction.
constexpr float kRead = 0.25f;
constexpr float kPrepared = 0.35f;

// Rows read per GDAL call.
constexpr std::int32_t kRowsPerRead = 256;
// Largest raster read: 2 GB of float samples.
constexpr std::int64_t kMaxSourceSamples = std::int64_t(1) << 29;

const char* const kNoMemory = "Memoria insuficiente para importar el terreno";

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return ::stat(path.empty() ? "." : path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

int CElevationImporter::Fail(const std::string& message)
{
    m_message = message;
    return -1;
}

int CElevationImporter::FailRead(const std::string& path, const char* reason, const std::string& networkError,
    bool noResponse)
{
    if (m_cancel.load(std::memory_order_relaxed))
        return Fail(kCancelledMessage);
    m_detail = networkError;
    if (!networkError.empty())
        reason = noResponse ? "el servidor no respondió" : "falló la lectura por la red";
    return Fail(Printf("No se pudo leer el fichero %s: %s", path.c_str(), reason));
}

bool CElevationImporter::Abandon()
{
    Stage reading = kReading;
    return m_stage.compare_exchange_strong(reading, kAbandoned) || reading == kAbandoned;
}

bool CElevationImporter::GoOn(float fraction)
{
    m_progress.store(fraction, std::memory_order_relaxed);
    return !m_cancel.load(std::memory_order_relaxed);
}

void CElevationImporter::TargetSize(std::int32_t width, std::int32_t height, std::int32_t size, std::int32_t& outWidth,
    std::int32_t& outHeight)
{
    outWidth = width;
    outHeight = height;
    if (size <= 0 || width < 2 || height < 2)
        return;
    const bool wide = width >= height;
    const double longer = (wide ? width : height) - 1.0;
    const double shorter = (wide ? height : width) - 1.0;
    const std::int32_t other
        = std::max<std::int32_t>(2, static_cast<std::int32_t>(std::lround(shorter * (size - 1) / longer)) + 1);
    outWidth = wide ? size : other;
    outHeight = wide ? other : size;
}

int CElevationImporter::ReadElevations(const std::string& path, std::int32_t size, CElevationGrid& grid,
    double& spacingX, double& spacingY)
{
    CGdal::Initialise();
    CGdal::CQuiet quiet;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return Fail(Printf("No existe el fichero %s", path.c_str()));
    if (!S_ISREG(info.st_mode))
        return Fail(Printf("No se pudo leer el fichero %s: no es un fichero", path.c_str()));
    if (!CGdal::RawVrtBandsAllowed() && CGdal::HasRawVrtBand(path))
        return Fail(Printf("No se pudo leer el fichero %s: lee otro fichero como datos en bruto (banda "
                           "VRTRawRasterBand), lo que no se admite salvo con %s=YES",
            path.c_str(), CGdal::kRawVrtOption));
    GDALDatasetH dataset = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    CGdal::CDataset closer(dataset);
    if (dataset == nullptr)
        return FailRead(path, "formato no admitido o fichero dañado", quiet.NetworkError(), quiet.NoResponse());
    if (GDALGetRasterCount(dataset) < 1)
        return Fail(Printf("El fichero %s no contiene alturas", path.c_str()));
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    if (GDALDataTypeIsComplex(GDALGetRasterDataType(band)))
        return Fail(Printf("El fichero %s tiene un tipo de datos no admitido", path.c_str()));
    const std::int32_t width = GDALGetRasterXSize(dataset);
    const std::int32_t height = GDALGetRasterYSize(dataset);
    if (width < kMinSize || height < kMinSize
        || static_cast<std::int64_t>(width) * height > kMaxSourceSamples)
        return Fail(Printf("El fichero %s tiene un tamaño no admitido: %d x %d", path.c_str(), static_cast<int>(width),
            static_cast<int>(height)));
    std::int32_t terrainWidth = 0;
    std::int32_t terrainHeight = 0;
    TargetSize(width, height, size, terrainWidth, terrainHeight);
    if (terrainWidth > kMaxSize || terrainHeight > kMaxSize)
        return Fail(Printf("El fichero %s mide %d x %d pixeles; el terreno admite hasta %d por lado (use --size)",
            path.c_str(), static_cast<int>(width), static_cast<int>(height), static_cast<int>(kMaxSize)));
    if (terrainWidth < kMinTerrainSize || terrainHeight < kMinTerrainSize)
        return Fail(Printf("El terreno de %s mediría %d x %d pixeles; el terreno necesita al menos %d por lado "
                           "(use --size)",
            path.c_str(), static_cast<int>(terrainWidth), static_cast<int>(terrainHeight),
            static_cast<int>(kMinTerrainSize)));

    m_geoTransform.clear();
    m_projection.clear();
    double transform[6] = {};
    if (CElevationRules::Spacing(dataset, transform, &spacingX, &spacingY)) {
        m_geoTransform.assign(transform, transform + 6);
        const char* wkt = GDALGetProjectionRef(dataset);
        m_projection = wkt != nullptr ? wkt : "";
        if (!CElevationChecks::IsSaneSpacing(spacingX) || !CElevationChecks::IsSaneSpacing(spacingY))
            return Fail(Printf("El fichero %s tiene un tamaño de pixel no admitido: %g x %g metros (debe estar "
                               "entre %g y %g)",
                path.c_str(), spacingX, spacingY, CElevationChecks::kMinSpacing, CElevationChecks::kMaxSpacing));
    }

    if (grid.Allocate(width, height) != 0)
        return Fail(kNoMemory);
    int hasNoData = 0;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    int hasScale = 0;
    int hasOffset = 0;
    const double scale = GDALGetRasterScale(band, &hasScale);
    const double offset = GDALGetRasterOffset(band, &hasOffset);
    const double unit = CElevationRules::VerticalUnit(band);
    const double factor = (hasScale ? scale : 1.0) * unit;
    const double shift = (hasOffset ? offset : 0.0) * unit;
    for (std::int32_t row = 0; row < height; row += kRowsPerRead) {
        const std::int32_t rows = std::min(kRowsPerRead, height - row);
        float* samples = grid.Data() + static_cast<std::size_t>(row) * width;
        if (GDALRasterIO(band, GF_Read, 0, row, width, rows, samples, width, rows, GDT_Float32, 0, 0) != CE_None)
            return FailRead(path, "fichero dañado", quiet.NetworkError(), quiet.NoResponse());
        GDALFlushRasterCache(band); // the rows are ours now: not held twice
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * rows; ++i) {
            float& v = samples[i];
            if (CElevationChecks::IsNoData(v, hasNoData != 0, noData))
                v = std::numeric_limits<float>::quiet_NaN();
            else
                v = static_cast<float>(v * factor + shift);
        }
        if (!GoOn(kRead * static_cast<float>(row + rows) / static_cast<float>(height)))
            return Fail(kCancelledMessage);
    }
    return 0;
}

int CElevationImporter::Run(const Settings& settings)
{
    m_message.clear();
    m_detail.clear();
    m_missingTiles.clear();
    m_progress.store(0.0f, std::memory_order_relaxed);
    m_stage.store(kReading);
    if (settings.size != 0 && (settings.size < kMinTerrainSize || settings.size > kMaxSize))
        return Fail(Printf("Tamaño de terreno no válido: %d (debe estar entre %d y %d)", static_cast<int>(settings.size),
            static_cast<int>(kMinTerrainSize), static_cast<int>(kMaxSize)));
    if (!(settings.verticalScale > 0.0) || !std::isfinite(settings.verticalScale))
        return Fail(Printf("Escala vertical no válida: %g (debe ser mayor que 0)", settings.verticalScale));
    if (!IsFolder(settings.folder))
        return Fail(Printf("No existe la carpeta %s", settings.folder.c_str()));

    // The folder's lock and the tiles first: a folder another run writes
    // into, or a bad folder of tiles, is refused before the elevations cost
    // their memory. (Removing leftovers touches only what killed runs left.)
    CTerrainWriter writer(settings.folder);
    writer.SetBlend(settings.blend);
    if (writer.RemoveLeftovers() != 0)
        return Fail(writer.Message());
    const int tiles = writer.LoadTiles(settings.texturesFolder);
    m_missingTiles = writer.MissingTiles();
    if (tiles != 0)
        return Fail(writer.Message());
    CElevationGrid grid;
    double spacingX = 0.0;
    double spacingY = 0.0;
    if (ReadElevations(settings.source, settings.size, grid, spacingX, spacingY) != 0)
        return -1;
    const std::int32_t sourceWidth = grid.Width();
    const std::int32_t sourceHeight = grid.Height();
    std::int32_t width = 0;
    std::int32_t height = 0;
    TargetSize(sourceWidth, sourceHeight, settings.size, width, height);
    if (grid.CountHoles() == static_cast<std::size_t>(sourceWidth) * static_cast<std::size_t>(sourceHeight))
        return Fail(Printf("El fichero %s no contiene ninguna altura válida", settings.source.c_str()));
    if (grid.FillHoles() != 0 || grid.Resample(width, height) != 0)
        return Fail(kNoMemory);
    spacingX *= static_cast<double>(sourceWidth - 1) / (width - 1);
    spacingY *= static_cast<double>(sourceHeight - 1) / (height - 1);
    if (m_geoTransform.size() == 6) {
        // Same corners: the outer edges of the corner samples stay put.
        const double sx = static_cast<double>(sourceWidth) / width;
        const double sy = static_cast<double>(sourceHeight) / height;
        m_geoTransform[1] *= sx;
        m_geoTransform[4] *= sx;
        m_geoTransform[2] *= sy;
        m_geoTransform[5] *= sy;
    }
    if (!GoOn(kPrepared))
        return Fail(kCancelledMessage);

    float low = 0.0f;
    float high = 0.0f;
    grid.Range(low, high);
    // The grid becomes the model's grid of levels in place.
    const double range = static_cast<double>(high) - low;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    float* levels = grid.Data();
    for (std::size_t i = 0; i < count; ++i)
        levels[i] = range > 0.0 ? static_cast<float>((levels[i] - static_cast<double>(low)) / range * 255.0) : 0.0f;
    CTerrainModel model;
    model.AdoptGrid(grid.Release(), width, height);

    // World units per code: metres per code over metres per world unit.
    const double spacing = (spacingX + spacingY) / 2.0;
    const double metresPerCode = range > 0.0 ? range / 65535.0 : 1.0 / 65535.0;
    CTerrainWriter::Heights16 heights16;
    heights16.write = true;
    heights16.heightScale = metresPerCode / spacing * settings.verticalScale;
    heights16.geoTransform = m_geoTransform;
    heights16.projection = m_projection;
    if (!CHeightmap16File::IsSaneHeightScale(heights16.heightScale))
        return Fail(Printf("El fichero %s da una escala de alturas no admitida: %g unidades por código (debe estar "
                           "entre %g y %g); revise su georreferenciación o --vertical-scale",
            settings.source.c_str(), heights16.heightScale, CHeightmap16File::kMinHeightScale,
            CHeightmap16File::kMaxHeightScale));
    Stage reading = kReading;
    if (!m_stage.compare_exchange_strong(reading, kWriting))
        return Fail(kCancelledMessage);
    const int written = writer.Write(model, heights16, [this](float fraction) {
        return GoOn(kPrepared + fraction * (1.0f - kPrepared));
    });
    if (written != 0)
        return Fail(writer.Cancelled() ? kCancelledMessage : writer.Message());

    m_width = width;
    m_height = height;
    m_heightScale = heights16.heightScale;
    m_message = Printf("Terreno importado de %s: %d x %d pixeles, alturas de %.1f a %.1f metros, %.2f metros por pixel",
        settings.source.c_str(), static_cast<int>(width), static_cast<int>(height), low, high, spacing);
    return 0;
}
