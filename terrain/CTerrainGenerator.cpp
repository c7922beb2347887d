#include "terrain/CTerrainGenerator.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <new>

#include <sys/stat.h>
#include <unistd.h>

#include "terrain/CTerrainModel.h"
#include "terrain/CBlendPainter.h"
#include "terrain/CTextureGenerator.h"
#include "terrain/TerrainFiles.h"
#include "terrain/TickCount.h"

namespace {

// Share of the run's time each stage ends at, for the progress fraction.
constexpr float kFaultsDone = 0.85f;
constexpr float kHeightmapWritten = 0.89f;
constexpr float kHeightmapRead = 0.92f;
constexpr float kTexturePainted = 0.97f;

std::string JoinPath(const std::string& folder, const char* name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

bool IsFolder(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string Format(const char* format, const std::string& text)
{
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format, text.c_str());
    return buffer;
}

const char* const kCancelled = "Generación del terreno cancelada";
const char* const kNoMemory = "Memoria insuficiente para generar el terreno";

} // namespace

int CTerrainGenerator::Fail(const std::string& message)
{
    for (const std::string& path : m_staged)
        ::unlink(path.c_str());
    m_staged.clear();
    m_message = message;
    return -1;
}

int CTerrainGenerator::Run(const Settings& settings)
{
    const std::uint32_t start = TickCount();
    m_message.clear();
    m_missingTiles.clear();
    m_staged.clear();
    SetProgress(0.0f);

    const std::int32_t size = settings.size;
    if (size < kMinSize || size > kMaxSize) {
        char buffer[160];
        std::snprintf(buffer, sizeof buffer, "Tamaño de terreno no válido: %d (debe estar entre %d y %d)",
            static_cast<int>(size), static_cast<int>(kMinSize), static_cast<int>(kMaxSize));
        return Fail(buffer);
    }
    if (!IsFolder(settings.folder))
        return Fail(Format("No existe la carpeta %s", settings.folder));

    // The tiles are read first (the order of the loads does not matter to
    // the result), so a run without them fails before the long part.
    auto texture = std::make_unique<CTextureGenerator>();
    int tilesLoaded = 0;
    for (int slot = 0; slot < CTextureGenerator::kSlots; ++slot) {
        const std::string path = JoinPath(settings.texturesFolder, TerrainFiles::kTiles[slot]);
        texture->m_tiles[slot].LoadFromFile(path.c_str());
        ++texture->m_tileCount;
        if (texture->m_tiles[slot].HasPixels())
            ++tilesLoaded;
        else
            m_missingTiles.push_back(path);
    }
    if (tilesLoaded == 0)
        return Fail(Format("No se pudo leer ninguna textura en la carpeta %s", settings.texturesFolder));

    const std::string heightmapPath = JoinPath(settings.folder, TerrainFiles::kHeightmap);
    const std::string texturePath = JoinPath(settings.folder, TerrainFiles::kTexture);
    const std::string heightmapStage = heightmapPath + ".new";
    const std::string textureStage = texturePath + ".new";
    const std::string writeHeightmapError = std::string("Error en escribir el fichero ") + TerrainFiles::kHeightmap;
    const std::string readHeightmapError = std::string("Error en leer el fichero ") + TerrainFiles::kHeightmap;
    const std::string writeTextureError = std::string("Error en escribir el fichero ") + TerrainFiles::kTexture;

    std::int32_t w = size;
    std::int32_t h = size;
    std::unique_ptr<std::int32_t[]> window;
    {
        CTerrainModel model;
        if (model.AllocateGrid(size, size) != 0)
            return Fail(kNoMemory);
        const int faults = model.GenerateFaults(settings.seed, [this](float fraction) {
            SetProgress(fraction * kFaultsDone);
            return !CancelRequested();
        });
        if (faults != 0)
            return Fail(CancelRequested() ? kCancelled : kNoMemory);

        m_staged.push_back(heightmapStage);
        if (model.WriteHeightmapFile(heightmapStage.c_str()) != 0)
            return Fail(writeHeightmapError);
        model.ReleaseGrid();
        SetProgress(kHeightmapWritten);
        if (CancelRequested())
            return Fail(kCancelled);

        // The texture is painted from the file as written and read back.
        if (model.LoadHeightmap(heightmapStage.c_str()) != 0 || model.m_gridWidth != size
            || model.m_gridHeight != size)
            return Fail(readHeightmapError);
        w = model.m_gridWidth;
        h = model.m_gridHeight;
        window.reset(new (std::nothrow) std::int32_t[static_cast<std::size_t>(w) * static_cast<std::size_t>(h)]);
        if (!window)
            return Fail(kNoMemory);
        const std::int32_t x0 = 0;
        const std::int32_t y0 = 0;
        if (model.ExtractWindow(x0, y0, w, h, window.get()) == -1 || w != size || h != size)
            return Fail(readHeightmapError);
    }
    SetProgress(kHeightmapRead);
    if (CancelRequested())
        return Fail(kCancelled);

    texture->ComputeBands();
    texture->m_heightWindow = window.get();
    texture->m_width = w;
    texture->m_height = h;
    if ((settings.blend ? CBlendPainter::Paint(*texture) : texture->Synthesize(w, h)) != 0)
        return Fail(kNoMemory);
    texture->m_heightWindow = nullptr;
    window.reset();
    SetProgress(kTexturePainted);
    if (CancelRequested())
        return Fail(kCancelled);

    m_staged.push_back(textureStage);
    if (texture->m_output.SaveToFile(textureStage.c_str()) != 0)
        return Fail(writeTextureError);
    texture.reset();
    if (CancelRequested())
        return Fail(kCancelled);

    // Both files are complete: put them in place, texture first, so that a
    // heightmap is never newer than the texture painted for it.
    if (std::rename(textureStage.c_str(), texturePath.c_str()) != 0)
        return Fail(writeTextureError);
    if (std::rename(heightmapStage.c_str(), heightmapPath.c_str()) != 0)
        return Fail(writeHeightmapError);
    m_staged.clear();
    SetProgress(1.0f);

    const std::uint32_t minutes = (TickCount() - start) / 1000u / 60u;
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "Tiempo en generar un terreno de %d x %d pixeles y su textura:%d minutos",
        static_cast<int>(w), static_cast<int>(h), static_cast<int>(minutes));
    m_message = buffer;
    return 0;
}
