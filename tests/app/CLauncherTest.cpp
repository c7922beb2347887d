// The launcher's decisions (a pure function of what is on disk), where it
// keeps its data, and how it looks at and fills a data folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "app/CLauncher.h"

namespace {

using Folder = CLauncher::Folder;
using Offer = CLauncher::Offer;
using Step = CLauncher::Step;

const QStringList kAllTiles = {QStringLiteral("water1.bmp"), QStringLiteral("lowestTile.bmp"),
    QStringLiteral("lowTile.bmp"), QStringLiteral("HighTile.bmp"), QStringLiteral("highestTile.bmp")};

struct DecisionCase {
    const char* name;
    CLauncher::Facts facts;
    Step expected;
    const char* messagePart; // for Step::Fail: a part of the message
};

CLauncher::Facts Facts(Folder folder, QStringList missing, QString source, bool terrain)
{
    CLauncher::Facts facts;
    facts.dataDir = QStringLiteral("/home/ana/.local/share/vantapeak");
    facts.folder = folder;
    facts.missingTiles = std::move(missing);
    facts.tileSource = std::move(source);
    facts.terrainPresent = terrain;
    return facts;
}

CLauncher::Facts With(CLauncher::Facts facts, bool createTried, bool copyTried, Offer offer)
{
    facts.createTried = createTried;
    facts.copyTried = copyTried;
    facts.offer = offer;
    return facts;
}

TEST(CLauncherTest, NextStepFollowsWhatIsOnDisk)
{
    const QString source = QStringLiteral("/usr/share/vantapeak/Textures");
    const CLauncher::Facts firstUse = Facts(Folder::Missing, kAllTiles, source, false);
    const CLauncher::Facts empty = Facts(Folder::Ready, kAllTiles, source, false);
    const CLauncher::Facts tilesOnly = Facts(Folder::Ready, {}, source, false);
    const CLauncher::Facts ready = Facts(Folder::Ready, {}, source, true);
    CLauncher::Facts noHome = firstUse;
    noHome.dataDir.clear();
    CLauncher::Facts damaged = ready;
    damaged.terrainProblem = QStringLiteral("terrainMdt_8193x8193.bmp: está cortado");

    const DecisionCase cases[] = {
        {"no place for data", noHome, Step::Fail, "XDG_DATA_HOME"},
        {"no data folder yet", firstUse, Step::CreateFolder, nullptr},
        {"folder cannot be created", With(firstUse, true, false, Offer::NotAsked), Step::Fail,
         "No se puede crear la carpeta de datos /home/ana/.local/share/vantapeak."},
        {"a file holds the path", Facts(Folder::NotAFolder, kAllTiles, source, false), Step::Fail,
         "No se puede crear la carpeta"},
        {"folder not writable", Facts(Folder::NotWritable, kAllTiles, source, false), Step::Fail,
         "No se puede escribir"},
        {"tiles missing", empty, Step::CopyTiles, nullptr},
        {"one tile missing", Facts(Folder::Ready, {QStringLiteral("lowTile.bmp")}, source, false), Step::CopyTiles,
         nullptr},
        {"tiles missing, copy failed", With(empty, true, true, Offer::NotAsked), Step::Fail,
         "No se pudieron copiar las texturas a /home/ana/.local/share/vantapeak/Textures."},
        {"tiles missing, none to copy", Facts(Folder::Ready, kAllTiles, QString(), false), Step::Fail,
         "No se encuentran las texturas (water1.bmp"},
        {"terrain present, tiles missing: copied", Facts(Folder::Ready, kAllTiles, source, true), Step::CopyTiles,
         nullptr},
        {"terrain present, tiles nowhere", Facts(Folder::Ready, kAllTiles, QString(), true), Step::StartFlight,
         nullptr},
        {"terrain present, copy failed", With(Facts(Folder::Ready, kAllTiles, source, true), false, true,
                                              Offer::NotAsked),
         Step::StartFlight, nullptr},
        {"no terrain: offer it", tilesOnly, Step::OfferTerrain, nullptr},
        {"offer declined", With(tilesOnly, false, true, Offer::Declined), Step::StartPlain, nullptr},
        {"generation failed", With(tilesOnly, false, true, Offer::Failed), Step::StartPlain, nullptr},
        {"generated but files absent", With(tilesOnly, false, true, Offer::Generated), Step::StartPlain, nullptr},
        {"terrain present", ready, Step::StartFlight, nullptr},
        {"terrain generated", With(ready, true, true, Offer::Generated), Step::StartFlight, nullptr},
        {"terrain damaged: offer it again", damaged, Step::OfferTerrain, nullptr},
        {"terrain damaged, declined", With(damaged, false, true, Offer::Declined), Step::StartPlain, nullptr},
    };
    for (const DecisionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CLauncher::Decision decision = CLauncher::NextStep(c.facts);
        EXPECT_EQ(decision.step, c.expected);
        if (c.messagePart != nullptr) {
            EXPECT_TRUE(decision.message.contains(QString::fromUtf8(c.messagePart))) << decision.message.toStdString();
        } else {
            EXPECT_TRUE(decision.message.isEmpty());
        }
    }
}

TEST(CLauncherTest, DataFolderFollowsTheXdgRules)
{
    struct Case {
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"/data/ana", "/home/ana", "/data/ana/vantapeak"},
        {"/data/ana/", "/home/ana", "/data/ana/vantapeak"},
        {"", "/home/ana", "/home/ana/.local/share/vantapeak"},
        {"relative/dir", "/home/ana", "/home/ana/.local/share/vantapeak"},
        {"", "", ""},
        {"", "relative", ""},
        {"/data/ana", "", "/data/ana/vantapeak"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.xdg) + " | " + c.home);
        EXPECT_EQ(CLauncher::DataFolder(QString::fromUtf8(c.xdg), QString::fromUtf8(c.home)).toStdString(),
                  c.expected);
    }
}

class CLauncherDiskTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_root.isValid()); }

    QString Path(const QString& relative) const { return m_root.filePath(relative); }

    void Write(const QString& relative, const QByteArray& bytes) const
    {
        const QString path = Path(relative);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    void WriteTiles(const QString& dir) const
    {
        for (const QString& tile : kAllTiles) {
            Write(dir + QLatin1Char('/') + tile, "tile " + tile.toUtf8());
        }
    }

    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_root;
};

TEST_F(CLauncherDiskTest, ProbeSeesFolderTilesAndTerrain)
{
    const QString source = Path(QStringLiteral("share/Textures"));
    WriteTiles(QStringLiteral("share/Textures"));

    CLauncher::Facts facts = CLauncher::Probe(Path(QStringLiteral("data")), {Path(QStringLiteral("none")), source});
    EXPECT_EQ(facts.folder, Folder::Missing);
    EXPECT_EQ(facts.missingTiles, kAllTiles);
    EXPECT_EQ(facts.tileSource, source);
    EXPECT_FALSE(facts.terrainPresent);

    Write(QStringLiteral("data/Textures/lowTile.bmp"), "x");
    Write(QStringLiteral("data/terrainMdt_8193x8193.bmp"), "h");
    facts = CLauncher::Probe(Path(QStringLiteral("data")), {});
    EXPECT_EQ(facts.folder, Folder::Ready);
    EXPECT_EQ(facts.missingTiles.size(), 4);
    EXPECT_FALSE(facts.missingTiles.contains(QStringLiteral("lowTile.bmp")));
    EXPECT_TRUE(facts.tileSource.isEmpty());
    EXPECT_FALSE(facts.terrainPresent) << "the texture file is still missing";

    Write(QStringLiteral("data/terrainMdt_8193x8193_Texture.bmp"), "t");
    facts = CLauncher::Probe(Path(QStringLiteral("data")), {});
    EXPECT_TRUE(facts.terrainPresent);
    EXPECT_TRUE(facts.terrainProblem.startsWith(QStringLiteral("terrainMdt_8193x8193.bmp: está cortado")))
        << facts.terrainProblem.toStdString();

    Write(QStringLiteral("plain-file"), "not a folder");
    EXPECT_EQ(CLauncher::Probe(Path(QStringLiteral("plain-file")), {}).folder, Folder::NotAFolder);
}

TEST_F(CLauncherDiskTest, TileSourceMustHoldAllFiveTiles)
{
    WriteTiles(QStringLiteral("partial"));
    ASSERT_TRUE(QFile::remove(Path(QStringLiteral("partial/HighTile.bmp"))));
    WriteTiles(QStringLiteral("complete"));
    EXPECT_EQ(CLauncher::FindTileSource({Path(QStringLiteral("partial")), Path(QStringLiteral("complete"))}),
              Path(QStringLiteral("complete")));
    EXPECT_TRUE(CLauncher::FindTileSource({Path(QStringLiteral("partial"))}).isEmpty());
}

TEST_F(CLauncherDiskTest, CopyKeepsTheUsersTilesAndLeavesThemWritable)
{
    const QString source = Path(QStringLiteral("share"));
    WriteTiles(QStringLiteral("share"));
    for (const QString& tile : kAllTiles) {
        ASSERT_TRUE(QFile::setPermissions(source + QLatin1Char('/') + tile, QFileDevice::ReadOwner));
    }
    Write(QStringLiteral("data/Textures/water1.bmp"), "the user's own water");

    ASSERT_EQ(CLauncher::CopyMissingTiles(source, Path(QStringLiteral("data"))), 0);
    EXPECT_EQ(Read(Path(QStringLiteral("data/Textures/water1.bmp"))), "the user's own water");
    for (const QString& tile : kAllTiles.mid(1)) {
        const QString copied = Path(QStringLiteral("data/Textures/") + tile);
        EXPECT_EQ(Read(copied), "tile " + tile.toUtf8());
        EXPECT_TRUE(QFile::permissions(copied) & QFileDevice::WriteOwner);
        EXPECT_FALSE(QFileInfo::exists(copied + QStringLiteral(".part")));
    }
    EXPECT_TRUE(CLauncher::Probe(Path(QStringLiteral("data")), {}).missingTiles.isEmpty());
}

TEST_F(CLauncherDiskTest, CopyFailsWithoutLeavingPartialTiles)
{
    WriteTiles(QStringLiteral("share"));
    ASSERT_TRUE(QFile::remove(Path(QStringLiteral("share/lowTile.bmp"))));
    EXPECT_EQ(CLauncher::CopyMissingTiles(Path(QStringLiteral("share")), Path(QStringLiteral("data"))), -1);
    EXPECT_EQ(CLauncher::Probe(Path(QStringLiteral("data")), {}).missingTiles, QStringList{QStringLiteral("lowTile.bmp")});
    EXPECT_TRUE(QDir(Path(QStringLiteral("data/Textures"))).entryList({QStringLiteral("*.part")}).isEmpty());

    Write(QStringLiteral("blocker"), "a file where the folder should go");
    EXPECT_EQ(CLauncher::CopyMissingTiles(Path(QStringLiteral("share")), Path(QStringLiteral("blocker"))), -1);
}

} // namespace
