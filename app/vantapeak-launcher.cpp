// vantapeak-launcher: what the desktop menu entry runs. It opens vantaPeak in
// the user's data folder, preparing that folder on first use (tiles, and the
// default terrain if the user wants it); see CLauncher for the decisions.

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "app/AppIcon.h"
#include "app/CLaunchSequence.h"
#include "app/CLauncher.h"
#include "terrain/CTerrainGenerator.h"
#include "terrain/TerrainFiles.h"

namespace {

const QString kCaption = QStringLiteral("vantaPeak");

void Usage(std::FILE* out)
{
    std::fputs("Uso: vantapeak-launcher [opciones]\n"
               "\n"
               "Abre vantaPeak en su carpeta de datos, $XDG_DATA_HOME/vantapeak (por defecto\n"
               "~/.local/share/vantapeak). La primera vez copia allí las cinco texturas y, si\n"
               "no hay terreno, ofrece generar el terreno predeterminado; después inicia\n"
               "vantapeak en esa carpeta con las opciones --start --tour --speed 500\n"
               "--clearance 50 --look enhanced.\n"
               "\n"
               "Opciones:\n"
               "  --help     muestra esta ayuda\n"
               "  --version  muestra la versión\n",
        out);
}

bool AskGenerate(const QString& dataDir)
{
    QMessageBox box(QMessageBox::Question, kCaption,
        QStringLiteral("No hay terreno en %1.\n\n¿Generar ahora el terreno predeterminado? "
                       "Tarda unos minutos y ocupa unos 550 MB.")
            .arg(dataDir));
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
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            Usage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vantapeak-launcher %s\n", VP_VERSION);
            return 0;
        }
        std::fprintf(stderr, "vantapeak-launcher: opción no válida: %s\n", argv[i]);
        Usage(stderr);
        return 2;
    }

    QApplication app(argc, argv);
    app.setApplicationName(kCaption);
    app.setWindowIcon(MakeAppIcon());

    const QString dataDir = CLauncher::DataFolder(qEnvironmentVariable("XDG_DATA_HOME"), qEnvironmentVariable("HOME"));
    CLaunchSequence sequence(dataDir, CLauncher::TileCandidates(QCoreApplication::applicationDirPath()),
        {AskGenerate, Generate, Start, ShowError});
    return sequence.Run() == 0 ? 0 : 1;
}
