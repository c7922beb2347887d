#include "terrain/CElevationImporter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdarg>
#include <cstring>
#include <limits>

#include <sys/stat.h>

#include <cpl_error.h>
#include <gdal.h>

#include "terrain/CElevationGrid.h"
#include "terrain/CElevationRules.h"
#include "terrain/CGdal.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainModel.h"
#include "terrain/CTerrainWriter.h"

namespace {

// Share of the run's time each stage ends at, for the progress fraction.
constexpr float kRead = 0.25f;
constexpr float kPrepared = 0.35f;

// Rows read per GDAL call.
constexpr std::int32_t kRowsPerRead = 256;
// Largest raster read: 2 GB of float samples.
constexpr std::int64_t kMaxSourceSamples = std::int64_t(1) << 29;

const char* const kCancelled = "Importación del terreno cancelada";
const char* const kNoMemory = "Memoria insuficiente para importar el terreno";

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

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

int CElevationImporter::ReadElevations(const std::string& path, CElevationGrid& grid, double& spacingX,
    double& spacingY)
{
    CGdal::Initialise();
    CGdal::CQuiet quiet;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return Fail(Printf("No existe el fichero %s", path.c_str()));
    if (!S_ISREG(info.st_mode))
        return Fail(Printf("No se pudo leer el fichero %s: no es un fichero", path.c_str()));
    GDALDatasetH dataset = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
    CGdal::CDataset closer(dataset);
    if (dataset == nullptr)
        return Fail(Printf("No se pudo leer el fichero %s: formato no admitido o fichero dañado", path.c_str()));
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
    if (grid.Allocate(width, height) != 0)
        return Fail(kNoMemory);

    int hasNoData = 0;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    const float noDataAsRead = static_cast<float>(noData);
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
            return Fail(Printf("No se pudo leer el fichero %s: fichero dañado", path.c_str()));
        GDALFlushRasterCache(band); // the rows are ours now: not held twice
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * rows; ++i) {
            float& v = samples[i];
            if (!std::isfinite(v) || (hasNoData && (v == noDataAsRead || static_cast<double>(v) == noData)))
                v = std::numeric_limits<float>::quiet_NaN();
            else
                v = static_cast<float>(v * factor + shift);
        }
        if (!GoOn(kRead * static_cast<float>(row + rows) / static_cast<float>(height)))
            return Fail(kCancelled);
    }

    m_geoTransform.clear();
    m_projection.clear();
    double transform[6] = {};
    if (CElevationRules::Spacing(dataset, transform, &spacingX, &spacingY)) {
        m_geoTransform.assign(transform, transform + 6);
        const char* wkt = GDALGetProjectionRef(dataset);
        m_projection = wkt != nullptr ? wkt : "";
    }
    return 0;
}

int CElevationImporter::Run(const Settings& settings)
{
    m_message.clear();
    m_missingTiles.clear();
    m_progress.store(0.0f, std::memory_order_relaxed);
    if (settings.size != 0 && (settings.size < kMinSize || settings.size > kMaxSize))
        return Fail(Printf("Tamaño de terreno no válido: %d (debe estar entre %d y %d)", static_cast<int>(settings.size),
            static_cast<int>(kMinSize), static_cast<int>(kMaxSize)));
    if (!(settings.verticalScale > 0.0) || !std::isfinite(settings.verticalScale))
        return Fail(Printf("Escala vertical no válida: %g (debe ser mayor que 0)", settings.verticalScale));
    if (!IsFolder(settings.folder))
        return Fail(Printf("No existe la carpeta %s", settings.folder.c_str()));

    CElevationGrid grid;
    double spacingX = 0.0;
    double spacingY = 0.0;
    if (ReadElevations(settings.source, grid, spacingX, spacingY) != 0)
        return -1;
    CTerrainWriter writer(settings.folder);
    writer.SetBlend(settings.blend);
    if (writer.RemoveLeftovers() != 0)
        return Fail(writer.Message());
    const int tiles = writer.LoadTiles(settings.texturesFolder);
    m_missingTiles = writer.MissingTiles();
    if (tiles != 0)
        return Fail(writer.Message());
    const std::int32_t sourceWidth = grid.Width();
    const std::int32_t sourceHeight = grid.Height();
    std::int32_t width = 0;
    std::int32_t height = 0;
    TargetSize(sourceWidth, sourceHeight, settings.size, width, height);
    if (width > kMaxSize || height > kMaxSize)
        return Fail(Printf("El fichero %s mide %d x %d pixeles; el terreno admite hasta %d por lado (use --size)",
            settings.source.c_str(), static_cast<int>(sourceWidth), static_cast<int>(sourceHeight),
            static_cast<int>(kMaxSize)));
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
        return Fail(kCancelled);

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
    const int written = writer.Write(model, heights16, [this](float fraction) {
        return GoOn(kPrepared + fraction * (1.0f - kPrepared));
    });
    if (written != 0)
        return Fail(writer.Cancelled() ? kCancelled : writer.Message());

    m_width = width;
    m_height = height;
    m_heightScale = heights16.heightScale;
    m_message = Printf("Terreno importado de %s: %d x %d pixeles, alturas de %.1f a %.1f metros, %.2f metros por pixel",
        settings.source.c_str(), static_cast<int>(width), static_cast<int>(height), low, high, spacing);
    return 0;
}
