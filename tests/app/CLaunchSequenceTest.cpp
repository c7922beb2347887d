// The launcher's whole run on a real folder, with the user's answers, the
// generator and the program start replaced by recording fakes.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <vector>

#include "app/CLaunchSequence.h"
#include "terrain/CBitmapEx.h"

namespace {

using Generation = CLaunchSequence::Generation;
using Step = CLauncher::Step;

const char* const kTiles[] = {"water1.bmp", "lowestTile.bmp", "lowTile.bmp", "HighTile.bmp", "highestTile.bmp"};

void Touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
}

// A real (small) bitmap, as the generator would write it.
void WriteBitmap(const QString& path)
{
    QDir().mkpath(QFileInfo(path).path());
    CBitmapEx bitmap;
    ASSERT_EQ(bitmap.CreateBlank(8, 8), 0);
    for (int i = 0; i < 64; ++i) {
        bitmap.WritePixel(i % 8, i / 8, 0x404040u);
    }
    ASSERT_EQ(bitmap.SaveToFile(QFile::encodeName(path).constData()), 0);
}

class CLaunchSequenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        m_source = m_root.filePath(QStringLiteral("share/vantapeak/Textures"));
        for (const char* tile : kTiles) {
            Touch(m_source + QLatin1Char('/') + QLatin1String(tile));
        }
        m_dataDir = m_root.filePath(QStringLiteral("xdg/vantapeak"));
    }

    // Runs the launcher; the fake generator writes the two terrain files
    // when `generation` is Done.
    int Run(bool answer, Generation generation)
    {
        CLaunchSequence::Actions actions;
        actions.askGenerate = [this, answer](const QString&, const QString& problem) {
            ++m_asked;
            m_problem = problem;
            return answer;
        };
        actions.generate = [this, generation](const QString& dir) {
            ++m_generated;
            if (generation == Generation::Done) {
                WriteBitmap(dir + QStringLiteral("/terrainMdt_8193x8193.bmp"));
                WriteBitmap(dir + QStringLiteral("/terrainMdt_8193x8193_Texture.bmp"));
            }
            return generation;
        };
        actions.start = [this](const QString& dir, const QStringList& arguments) {
            m_startedIn = dir;
            m_arguments = arguments;
            ++m_starts;
            return m_startResult;
        };
        actions.showError = [this](const QString& message) { m_errors << message; };
        m_sequence = std::make_unique<CLaunchSequence>(m_dataDir, QStringList{m_source}, actions);
        return m_sequence->Run();
    }

    std::vector<Step> Steps() const { return m_sequence->Steps(); }

    QTemporaryDir m_root;
    QString m_source;
    QString m_dataDir;
    int m_startResult = 0;
    int m_asked = 0;
    QString m_problem; // what the last question said about the terrain there
    int m_generated = 0;
    int m_starts = 0;
    QString m_startedIn;
    QStringList m_arguments;
    QStringList m_errors;
    std::unique_ptr<CLaunchSequence> m_sequence;
};

TEST_F(CLaunchSequenceTest, FirstUsePreparesTheFolderThenFlies)
{
    ASSERT_EQ(Run(true, Generation::Done), 0);
    EXPECT_EQ(Steps(), (std::vector<Step>{Step::CreateFolder, Step::CopyTiles, Step::OfferTerrain, Step::StartFlight}));
    for (const char* tile : kTiles) {
        EXPECT_TRUE(QFileInfo::exists(m_dataDir + QStringLiteral("/Textures/") + QLatin1String(tile)));
    }
    EXPECT_EQ(m_startedIn, m_dataDir);
    EXPECT_EQ(m_arguments, (QStringList{"--start", "--tour", "--speed", "500", "--clearance", "50", "--look", "enhanced"}));
    EXPECT_TRUE(m_errors.isEmpty());

    // The second time everything is there: straight into the flight.
    ASSERT_EQ(Run(true, Generation::Done), 0);
    EXPECT_EQ(Steps(), (std::vector<Step>{Step::StartFlight}));
    EXPECT_EQ(m_asked, 1);
    EXPECT_EQ(m_generated, 1);
}

TEST_F(CLaunchSequenceTest, DeclinedCancelledOrFailedGenerationOpensTheForm)
{
    struct Case {
        bool answer;
        Generation generation;
        int generated;
    };
    for (const Case c : {Case{false, Generation::Done, 0}, Case{true, Generation::Cancelled, 1},
                         Case{true, Generation::Failed, 1}}) {
        SCOPED_TRACE(static_cast<int>(c.generation) + 10 * c.answer);
        m_generated = 0;
        ASSERT_EQ(Run(c.answer, c.generation), 0);
        EXPECT_EQ(Steps().back(), Step::StartPlain);
        EXPECT_EQ(m_generated, c.generated);
        EXPECT_TRUE(m_arguments.isEmpty());
        EXPECT_TRUE(m_errors.isEmpty());
    }
}

TEST_F(CLaunchSequenceTest, DamagedTerrainIsOfferedAgainInsteadOfFlown)
{
    // A heightmap cut short: present, but the program could not read it.
    ASSERT_EQ(Run(true, Generation::Done), 0);
    const QString heightmap = m_dataDir + QStringLiteral("/terrainMdt_8193x8193.bmp");
    ASSERT_TRUE(QFile::resize(heightmap, 100));

    ASSERT_EQ(Run(false, Generation::Done), 0);
    EXPECT_EQ(Steps(), (std::vector<Step>{Step::OfferTerrain, Step::StartPlain}));
    EXPECT_TRUE(m_problem.startsWith(QStringLiteral("terrainMdt_8193x8193.bmp: está cortado"))) << m_problem.toStdString();
    EXPECT_TRUE(m_arguments.isEmpty()) << "declined: the form, not the flight";

    ASSERT_EQ(Run(true, Generation::Done), 0);
    EXPECT_EQ(Steps(), (std::vector<Step>{Step::OfferTerrain, Step::StartFlight}));
    EXPECT_EQ(m_generated, 2);
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(CLaunchSequenceTest, FolderThatCannotBeCreatedIsReportedOnce)
{
    Touch(m_root.filePath(QStringLiteral("xdg")));
    EXPECT_EQ(Run(true, Generation::Done), -1);
    EXPECT_EQ(Steps(), (std::vector<Step>{Step::CreateFolder, Step::Fail}));
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors.first().startsWith(QStringLiteral("No se puede crear la carpeta de datos")));
    EXPECT_EQ(m_starts, 0);
}

TEST_F(CLaunchSequenceTest, ProgramThatCannotStartIsReported)
{
    m_startResult = -1;
    EXPECT_EQ(Run(false, Generation::Done), -1);
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_EQ(m_errors.first(), QStringLiteral("No se pudo iniciar vantapeak en %1.").arg(m_dataDir));
}

} // namespace
