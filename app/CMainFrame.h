#pragma once
// The main window: menu 128, accelerator table 128, the application icon,
// and the simulation form as its only view (scrolled when the window is
// smaller than the form). Every command, from the menu, the accelerators or
// the form's buttons, goes through OnCmdMsg: view first, then the document,
// then the application.
//
// User-interface thread only.
#include <QMainWindow>

#include <functional>

class CvantaPeakView;
class QAction;
class QScrollArea;

class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    // `appCommand` handles what the view does not (the application's and
    // the document's commands); it returns false for a command nobody
    // handles, which then does nothing.
    explicit CMainFrame(std::function<bool(int)> appCommand, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CvantaPeakView* View() const { return m_view; }
    // Routes a command id; false when no handler took it.
    bool OnCmdMsg(int id);

    // The view's initial update, as after a new or opened document.
    void InitialUpdateFrame();
    // "<name> - vantaPeak", or "vantaPeak" while the document is untitled.
    void UpdateTitle(const QString& documentPath);

    // The accelerator actions, in table order (not in any menu).
    const QList<QAction*>& Accelerators() const { return m_accelerators; }

protected:
    // Ends the simulation's threads before Qt destroys the window's
    // surfaces ("Salir", the close box, SIGTERM and --quit-after all close
    // through here).
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenu();
    void CreateAccelerators();
    QAction* AddCommand(QWidget* owner, const QString& text, int id);

    std::function<bool(int)> m_appCommand;
    QScrollArea* m_scroller;
    CvantaPeakView* m_view;
    QList<QAction*> m_accelerators;
};
