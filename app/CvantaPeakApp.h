#pragma once
// The application: start-up (InitInstance), the document, the main frame
// with the view, the recent-file list under the settings key, the message
// loop (Run) and the application's commands (new, open, save, about).
//
// Exactly one instance, created by main() before anything else of Qt's.
// User-interface thread only.
#include <QApplication>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <memory>

#include "app/CCommandLineInfo.h"
#include "app/CRecentFileList.h"
#include "app/CvantaPeakDoc.h"

class CMainFrame;
class CSignalCloser;
class CStatsFile;

class CvantaPeakApp : public QApplication {
    Q_OBJECT

public:
    // Organisation name of the settings (the settings key of the framework).
    static constexpr const char* kSettingsKey = "Local AppWizard-Generated Applications";
    static constexpr int kRecentFiles = 4;

    CvantaPeakApp(int& argc, char** argv);
    ~CvantaPeakApp() override;

    // Start-up: settings key, recent-file list, document, frame and view,
    // command line, main window shown. False when start-up failed (a file on
    // the command line that cannot be opened, a bad option) or when the
    // command line only asked for help; ExitCode() then says how to end.
    bool InitInstance();
    bool InitInstance(const QStringList& arguments);
    int ExitCode() const { return m_exitCode; }

    // The message loop; returns the exit code: the loop's, or 1 when the
    // statistics file lost rows (reported on standard error).
    int Run();

    // The application's and the document's commands; false for any other id.
    bool OnCommand(int id);
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    void OnAppAbout();

    // Opens `path` as the document: false (message shown) when it cannot be
    // opened, the current document then stays as it was.
    bool OpenDocumentFile(const QString& path);

    CMainFrame* MainFrame() const { return m_frame.get(); }
    CvantaPeakDoc* Document() const { return m_document.get(); }
    const CRecentFileList& RecentFiles() const { return m_recentFiles; }
    const CCommandLineInfo& CommandLine() const { return m_commandLine; }

    // Asks the user for a file name: save true for a file to write. Returns
    // an empty string when the user cancels. Tests replace the dialog with a
    // hook that answers instead; an empty function restores the dialog.
    using FileDialogHook = std::function<QString(bool save)>;
    static void SetFileDialogHook(FileDialogHook hook);
    // Shows the about box modally; tests may replace it with a hook that gets
    // the dialog instead of running it.
    using AboutDialogHook = std::function<void(QDialog& dialog)>;
    static void SetAboutDialogHook(AboutDialogHook hook);

private:
    // Fills m_commandLine; false (message printed) on a bad command line.
    bool ParseCommandLine(const QStringList& arguments);
    QString AskFileName(bool save) const;
    // Hands the flight options to the view; false when the statistics file
    // cannot be written.
    bool ApplyFlightOptions();

    // Declared before the frame, so the view (and its render thread) is gone
    // before the file closes.
    std::unique_ptr<CStatsFile> m_statsFile;

    CRecentFileList m_recentFiles{kRecentFiles};
    CCommandLineInfo m_commandLine;
    std::unique_ptr<CvantaPeakDoc> m_document;
    std::unique_ptr<CMainFrame> m_frame;
    // SIGINT and SIGTERM close the frame as "Salir" does.
    std::unique_ptr<CSignalCloser> m_signalCloser;
    int m_exitCode = 0;
};
