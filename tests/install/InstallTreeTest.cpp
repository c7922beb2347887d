// What `make install` puts in place: this build installed with DESTDIR and a
// prefix into a temporary root, then its file list and the files that tie
// the desktop together (menu entry, icons, manual pages) checked.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

const QStringList kPrograms = {QStringLiteral("vantapeak"), QStringLiteral("vantapeak-launcher"),
    QStringLiteral("vantapeak-snapshot"), QStringLiteral("vantapeak-terrain"), QStringLiteral("vantapeak-tiles")};
const int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QStringList ExpectedFiles()
{
    QStringList files;
    for (const QString& program : kPrograms) {
        files << QStringLiteral("bin/") + program << QStringLiteral("share/man/man1/%1.1.gz").arg(program);
    }
    files << QStringLiteral("share/applications/vantapeak.desktop") << QStringLiteral("share/mime/packages/vantapeak.xml")
          << QStringLiteral("share/doc/vantapeak/changelog.gz")
          << QStringLiteral("share/doc/vantapeak/copyright")
          << QStringLiteral("share/icons/hicolor/scalable/apps/vantapeak.svg");
    for (const int size : kIconSizes) {
        files << QStringLiteral("share/icons/hicolor/%1x%1/apps/vantapeak.png").arg(size);
    }
    for (const char* tile : {"water1.bmp", "lowestTile.bmp", "lowTile.bmp", "HighTile.bmp", "highestTile.bmp"}) {
        files << QStringLiteral("share/vantapeak/Textures/") + QLatin1String(tile);
    }
    files.sort();
    return files;
}

// Output of a program, or a null array when it failed.
QByteArray Output(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return {};
    }
    return process.readAllStandardOutput();
}

class InstallTreeTest : public ::testing::Test {
protected:
    // One installation for all the tests of this program.
    static void SetUpTestSuite()
    {
        s_root = new QTemporaryDir;
        ASSERT_TRUE(s_root->isValid());
        QProcess install;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DESTDIR"), s_root->path());
        install.setProcessEnvironment(environment);
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(VP_CMAKE_COMMAND),
            {QStringLiteral("--install"), QStringLiteral(VP_BINARY_DIR), QStringLiteral("--prefix"),
             QStringLiteral("/opt/vp")});
        ASSERT_TRUE(install.waitForFinished(120000));
        ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
    }

    static void TearDownTestSuite()
    {
        delete s_root;
        s_root = nullptr;
    }

    static QString Prefix() { return s_root->path() + QStringLiteral("/opt/vp"); }

    static inline QTemporaryDir* s_root = nullptr;
};

TEST_F(InstallTreeTest, InstallsExactlyTheExpectedFilesUnderDestdirAndPrefix)
{
    QStringList installed;
    QDirIterator it(s_root->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        installed << QDir(Prefix()).relativeFilePath(it.next());
    }
    installed.sort();
    EXPECT_EQ(installed, ExpectedFiles()) << "installed:\n" << installed.join(QLatin1Char('\n')).toStdString();
    for (const QString& program : kPrograms) {
        EXPECT_TRUE(QFileInfo(Prefix() + QStringLiteral("/bin/") + program).isExecutable()) << program.toStdString();
    }
}

TEST_F(InstallTreeTest, MenuEntryRunsTheInstalledLauncherWithTheInstalledIcon)
{
    QSettings entry(Prefix() + QStringLiteral("/share/applications/vantapeak.desktop"), QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    EXPECT_EQ(entry.value(QStringLiteral("Type")).toString(), QStringLiteral("Application"));
    EXPECT_EQ(entry.value(QStringLiteral("Terminal")).toString(), QStringLiteral("false"));
    const QString exec = entry.value(QStringLiteral("Exec")).toString().section(QLatin1Char(' '), 0, 0);
    // Elevation files opened from a file manager reach the launcher.
    EXPECT_TRUE(entry.value(QStringLiteral("Exec")).toString().endsWith(QStringLiteral(" %F")));
    EXPECT_TRUE(entry.value(QStringLiteral("MimeType")).toString().contains(QStringLiteral("image/tiff")));
    EXPECT_TRUE(QFileInfo(Prefix() + QStringLiteral("/bin/") + exec).isExecutable()) << exec.toStdString();
    EXPECT_EQ(entry.value(QStringLiteral("Icon")).toString(), QStringLiteral("vantapeak"));

    for (const int size : kIconSizes) {
        QImageReader reader(Prefix() + QStringLiteral("/share/icons/hicolor/%1x%1/apps/vantapeak.png").arg(size));
        EXPECT_EQ(reader.format(), "png");
        EXPECT_EQ(reader.size(), QSize(size, size));
    }
}

TEST_F(InstallTreeTest, MenuEntryPassesTheDesktopValidator)
{
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) {
        GTEST_SKIP() << "desktop-file-validate is not installed (make package installs it)";
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(validator, {Prefix() + QStringLiteral("/share/applications/vantapeak.desktop")});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QByteArray report = process.readAll();
    EXPECT_EQ(process.exitCode(), 0) << report.toStdString();
    EXPECT_FALSE(report.contains("error")) << report.toStdString();
}

TEST_F(InstallTreeTest, EachProgramHasAManualPageMadeFromItsHelp)
{
    for (const QString& program : kPrograms) {
        SCOPED_TRACE(program.toStdString());
        const QByteArray page =
            Output(QStringLiteral("gzip"), {QStringLiteral("-dc"), Prefix() + QStringLiteral("/share/man/man1/%1.1.gz").arg(program)});
        ASSERT_FALSE(page.isEmpty());
        EXPECT_TRUE(page.contains(".TH " + program.toUpper().toUtf8() + " \"1\"")) << page.left(400).toStdString();
        EXPECT_TRUE(page.contains("\n.SH NAME\n" + program.toUtf8() + " \\- ")) << page.left(400).toStdString();
        // --help's options become the page's option list.
        EXPECT_TRUE(page.contains("\\fB\\-\\-help\\fR")) << page.toStdString();
        EXPECT_TRUE(page.contains("1.0"));
    }
}

} // namespace
