#include "terrain/CTerrainWriter.h"

#include <cstdint>
#include <memory>
#include <new>

#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainModel.h"
#include "terrain/CBlendPainter.h"
#include "terrain/TerrainFiles.h"

namespace {

// Share of the step's time each stage ends at, for the progress fraction.
constexpr float kHeightmapWritten = 0.27f;
constexpr float kHeightmapRead = 0.47f;
constexpr float kTexturePainted = 0.8f;

const char* const kNoMemory = "Memoria insuficiente para generar el terreno";

std::string JoinPath(const std::string& folder, const char* name)
{
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string WriteError(const std::string& name)
{
    return "Error en escribir el fichero " + name;
}

} // namespace

CTerrainWriter::CTerrainWriter(const std::string& folder)
    : m_folder(folder), m_files(folder)
{
}

int CTerrainWriter::RemoveLeftovers()
{
    std::string message;
    if (m_lock.Acquire(m_folder, &message) != 0)
        return Fail(message);
    m_files.RemoveLeftovers({TerrainFiles::kHeightmap, TerrainFiles::kTexture, TerrainFiles::kHeights16});
    return 0;
}

int CTerrainWriter::LoadTiles(const std::string& texturesFolder)
{
    m_missingTiles.clear();
    int loaded = 0;
    for (int slot = 0; slot < CTextureGenerator::kSlots; ++slot) {
        const std::string path = JoinPath(texturesFolder, TerrainFiles::kTiles[slot]);
        m_texture.m_tiles[slot].LoadFromFile(path.c_str());
        ++m_texture.m_tileCount;
        if (m_texture.m_tiles[slot].HasPixels())
            ++loaded;
        else
            m_missingTiles.push_back(path);
    }
    if (loaded == 0)
        return Fail("No se pudo leer ninguna textura en la carpeta " + texturesFolder);
    return 0;
}

int CTerrainWriter::Fail(const std::string& message)
{
    m_files.Abandon();
    m_message = message;
    return -1;
}

int CTerrainWriter::Write(CTerrainModel& model, const Heights16& heights16, const std::function<bool(float)>& progress)
{
    m_cancelled = false;
    auto goOn = [&](float fraction) {
        if (progress && !progress(fraction))
            m_cancelled = true;
        return !m_cancelled;
    };
    const std::int32_t width = model.m_gridWidth;
    const std::int32_t height = model.m_gridHeight;
    if (model.m_grid == nullptr || width < 1 || height < 1)
        return Fail(kNoMemory);

    // Staged in the order Commit puts them in place: the heightmap last, so
    // that a viewer never finds a new heightmap beside an old texture.
    const std::string textureStage = m_files.Stage(TerrainFiles::kTexture);
    if (heights16.write) {
        const std::string stage = m_files.Stage(TerrainFiles::kHeights16);
        const double* transform = heights16.geoTransform.size() == 6 ? heights16.geoTransform.data() : nullptr;
        if (CHeightmap16File::WriteLevels(stage.c_str(), model.m_grid, width, height, heights16.heightScale,
                transform, heights16.projection.c_str())
            != 0)
            return Fail(WriteError(TerrainFiles::kHeights16));
    } else {
        m_files.Drop(TerrainFiles::kHeights16);
    }
    const std::string heightmapStage = m_files.Stage(TerrainFiles::kHeightmap);
    if (model.WriteHeightmapFile(heightmapStage.c_str()) != 0)
        return Fail(WriteError(TerrainFiles::kHeightmap));
    if (!goOn(kHeightmapWritten))
        return Fail("");
    m_texture.ComputeBands();
    m_texture.m_width = width;
    m_texture.m_height = height;
    if (m_blend) {
        // The soft bands and the slopes come from the heights before they
        // were cut to whole levels: the level steps of the heightmap would
        // each read as a small cliff and draw a contour line.
        const float levelScale = heights16.write
            ? static_cast<float>(heights16.heightScale) * CHeightmap16File::kCodesPerLevel
            : CBlendPainter::kHeightScale;
        const int painted = CBlendPainter::Paint(m_texture, model.m_grid, levelScale);
        model.ReleaseGrid();
        if (painted != 0)
            return Fail(kNoMemory);
        if (!goOn(kHeightmapRead))
            return Fail("");
        return SaveTexture(textureStage, goOn);
    }
    model.ReleaseGrid();

    // The texture is painted from the heightmap as written and read back.
    const std::string readError = std::string("Error en leer el fichero ") + TerrainFiles::kHeightmap;
    std::int32_t w = width;
    std::int32_t h = height;
    std::unique_ptr<std::int32_t[]> window;
    {
        CTerrainModel readBack;
        if (readBack.LoadHeightmap(heightmapStage.c_str()) != 0 || readBack.m_gridWidth != width
            || readBack.m_gridHeight != height)
            return Fail(readError);
        window.reset(new (std::nothrow) std::int32_t[static_cast<std::size_t>(w) * static_cast<std::size_t>(h)]);
        if (!window)
            return Fail(kNoMemory);
        const std::int32_t x0 = 0;
        const std::int32_t y0 = 0;
        if (readBack.ExtractWindow(x0, y0, w, h, window.get()) == -1 || w != width || h != height)
            return Fail(readError);
    }
    if (!goOn(kHeightmapRead))
        return Fail("");

    m_texture.m_heightWindow = window.get();
    const int painted = m_texture.Synthesize(w, h);
    m_texture.m_heightWindow = nullptr;
    window.reset();
    if (painted != 0)
        return Fail(kNoMemory);
    return SaveTexture(textureStage, goOn);
}

int CTerrainWriter::SaveTexture(const std::string& textureStage, const std::function<bool(float)>& goOn)
{
    if (!goOn(kTexturePainted))
        return Fail("");
    const int saved = m_texture.m_output.SaveToFile(textureStage.c_str());
    m_texture.m_output.CreateBlank(0, 0);
    if (saved != 0)
        return Fail(WriteError(TerrainFiles::kTexture));
    if (!goOn(kTexturePainted))
        return Fail("");

    if (m_files.Commit() != 0)
        return Fail(WriteError(m_files.FailedName()));
    goOn(1.0f);
    m_cancelled = false;
    return 0;
}
