#include "terrain/CTerrainCheck.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include <sys/stat.h>

#include <gdal.h>

#include "terrain/CBitmapEx.h"
#include "terrain/CGdal.h"
#include "terrain/CHeightmap16File.h"
#include "terrain/TerrainFiles.h"

namespace {

int Fail(std::string* reason, const std::string& text)
{
    if (reason != nullptr)
        *reason = text;
    return -1;
}

std::string Printf(const char* format, long long a, long long b)
{
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

std::string SizeText(std::int32_t width, std::int32_t height)
{
    return Printf("%lld x %lld", width, height);
}

// The size of the regular file at `path`, or -1 with the reason.
long long FileSize(const std::string& path, std::string* reason)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        Fail(reason, std::string("no se puede abrir: ") + std::strerror(errno));
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        Fail(reason, "no es un fichero");
        return -1;
    }
    return static_cast<long long>(info.st_size);
}

std::string JoinPath(const std::string& folder, const char* name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool Exists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace

int CTerrainCheck::CheckBitmap(const std::string& path, std::int32_t& width, std::int32_t& height,
    std::string* reason)
{
    const long long size = FileSize(path, reason);
    if (size < 0)
        return -1;
    BITMAPFILEHEADER file {};
    BITMAPINFOHEADER info {};
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(&file), sizeof file) || !in.read(reinterpret_cast<char*>(&info), sizeof info))
        return Fail(reason, Printf("está cortado: mide %lld bytes, menos que la cabecera de un BMP (%lld)", size,
            static_cast<long long>(sizeof file + sizeof info)));
    const std::uint32_t offset = file.bfOffBits + 0;
    const int bits = info.biBitCount;
    if (file.bfType != 0x4D42 || info.biSize != 40 || info.biCompression != 0
        || (bits != 8 && bits != 16 && bits != 24 && bits != 32) || info.biWidth <= 0 || info.biHeight == 0
        || info.biHeight == INT32_MIN || (bits == 8 && info.biClrUsed > 256))
        return Fail(reason, "no es un BMP sin comprimir de 8, 16, 24 o 32 bits por píxel");
    const long long palette = bits == 8 ? 4LL * (info.biClrUsed == 0 ? 256 : info.biClrUsed) : 0;
    if (offset < sizeof file + sizeof info + palette)
        return Fail(reason, "su cabecera no es válida: los píxeles empiezan dentro de ella");
    const long long rowBytes = (static_cast<long long>(info.biWidth) * bits + 31) / 32 * 4;
    const long long rows = info.biHeight < 0 ? -static_cast<long long>(info.biHeight) : info.biHeight;
    const long long needed = offset + rowBytes * rows;
    if (size < needed)
        return Fail(reason, Printf("está cortado: mide %lld bytes y su cabecera pide %lld", size, needed));
    width = info.biWidth;
    height = static_cast<std::int32_t>(rows);
    return 0;
}

int CTerrainCheck::CheckHeights16(const std::string& path, std::int32_t width, std::int32_t height,
    std::string* reason)
{
    const long long size = FileSize(path, reason);
    if (size < 0)
        return -1;
    CGdal::Initialise();
    CGdal::CQuiet quiet;
    const char* const drivers[] = {"GTiff", nullptr};
    const CGdal::CDataset opened(
        GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr));
    if (!opened)
        return Fail(reason, "no es un GeoTIFF que se pueda abrir (cabecera dañada o fichero cortado)");
    GDALDatasetH dataset = opened.Get();
    const std::int32_t w = GDALGetRasterXSize(dataset);
    const std::int32_t h = GDALGetRasterYSize(dataset);
    if (GDALGetRasterCount(dataset) != 1 || GDALGetRasterDataType(GDALGetRasterBand(dataset, 1)) != GDT_UInt16)
        return Fail(reason, "no tiene una sola banda de enteros de 16 bits sin signo");
    if (w != width || h != height)
        return Fail(reason, "mide " + SizeText(w, h) + " y el mapa de alturas " + SizeText(width, height));
    const char* item = GDALGetMetadataItem(dataset, CHeightmap16File::kScaleItem, nullptr);
    char* end = nullptr;
    const double scale = item != nullptr ? std::strtod(item, &end) : 0.0;
    if (item == nullptr || end == item || *end != '\0' || !std::isfinite(scale) || !(scale > 0.0))
        return Fail(reason, std::string("le falta la escala de alturas ") + CHeightmap16File::kScaleItem
            + " (un número positivo)");
    if (!CHeightmap16File::IsSaneHeightScale(scale)) {
        char text[128];
        std::snprintf(text, sizeof text, "su escala de alturas %g no está entre %g y %g", scale,
            CHeightmap16File::kMinHeightScale, CHeightmap16File::kMaxHeightScale);
        return Fail(reason, text);
    }
    // Uncompressed samples take their whole size on disk; less means the
    // file was cut short.
    const long long samplesBytes = 2LL * w * h;
    if (GDALGetMetadataItem(dataset, "COMPRESSION", "IMAGE_STRUCTURE") == nullptr && size < samplesBytes)
        return Fail(reason, Printf("está cortado: mide %lld bytes y sus alturas ocupan %lld", size, samplesBytes));
    return 0;
}

CTerrainCheck::State CTerrainCheck::CheckFolder(const std::string& folder, std::string* reason)
{
    const std::string heightmap = JoinPath(folder, TerrainFiles::kHeightmap);
    const std::string texture = JoinPath(folder, TerrainFiles::kTexture);
    if (!Exists(heightmap) || !Exists(texture))
        return State::Missing;
    std::string why;
    std::int32_t width = 0;
    std::int32_t height = 0;
    if (CheckBitmap(heightmap, width, height, &why) != 0) {
        Fail(reason, std::string(TerrainFiles::kHeightmap) + ": " + why);
        return State::Unusable;
    }
    std::int32_t textureWidth = 0;
    std::int32_t textureHeight = 0;
    if (CheckBitmap(texture, textureWidth, textureHeight, &why) != 0) {
        Fail(reason, std::string(TerrainFiles::kTexture) + ": " + why);
        return State::Unusable;
    }
    const std::string heights16 = JoinPath(folder, TerrainFiles::kHeights16);
    if (Exists(heights16) && CheckHeights16(heights16, width, height, &why) != 0) {
        Fail(reason, std::string(TerrainFiles::kHeights16) + ": " + why);
        return State::Unusable;
    }
    return State::Usable;
}
