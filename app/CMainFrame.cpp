#include "app/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>

#include <utility>

#include "app/AppIcon.h"
#include "app/CommandIds.h"
#include "view/CvantaPeakView.h"

CMainFrame::CMainFrame(std::function<bool(int)> appCommand, QWidget* parent)
    : QMainWindow(parent), m_appCommand(std::move(appCommand))
{
    setWindowIcon(MakeAppIcon());
    UpdateTitle(QString());
    CreateMenu();
    CreateAccelerators();

    m_view = new CvantaPeakView;
    m_scroller = new QScrollArea(this);
    m_scroller->setFrameShape(QFrame::NoFrame);
    m_scroller->setWidgetResizable(true);
    m_scroller->setWidget(m_view);
    setCentralWidget(m_scroller);
    connect(m_view, &CvantaPeakView::destroyed, this, [this] { m_view = nullptr; });
    // "Iniciar" while a simulation runs would have nothing sound to do: the
    // item is disabled once the render thread runs.
    if (QAction* start = findChild<QAction*>(QString::number(CvantaPeakView::ID_START_SIMULATION))) {
        connect(m_view, &CvantaPeakView::simulationStarted, start, [start] { start->setEnabled(false); });
    }

    // A new frame starts as large as the screen allows; the view's initial
    // update shrinks it to fit the form.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        resize(screen->availableSize());
    }
}

CMainFrame::~CMainFrame()
{
    // The view (and with it the simulation's threads) goes before the frame.
    delete m_scroller;
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    if (m_view != nullptr) {
        m_view->StopSimulation();
    }
    QMainWindow::closeEvent(event);
}

QAction* CMainFrame::AddCommand(QWidget* owner, const QString& text, int id)
{
    auto* action = new QAction(text, this);
    action->setObjectName(QString::number(id));
    action->setData(id);
    action->setMenuRole(QAction::NoRole);
    owner->addAction(action);
    connect(action, &QAction::triggered, this, [this, id] { OnCmdMsg(id); });
    return action;
}

void CMainFrame::CreateMenu()
{
    QMenuBar* bar = menuBar();
    QMenu* terrain = bar->addMenu(QString::fromUtf8("&Terreno"));
    AddCommand(terrain, QString::fromUtf8("Generar terreno"), CvantaPeakView::ID_GENERATE_TERRAIN);
    terrain->addSeparator();
    AddCommand(terrain, QString::fromUtf8("Salir"), ID_APP_EXIT);

    QMenu* display = bar->addMenu(QString::fromUtf8("Ver"));
    AddCommand(display, QString::fromUtf8("Malla"), CvantaPeakView::ID_WIREFRAME);
    AddCommand(display, QString::fromUtf8("Textura"), CvantaPeakView::ID_TEXTURED);

    QMenu* simulation = bar->addMenu(QString::fromUtf8("Simulación"));
    AddCommand(simulation, QString::fromUtf8("Iniciar"), CvantaPeakView::ID_START_SIMULATION);

    QMenu* help = bar->addMenu(QString::fromUtf8("Ayuda"));
    AddCommand(help, QString::fromUtf8("&About vantaPeak..."), ID_APP_ABOUT);
}

void CMainFrame::CreateAccelerators()
{
    struct Accelerator {
        QKeySequence keys;
        int id;
    };
    const Accelerator table[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_N), ID_FILE_NEW},
        {QKeySequence(Qt::CTRL | Qt::Key_O), ID_FILE_OPEN},
        {QKeySequence(Qt::CTRL | Qt::Key_S), ID_FILE_SAVE},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), ID_EDIT_UNDO},
        {QKeySequence(Qt::CTRL | Qt::Key_X), ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_C), ID_EDIT_COPY},
        {QKeySequence(Qt::CTRL | Qt::Key_V), ID_EDIT_PASTE},
        {QKeySequence(Qt::ALT | Qt::Key_Backspace), ID_EDIT_UNDO},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), ID_EDIT_CUT},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), ID_EDIT_COPY},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), ID_EDIT_PASTE},
        {QKeySequence(Qt::Key_F6), ID_NEXT_PANE},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), ID_PREV_PANE},
    };
    for (const Accelerator& accelerator : table) {
        QAction* action = AddCommand(this, QString(), accelerator.id);
        action->setShortcut(accelerator.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        m_accelerators.append(action);
    }
}

bool CMainFrame::OnCmdMsg(int id)
{
    if (id == ID_APP_EXIT) {
        close();
        return true;
    }
    if (m_view != nullptr && m_view->OnCommand(id)) {
        return true;
    }
    return m_appCommand && m_appCommand(id);
}

void CMainFrame::InitialUpdateFrame()
{
    if (m_view != nullptr) {
        m_view->OnInitialUpdate();
    }
}

void CMainFrame::UpdateTitle(const QString& documentPath)
{
    const QString application = QStringLiteral("vantaPeak");
    if (documentPath.isEmpty()) {
        setWindowTitle(application);
    } else {
        setWindowTitle(QFileInfo(documentPath).fileName() + QStringLiteral(" - ") + application);
    }
}
