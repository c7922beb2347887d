#include "app/CvantaPeakApp.h"

#include <QDialog>
#include <QFile>
#include <QTimer>
#include <QFileDialog>
#include <QSettings>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "app/AppIcon.h"
#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CSignalCloser.h"
#include "app/CommandIds.h"
#include "app/ProgramOptions.h"
#include "config/Version.h"
#include "render/Angles.h"
#include "terrain/CTileCache.h"
#include "view/CStatsFile.h"
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
    setApplicationVersion(QString::fromLatin1(kVantaPeakVersion));
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
    m_signalCloser.reset();
    m_signalCloser = std::make_unique<CSignalCloser>([this] {
        if (m_frame) {
            m_frame->close();
        }
    });
    if (m_signalCloser->Install() != 0) {
        std::fprintf(stderr, "vantapeak: no se pueden atender las señales SIGINT y SIGTERM\n");
    }
    return ApplyFlightOptions();
}

bool CvantaPeakApp::ApplyFlightOptions()
{
    CvantaPeakView* view = m_frame->View();
    view->SetStartSpeed(m_commandLine.speedKmh);
    view->SetTurnRate(DegreesToRadians(m_commandLine.turnDegreesPerSecond));
    view->SetClearance(m_commandLine.clearance);
    view->SetTour(m_commandLine.tour);
    view->SetLook(m_commandLine.look);
    view->SetTerrainFiles(m_commandLine.terrainFiles, m_commandLine.imageryFile, m_commandLine.verticalScale);
    view->SetScripted(m_commandLine.start && m_commandLine.quitAfterSeconds > 0.0);
    CTileCache::Configure(CTileCache::DefaultFolder(), static_cast<std::int64_t>(m_commandLine.cacheSizeMb * 1048576.0));
    if (!m_commandLine.statsFile.isEmpty()) {
        m_statsFile = std::make_unique<CStatsFile>();
        if (m_statsFile->Open(QFile::encodeName(m_commandLine.statsFile).toStdString(),
                              "t_ms,roam_ms,draw_ms,triangles,fps,x,y,z,paging,ground\n")
            != 0) {
            m_statsFile.reset();
            std::fprintf(stderr, "vantapeak: no se puede escribir %s\n", qPrintable(m_commandLine.statsFile));
            m_exitCode = 2;
            return false;
        }
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

bool CvantaPeakApp::ParseCommandLine(const QStringList& arguments)
{
    std::vector<std::string> words;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        words.push_back(arguments[i].toStdString());
    }
    std::string text;
    switch (ParseProgramOptions(words, m_commandLine, text)) {
    case COptionParser::Result::Help:
    case COptionParser::Result::Version:
        std::fputs(text.c_str(), stdout);
        m_exitCode = 0;
        return false;
    case COptionParser::Result::Error:
        std::fputs(text.c_str(), stderr);
        m_exitCode = COptionParser::kUsageError;
        return false;
    case COptionParser::Result::Run:
        break;
    }
    return true;
}

int CvantaPeakApp::Run()
{
    const int code = exec();
    if (!m_statsFile) {
        return code;
    }
    // The frame's close has ended the render thread; the file is complete
    // once closed, or has lost rows.
    if (m_frame && m_frame->View() != nullptr) {
        m_frame->View()->StopSimulation();
        m_frame->View()->SetStatsFile(nullptr);
    }
    const int closed = m_statsFile->Close();
    return code != 0 || closed == 0 ? code : 1;
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
