#include "terrain/CTerrainGenerator.h"

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

#include "terrain/CHeightmap16File.h"
#include "terrain/CTerrainModel.h"
#include "terrain/TickCount.h"

namespace {

// Share of the run's time the faults take, for the progress fraction.
constexpr float kFaultsDone = 0.85f;

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
    m_message = message;
    return -1;
}

int CTerrainGenerator::Run(const Settings& settings)
{
    const std::uint32_t start = TickCount();
    m_message.clear();
    m_missingTiles.clear();
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

    CTerrainWriter writer(settings.folder);
    writer.SetBlend(settings.blend);
    if (writer.RemoveLeftovers() != 0)
        return Fail(writer.Message());
    // The tiles are read first (the order of the loads does not matter to
    // the result), so a run without them fails before the long part.
    const int tiles = writer.LoadTiles(settings.texturesFolder);
    m_missingTiles = writer.MissingTiles();
    if (tiles != 0)
        return Fail(writer.Message());

    CTerrainModel model;
    if (model.AllocateGrid(size, size) != 0)
        return Fail(kNoMemory);
    const int faults = model.GenerateFaults(settings.seed, [this](float fraction) {
        SetProgress(fraction * kFaultsDone);
        return !CancelRequested();
    });
    if (faults != 0)
        return Fail(CancelRequested() ? kCancelled : kNoMemory);

    CTerrainWriter::Heights16 heights16;
    heights16.write = settings.heights16;
    heights16.heightScale = static_cast<double>(CTerrainModel::kClassicHeightScale) / CHeightmap16File::kCodesPerLevel;
    const int written = writer.Write(model, heights16, [this](float fraction) {
        SetProgress(kFaultsDone + fraction * (1.0f - kFaultsDone));
        return !CancelRequested();
    });
    if (written != 0)
        return Fail(writer.Cancelled() ? kCancelled : writer.Message());
    const std::int32_t w = size;
    const std::int32_t h = size;

    const std::uint32_t minutes = (TickCount() - start) / 1000u / 60u;
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "Tiempo en generar un terreno de %d x %d pixeles y su textura:%d minutos",
        static_cast<int>(w), static_cast<int>(h), static_cast<int>(minutes));
    m_message = buffer;
    return 0;
}
