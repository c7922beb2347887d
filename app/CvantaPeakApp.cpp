#include "app/CvantaPeakApp.h"

#include <QDialog>
#include <QFile>
#include <QTimer>
#include <QFileDialog>
#include <QSettings>

#include <cstdio>
#include <utility>

#include "app/AppIcon.h"
#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "render/Angles.h"
#include "view/CvantaPeakView.h"

namespace {

CvantaPeakApp::FileDialogHook& FileHook()
{
    static CvantaPeakApp::FileDialogHook hook;
    return hook;
}

CvantaPeakApp::AboutDialogHook& AboutHook()
{
    static CvantaPeakApp::AboutDialogHook hook;
    return hook;
}

}  // namespace

CvantaPeakApp::CvantaPeakApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("vantaPeak"));
    setApplicationVersion(QStringLiteral("1.0.0.1"));
    setWindowIcon(MakeAppIcon());
}

CvantaPeakApp::~CvantaPeakApp()
{
    // The frame destroys the view, which ends the simulation's threads.
    m_frame.reset();
    m_document.reset();
}

void CvantaPeakApp::SetFileDialogHook(FileDialogHook hook)
{
    FileHook() = std::move(hook);
}

void CvantaPeakApp::SetAboutDialogHook(AboutDialogHook hook)
{
    AboutHook() = std::move(hook);
}

bool CvantaPeakApp::InitInstance()
{
    return InitInstance(arguments());
}

bool CvantaPeakApp::InitInstance(const QStringList& arguments)
{
    // The framework's settings live under the settings key; only the
    // recent-file list is kept there.
    setOrganizationName(QString::fromLatin1(kSettingsKey));
    {
        QSettings settings;
        m_recentFiles.Load(settings);
    }

    if (!ParseCommandLine(arguments)) {
        return false;
    }

    m_document = std::make_unique<CvantaPeakDoc>();
    m_frame = std::make_unique<CMainFrame>([this](int id) { return OnCommand(id); });

    if (m_commandLine.fileName.isEmpty()) {
        OnFileNew();
    } else if (!OpenDocumentFile(m_commandLine.fileName)) {
        m_frame.reset();
        m_exitCode = 1;
        return false;
    }

    m_frame->show();
    return ApplyFlightOptions();
}

bool CvantaPeakApp::ApplyFlightOptions()
{
    CvantaPeakView* view = m_frame->View();
    view->SetStartSpeed(m_commandLine.speedKmh);
    view->SetTurnRate(DegreesToRadians(m_commandLine.turnDegreesPerSecond));
    view->SetLook(m_commandLine.look);
    if (!m_commandLine.statsFile.isEmpty()) {
        m_statsFile.reset(std::fopen(QFile::encodeName(m_commandLine.statsFile).constData(), "w"));
        if (!m_statsFile) {
            std::fprintf(stderr, "vantapeak: cannot write %s\n", qPrintable(m_commandLine.statsFile));
            m_exitCode = 2;
            return false;
        }
        std::fputs("t_ms,roam_ms,draw_ms,triangles,fps,x,y,z,paging\n", m_statsFile.get());
        view->SetStatsFile(m_statsFile.get());
    }
    if (m_commandLine.start) {
        // Once the window is shown and laid out, as a user's first command.
        QTimer::singleShot(0, view, [view] { view->OnCommand(CvantaPeakView::ID_START_SIMULATION); });
    }
    if (m_commandLine.quitAfterSeconds > 0.0) {
        QTimer::singleShot(static_cast<int>(m_commandLine.quitAfterSeconds * 1000.0), m_frame.get(),
                           [this] { m_frame->close(); });
    }
    return true;
}

void CvantaPeakApp::ConfigureCommandLine(QCommandLineParser& parser) const
{
    parser.setApplicationDescription(QStringLiteral("Real-time terrain fly-through."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("start"), QStringLiteral("Start the simulation at once.")});
    parser.addOption({QStringLiteral("speed"), QStringLiteral("Flight speed in km/h (0 to 1000)."),
                      QStringLiteral("KMH")});
    parser.addOption({QStringLiteral("turn"), QStringLiteral("Steady turn in degrees per second."),
                      QStringLiteral("DEG_PER_S")});
    parser.addOption({QStringLiteral("quit-after"),
                      QStringLiteral("Close the program after this many seconds."),
                      QStringLiteral("SECONDS")});
    parser.addOption({QStringLiteral("stats"),
                      QStringLiteral("Write one row of statistics per frame to this CSV file."),
                      QStringLiteral("FILE.csv")});
    parser.addOption({QStringLiteral("look"),
                      QStringLiteral("How the flight is drawn: classic (default) or enhanced."),
                      QStringLiteral("classic|enhanced"), QStringLiteral("classic")});
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("Document to open (optional)."),
                                 QStringLiteral("[file]"));
}

