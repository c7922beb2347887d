#include "app/CLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <string>

#include "config/GuidedFlight.h"
#include "terrain/CTerrainCheck.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/TerrainFiles.h"

namespace {

QString TexturesOf(const QString& dir)
{
    return dir + QStringLiteral("/Textures");
}

QStringList TileNames()
{
    QStringList names;
    for (const char* name : TerrainFiles::kTiles) {
        names << QString::fromLatin1(name);
    }
    return names;
}

bool IsFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

} // namespace

CLauncher::Decision CLauncher::NextStep(const Facts& facts)
{
    if (facts.dataDir.isEmpty()) {
        return {Step::Fail, QStringLiteral("No se sabe dónde guardar los datos de vantaPeak: "
                                           "ni XDG_DATA_HOME ni HOME están definidas.")};
    }
    switch (facts.folder) {
    case Folder::Missing:
        if (!facts.createTried) {
            return {Step::CreateFolder, {}};
        }
        [[fallthrough]];
    case Folder::NotAFolder:
        return {Step::Fail, QStringLiteral("No se puede crear la carpeta de datos %1.").arg(facts.dataDir)};
    case Folder::NotWritable:
        return {Step::Fail, QStringLiteral("No se puede escribir en la carpeta de datos %1.").arg(facts.dataDir)};
    case Folder::Ready:
        break;
    }
    // The tiles are copied whenever they can be, for the program's own
    // "Generar terreno"; but they only serve to paint a new terrain's texture,
    // so a folder that already has a usable terrain flies without them.
    const bool usable = facts.terrainPresent && facts.terrainProblem.isEmpty();
    if (!facts.missingTiles.isEmpty()) {
        if (!facts.copyTried && !facts.tileSource.isEmpty()) {
            return {Step::CopyTiles, {}};
        }
        if (!usable && facts.copyTried) {
            return {Step::Fail, QStringLiteral("No se pudieron copiar las texturas a %1.")
                                    .arg(TexturesOf(facts.dataDir))};
        }
        if (!usable) {
            return {Step::Fail, QStringLiteral("No se encuentran las texturas (%1); "
                                               "vuelva a instalar vantaPeak.")
                                    .arg(facts.missingTiles.join(QStringLiteral(", ")))};
        }
    }
    if (usable) {
        return {Step::StartFlight, {}};
    }
    // Without a usable terrain the form still opens, with "Generar terreno"
    // in its menu.
    return {facts.offer == Offer::NotAsked ? Step::OfferTerrain : Step::StartPlain, {}};
}

QString CLauncher::DataFolder(const QString& xdgDataHome, const QString& home)
{
    // A relative XDG_DATA_HOME is invalid and must be ignored.
    if (!xdgDataHome.isEmpty() && QDir::isAbsolutePath(xdgDataHome)) {
        return QDir::cleanPath(xdgDataHome + QStringLiteral("/vantapeak"));
    }
    if (!home.isEmpty() && QDir::isAbsolutePath(home)) {
        return QDir::cleanPath(home + QStringLiteral("/.local/share/vantapeak"));
    }
    return {};
}

QString CLauncher::FindTileSource(const QStringList& candidates)
{
    for (const QString& dir : candidates) {
        bool complete = true;
        for (const QString& name : TileNames()) {
            complete = complete && IsFile(dir + QLatin1Char('/') + name);
        }
        if (complete) {
            return QDir::cleanPath(dir);
        }
    }
    return {};
}

QStringList CLauncher::TileCandidates(const QString& executableDir)
{
    return {QDir::cleanPath(executableDir + QStringLiteral("/../share/vantapeak/Textures")),
            QDir::cleanPath(executableDir + QStringLiteral("/../../data/Textures")),
            QStringLiteral("/usr/share/vantapeak/Textures")};
}

CLauncher::Facts CLauncher::Probe(const QString& dataDir, const QStringList& tileCandidates)
{
    Facts facts;
    facts.dataDir = dataDir;
    facts.tileSource = FindTileSource(tileCandidates);
    if (dataDir.isEmpty()) {
        return facts;
    }
    const QFileInfo folder(dataDir);
    if (!folder.exists() && !folder.isSymLink()) {
        facts.folder = Folder::Missing;
    } else if (!folder.isDir()) {
        facts.folder = Folder::NotAFolder;
    } else {
        facts.folder = folder.isWritable() ? Folder::Ready : Folder::NotWritable;
    }
    for (const QString& name : TileNames()) {
        if (!IsFile(TexturesOf(dataDir) + QLatin1Char('/') + name)) {
            facts.missingTiles << name;
        }
    }
    const QString prefix = dataDir + QLatin1Char('/');
    facts.terrainPresent = IsFile(prefix + QString::fromLatin1(TerrainFiles::kHeightmap))
        && IsFile(prefix + QString::fromLatin1(TerrainFiles::kTexture));
    std::string problem;
    if (facts.terrainPresent
        && CTerrainCheck::CheckFolder(QFile::encodeName(dataDir).toStdString(), &problem)
            == CTerrainCheck::State::Unusable) {
        facts.terrainProblem = QString::fromStdString(problem);
    }
    return facts;
}

int CLauncher::CopyMissingTiles(const QString& source, const QString& dataDir)
{
    const QString target = TexturesOf(dataDir);
    if (!QDir().mkpath(target)) {
        return -1;
    }
    int result = 0;
    for (const QString& name : TileNames()) {
        const QString to = target + QLatin1Char('/') + name;
        if (QFileInfo::exists(to)) {
            continue;
        }
        // Copied under a temporary name first, so an interrupted copy never
        // leaves a truncated tile that would count as present.
        const QString partial = to + QStringLiteral(".part");
        QFile::remove(partial);
        if (!QFile::copy(source + QLatin1Char('/') + name, partial) || !QFile::rename(partial, to)) {
            QFile::remove(partial);
            result = -1;
            continue;
        }
        // Files copied from a read-only system folder keep its read-only mode.
        QFile::setPermissions(to, QFile::permissions(to) | QFileDevice::WriteOwner);
    }
    return result;
}

QStringList CLauncher::FlightArguments()
{
    QStringList arguments;
    for (const char* argument : kGuidedFlightArguments)
        arguments.append(QString::fromLatin1(argument));
    return arguments;
}
