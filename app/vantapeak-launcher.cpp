// vantapeak-launcher: what the desktop menu entry runs. It opens vantaPeak in
// the user's data folder, preparing that folder on first use (tiles, and the
// default terrain if the user wants it); see CLauncher for the decisions.

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "app/AppIcon.h"
#include "app/CLaunchSequence.h"
#include "app/CLauncher.h"
#include "config/GuidedFlight.h"
#include "config/Version.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/TerrainFiles.h"

namespace {

const QString kCaption = QStringLiteral("vantaPeak");

// Words filled into lines of at most 79 columns.
std::string Fill(const std::string& text)
{
    constexpr std::size_t kColumns = 79;
    std::string filled;
    std::size_t lineLength = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::size_t wordLength = end - start;
        if (lineLength > 0 && lineLength + 1 + wordLength > kColumns) {
            filled += '\n';
            lineLength = 0;
        } else if (lineLength > 0) {
            filled += ' ';
            ++lineLength;
        }
        filled.append(text, start, wordLength);
        lineLength += wordLength;
        start = end + 1;
    }
    return filled + '\n';
}

void Usage(std::FILE* out)
{
    const std::string description =
        std::string("Abre vantaPeak en su carpeta de datos, $XDG_DATA_HOME/vantapeak (por defecto "
                    "~/.local/share/vantapeak). La primera vez copia allí las cinco texturas y, si "
                    "no hay terreno, ofrece generar el terreno predeterminado; después inicia "
                    "vantapeak en esa carpeta con las opciones ") +
        kGuidedFlightLine + ". Con ficheros de elevaciones (GeoTIFF, .hgt), vuela sobre ellos (--terrain) en "
                            "lugar del terreno de la carpeta.";
    std::fputs("Uso: vantapeak-launcher [opciones] [fichero...]\n\n", out);
    std::fputs(Fill(description).c_str(), out);
    std::fputs("\n"
               "Opciones:\n"
               "  --help     muestra esta ayuda\n"
               "  --version  muestra la versión\n",
        out);
}

bool AskGenerate(const QString& dataDir, const QString& problem)
{
    const QString question = problem.isEmpty()
        ? QStringLiteral("No hay terreno en %1.\n\n¿Generar ahora el terreno predeterminado? "
                         "Tarda unos minutos y ocupa unos 550 MB.")
              .arg(dataDir)
        : QStringLiteral("El terreno de %1 no se puede usar:\n%2.\n\n¿Generar de nuevo el terreno "
                         "predeterminado en su lugar? Tarda unos minutos y ocupa unos 550 MB.")
              .arg(dataDir, problem);
    QMessageBox box(QMessageBox::Question, kCaption, question);
    QPushButton* generate = box.addButton(QStringLiteral("Generar"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Ahora no"), QMessageBox::RejectRole);
    box.setDefaultButton(generate);
    box.exec();
    return box.clickedButton() == generate;
}

CLaunchSequence::Generation Generate(const QString& dataDir)
{
    CTerrainGenerator::Settings settings;
    settings.folder = QFileInfo(dataDir).absoluteFilePath().toStdString();
    settings.texturesFolder = settings.folder + "/" + TerrainFiles::kTilesFolder;
    settings.seed = static_cast<std::uint32_t>(std::time(nullptr));
    // As make run's terrain: the 16-bit heights and the soft painting, so
    // the enhanced flight shows no terraces.
    settings.heights16 = true;
    settings.blend = true;

    CTerrainGenerator generator;
    std::atomic<bool> finished{false};
    int result = -1;
    std::thread worker([&] {
        result = generator.Run(settings);
        finished.store(true, std::memory_order_release);
    });

    constexpr int kSteps = 1000;
    QProgressDialog progress(QStringLiteral("Generando el terreno predeterminado…"),
        QStringLiteral("Cancelar"), 0, kSteps);
    progress.setWindowTitle(kCaption);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (finished.load(std::memory_order_acquire)) {
            loop.quit();
            return;
        }
        if (progress.wasCanceled()) {
            progress.setLabelText(QStringLiteral("Cancelando…"));
            generator.Cancel();
        }
        // The maximum is reached only when the files are in place.
        progress.setValue(std::min(kSteps - 1, static_cast<int>(generator.Progress() * kSteps)));
    });
    poll.start(100);
    loop.exec();
    worker.join();
    progress.close();

    if (result == 0) {
        return CLaunchSequence::Generation::Done;
    }
    if (generator.CancelRequested()) {
        return CLaunchSequence::Generation::Cancelled;
    }
    QMessageBox::warning(nullptr, kCaption, QString::fromStdString(generator.Message()));
    return CLaunchSequence::Generation::Failed;
}

int Start(const QString& dataDir, const QStringList& arguments)
{
    // Installed or built, the program lies beside the launcher.
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/vantapeak");
    return QProcess::startDetached(program, arguments, dataDir) ? 0 : -1;
}

void ShowError(const QString& message)
{
    QMessageBox::warning(nullptr, kCaption, message);
}

} // namespace

int main(int argc, char** argv)
{
    // The options are read before any display is opened, so that --help
    // works anywhere.
    QStringList terrain;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            Usage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vantapeak-launcher %s\n", kVantaPeakVersion);
            return 0;
        }
        if (argv[i][0] != '-') {
            terrain << QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
            continue;
        }
        std::fprintf(stderr, "vantapeak-launcher: opción no válida: %s\n", argv[i]);
        Usage(stderr);
        return 2;
    }

    QApplication app(argc, argv);
    app.setApplicationName(kCaption);
    app.setWindowIcon(MakeAppIcon());

    if (!terrain.isEmpty()) {
        // Files opened from the desktop: flown straight from where they are,
        // painted with the installed tiles (the folder that holds Textures).
        QStringList arguments = CLauncher::FlightArguments();
        for (const QString& file : terrain) {
            arguments << QStringLiteral("--terrain") << file;
        }
        const QString tiles = CLauncher::FindTileSource(CLauncher::TileCandidates(QCoreApplication::applicationDirPath()));
        const QString folder = tiles.isEmpty() ? QDir::homePath() : QFileInfo(tiles).absolutePath();
        if (Start(folder, arguments) != 0) {
            ShowError(QString::fromUtf8("No se pudo iniciar vantapeak"));
            return 1;
        }
        return 0;
    }
    const QString dataDir = CLauncher::DataFolder(qEnvironmentVariable("XDG_DATA_HOME"), qEnvironmentVariable("HOME"));
    CLaunchSequence sequence(dataDir, CLauncher::TileCandidates(QCoreApplication::applicationDirPath()),
        {AskGenerate, Generate, Start, ShowError});
    return sequence.Run() == 0 ? 0 : 1;
}