bool CvantaPeakApp::ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    ConfigureCommandLine(parser);
    m_commandLine = CCommandLineInfo();
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "vantapeak: %s\n", qPrintable(parser.errorText()));
        m_exitCode = 2;
        return false;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version"))) {
        m_commandLine.showHelp = parser.isSet(QStringLiteral("help"));
        m_commandLine.showVersion = !m_commandLine.showHelp;
        const QString text = m_commandLine.showHelp
            ? parser.helpText()
            : applicationName() + QLatin1Char(' ') + applicationVersion() + QLatin1Char('\n');
        std::fputs(qPrintable(text), stdout);
        m_exitCode = 0;
        return false;
    }
    // A number option: false (message printed) when it is set but is not a
    // number within [low, high].
    const auto readNumber = [&parser](const char* name, double low, double high, double& value) {
        const QString option = QString::fromLatin1(name);
        if (!parser.isSet(option)) {
            return true;
        }
        bool ok = false;
        const double number = parser.value(option).toDouble(&ok);
        if (!ok || !(number >= low && number <= high)) {
            std::fprintf(stderr, "vantapeak: --%s needs a number from %g to %g.\n", name, low, high);
            return false;
        }
        value = number;
        return true;
    };
    double speed = 0.0;
    double turn = 0.0;
    double quitAfter = 0.0;
    if (!readNumber("speed", 0.0, 1000.0, speed) || !readNumber("turn", -3600.0, 3600.0, turn) ||
        !readNumber("quit-after", 0.0, 1.0e6, quitAfter)) {
        m_exitCode = 2;
        return false;
    }
    m_commandLine.start = parser.isSet(QStringLiteral("start"));
    m_commandLine.speedKmh = static_cast<float>(speed);
    m_commandLine.turnDegreesPerSecond = static_cast<float>(turn);
    m_commandLine.quitAfterSeconds = quitAfter;
    m_commandLine.statsFile = parser.value(QStringLiteral("stats"));
    if (!ParseLook(parser.value(QStringLiteral("look")).toLatin1().constData(), &m_commandLine.look)) {
        std::fprintf(stderr, "vantapeak: --look needs classic or enhanced.\n");
        m_exitCode = 2;
        return false;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        std::fprintf(stderr, "vantapeak: only one file may be named.\n");
        m_exitCode = 2;
        return false;
    }
    if (!positional.isEmpty()) {
        m_commandLine.fileName = positional.first();
    }
    return true;
}

int CvantaPeakApp::Run()
{
    return exec();
}

bool CvantaPeakApp::OnCommand(int id)
{
    switch (id) {
    case ID_APP_ABOUT:
        OnAppAbout();
        return true;
    case ID_FILE_NEW:
        OnFileNew();
        return true;
    case ID_FILE_OPEN:
        OnFileOpen();
        return true;
    case ID_FILE_SAVE:
        OnFileSave();
        return true;
    default:
        return false;
    }
}

void CvantaPeakApp::OnFileNew()
{
    // The document is never modified, so nothing asks to save it first.
    if (!m_document->OnNewDocument()) {
        return;
    }
    m_frame->UpdateTitle(QString());
    m_frame->InitialUpdateFrame();
}

void CvantaPeakApp::OnFileOpen()
{
    const QString path = AskFileName(false);
    if (!path.isEmpty()) {
        OpenDocumentFile(path);
    }
}

bool CvantaPeakApp::OpenDocumentFile(const QString& path)
{
    if (!m_document->OnOpenDocument(path)) {
        return false;
    }
    m_document->SetPathName(path);
    QSettings settings;
    m_recentFiles.Add(path, settings);
    m_frame->UpdateTitle(path);
    m_frame->InitialUpdateFrame();
    return true;
}

void CvantaPeakApp::OnFileSave()
{
    // Always asks for the name: saving silently over the file the document
    // was opened from would replace that file (a heightmap, say) with an
    // empty one.
    const QString path = AskFileName(true);
    if (path.isEmpty() || !m_document->OnSaveDocument(path)) {
        return;
    }
    QSettings settings;
    m_recentFiles.Add(path, settings);
    m_frame->UpdateTitle(path);
}

void CvantaPeakApp::OnAppAbout()
{
    CAboutDlg dialog(m_frame.get());
    if (AboutHook()) {
        AboutHook()(dialog);
        return;
    }
    dialog.exec();
}

QString CvantaPeakApp::AskFileName(bool save) const
{
    if (FileHook()) {
        return FileHook()(save);
    }
    const QString filter = QStringLiteral("All Files (*)");
    if (save) {
        const QString suggested = m_document->PathName().isEmpty()
            ? QStringLiteral("vantaPeak")
            : m_document->PathName();
        return QFileDialog::getSaveFileName(m_frame.get(), QStringLiteral("Save As"), suggested, filter);
    }
    return QFileDialog::getOpenFileName(m_frame.get(), QStringLiteral("Open"), QString(), filter);
}
