// The application shell: start-up, menu, accelerators, document commands,
// about box, command line and recent-file list.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <vector>

#include "app/CAboutDlg.h"
#include "app/CMainFrame.h"
#include "app/CvantaPeakApp.h"
#include "view/CvantaPeakView.h"
#include "view/MessageBox.h"

namespace {

CvantaPeakApp* g_app = nullptr;
QTemporaryDir* g_settingsDir = nullptr;

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        g_settingsDir = new QTemporaryDir;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, g_settingsDir->path());
        static int argc = 1;
        static char name[] = "vantapeak";
        static char* argv[] = {name, nullptr};
        g_app = new CvantaPeakApp(argc, argv);
    }
    void TearDown() override
    {
        delete g_app;
        delete g_settingsDir;
    }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SetMessageBoxHook([this](const QString& text) { m_messages.append(text); });
        CvantaPeakApp::SetFileDialogHook([this](bool save) {
            m_dialogs.push_back(save);
            return m_answer;
        });
        QSettings().remove(QStringLiteral("Recent File List"));
    }
    void TearDown() override
    {
        SetMessageBoxHook(nullptr);
        CvantaPeakApp::SetFileDialogHook(nullptr);
        CvantaPeakApp::SetAboutDialogHook(nullptr);
    }

    bool Start(const QStringList& extra = {})
    {
        return g_app->InitInstance(QStringList{QStringLiteral("vantapeak")} + extra);
    }
    CMainFrame* Frame() { return g_app->MainFrame(); }
    QLineEdit* MinErrorEdit() { return qobject_cast<QLineEdit*>(Frame()->View()->Control(1014)); }
    QString FilePath(const char* name) { return m_dir.filePath(QString::fromLatin1(name)); }
    void WriteFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QAction* Accelerator(int id)
    {
        for (QAction* action : Frame()->Accelerators())
            if (action->data().toInt() == id) return action;
        return nullptr;
    }

    QTemporaryDir m_dir;
    QStringList m_messages;
    std::vector<bool> m_dialogs;
    QString m_answer;
};

}  // namespace

TEST_F(AppTest, StartsWithTheFrameTheFormAndAnEmptyDocument)
{
    ASSERT_TRUE(Start());
    CMainFrame* frame = Frame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("vantaPeak"));
    EXPECT_FALSE(frame->windowIcon().isNull());
    EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("Local AppWizard-Generated Applications"));
    auto* scroller = qobject_cast<QScrollArea*>(frame->centralWidget());
    ASSERT_NE(scroller, nullptr);
    EXPECT_EQ(scroller->widget(), frame->View());
    // The initial update ran.
    EXPECT_EQ(MinErrorEdit()->text(), QStringLiteral("0.05"));
    EXPECT_TRUE(g_app->Document()->PathName().isEmpty());
    EXPECT_TRUE(m_messages.isEmpty());
}

TEST_F(AppTest, InitialUpdateShrinksTheFrameToFitButNeverGrowsIt)
{
    ASSERT_TRUE(Start());
    CMainFrame* frame = Frame();
    const QSize form = frame->View()->FormSize();
    frame->resize(form.width() + 300, form.height() + 300);
    frame->InitialUpdateFrame();
    EXPECT_EQ(frame->width(), form.width());
    EXPECT_EQ(frame->height(), form.height() + frame->menuBar()->height());
    const QSize small(form.width() - 200, form.height() - 200);
    frame->resize(small);
    frame->InitialUpdateFrame();
    EXPECT_EQ(frame->size(), small);
}

TEST_F(AppTest, MenuHasItsPopupsItemsAndIds)
{
    ASSERT_TRUE(Start());
    struct Item {
        const char* text;  // null: separator
        int id;
    };
    struct Popup {
        const char* title;
        std::vector<Item> items;
    };
    const std::vector<Popup> expected{
        {"&Terreno", {{"Generar terreno", 32771}, {nullptr, 0}, {"Salir", 57665}}},
        {"Ver", {{"Malla", 32774}, {"Textura", 32775}}},
        {"Simulación", {{"Iniciar", 32772}}},
        {"Ayuda", {{"&About vantaPeak...", 57664}}},
    };
    const QList<QAction*> popups = Frame()->menuBar()->actions();
    ASSERT_EQ(popups.size(), static_cast<int>(expected.size()));
    for (std::size_t p = 0; p < expected.size(); ++p) {
        EXPECT_EQ(popups[p]->text(), QString::fromUtf8(expected[p].title));
        QMenu* menu = popups[p]->menu();
        ASSERT_NE(menu, nullptr);
        const QList<QAction*> items = menu->actions();
        ASSERT_EQ(items.size(), static_cast<int>(expected[p].items.size())) << expected[p].title;
        for (std::size_t i = 0; i < expected[p].items.size(); ++i) {
            const Item& item = expected[p].items[i];
            if (item.text == nullptr) {
                EXPECT_TRUE(items[i]->isSeparator());
                continue;
            }
            EXPECT_EQ(items[i]->text(), QString::fromUtf8(item.text));
            EXPECT_EQ(items[i]->data().toInt(), item.id);
            EXPECT_FALSE(items[i]->isCheckable());
            EXPECT_TRUE(items[i]->isEnabled());
            EXPECT_TRUE(items[i]->shortcut().isEmpty());
        }
    }
}

TEST_F(AppTest, AcceleratorTableHasTheDefaultKeys)
{
    ASSERT_TRUE(Start());
    const std::vector<std::pair<QKeySequence, int>> expected{
        {QKeySequence(Qt::CTRL | Qt::Key_N), 57600},      {QKeySequence(Qt::CTRL | Qt::Key_O), 57601},
        {QKeySequence(Qt::CTRL | Qt::Key_S), 57603},      {QKeySequence(Qt::CTRL | Qt::Key_Z), 57643},
        {QKeySequence(Qt::CTRL | Qt::Key_X), 57635},      {QKeySequence(Qt::CTRL | Qt::Key_C), 57634},
        {QKeySequence(Qt::CTRL | Qt::Key_V), 57637},      {QKeySequence(Qt::ALT | Qt::Key_Backspace), 57643},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), 57635}, {QKeySequence(Qt::CTRL | Qt::Key_Insert), 57634},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), 57637}, {QKeySequence(Qt::Key_F6), 57680},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), 57681},
    };
    const QList<QAction*>& table = Frame()->Accelerators();
    ASSERT_EQ(table.size(), static_cast<int>(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(table[i]->shortcut(), expected[i].first) << i;
        EXPECT_EQ(table[i]->data().toInt(), expected[i].second) << i;
    }
}

TEST_F(AppTest, CtrlNReinitialisesTheDocumentWithoutPrompting)
{
    ASSERT_TRUE(Start());
    CMainFrame* frame = Frame();
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));
    MinErrorEdit()->setText(QStringLiteral("9"));
    frame->View()->setFocus();
    QTest::keyClick(frame->View(), Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(MinErrorEdit()->text(), QStringLiteral("0.05"));
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_TRUE(m_dialogs.empty());
}

TEST_F(AppTest, CtrlOOpensAFileAndReadsNothing)
{
    ASSERT_TRUE(Start());
    const QString path = FilePath("terrain.doc");
    WriteFile(path, "whatever");
    MinErrorEdit()->setText(QStringLiteral("9"));
    m_answer = path;
    Accelerator(57601)->trigger();
    ASSERT_EQ(m_dialogs, std::vector<bool>{false});
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("terrain.doc - vantaPeak"));
    EXPECT_EQ(MinErrorEdit()->text(), QStringLiteral("0.05"));
    EXPECT_EQ(g_app->RecentFiles().Files(), QStringList{QFileInfo(path).absoluteFilePath()});

    // A file that is not there: the framework's message, document unchanged.
    m_answer = FilePath("missing.doc");
    Accelerator(57601)->trigger();
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("missing.doc was not found.")});
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("terrain.doc - vantaPeak"));

    // Cancelled: nothing happens.
    m_answer.clear();
    Accelerator(57601)->trigger();
    EXPECT_EQ(m_messages.size(), 1);
}

TEST_F(AppTest, CtrlSAsksForANameAndWritesAnEmptyFile)
{
    ASSERT_TRUE(Start());
    const QString path = FilePath("saved.doc");
    WriteFile(path, "old contents");
    m_answer = path;
    Accelerator(57603)->trigger();
    ASSERT_EQ(m_dialogs, std::vector<bool>{true});
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("saved.doc - vantaPeak"));

    // The document now has a name, but saving asks again rather than
    // writing over the file it came from.
    Accelerator(57603)->trigger();
    EXPECT_EQ(m_dialogs.size(), 2u);

    // A folder that does not exist: a message, and no file.
    m_answer = FilePath("no/such/folder/x.doc");
    Accelerator(57603)->trigger();
    EXPECT_EQ(m_messages.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(m_answer));
}

TEST_F(AppTest, OtherAcceleratorsDoNothing)
{
    ASSERT_TRUE(Start());
    MinErrorEdit()->setText(QStringLiteral("9"));
    for (int id : {57643, 57635, 57634, 57637, 57680, 57681}) {
        EXPECT_FALSE(Frame()->OnCmdMsg(id)) << id;
        Accelerator(id)->trigger();
    }
    EXPECT_EQ(MinErrorEdit()->text(), QStringLiteral("9"));
    EXPECT_TRUE(m_messages.isEmpty());
    EXPECT_TRUE(m_dialogs.empty());
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("vantaPeak"));
}

TEST_F(AppTest, AboutBoxShowsTheVersionAndClosesWithOk)
{
    ASSERT_TRUE(Start());
    bool shown = false;
    CvantaPeakApp::SetAboutDialogHook([&](QDialog& dialog) {
        shown = true;
        auto& about = static_cast<CAboutDlg&>(dialog);
        EXPECT_EQ(about.windowTitle(), QStringLiteral("About vantaPeak"));
        EXPECT_EQ(about.VersionLabel()->text(), QStringLiteral("vantaPeak Version 1.0"));
        EXPECT_EQ(about.OkButton()->text(), QStringLiteral("OK"));
        EXPECT_TRUE(about.OkButton()->isDefault());
        EXPECT_FALSE(about.IconLabel()->pixmap().isNull());
        EXPECT_TRUE(about.isModal());
        // The version text starts right of the icon, the button at the right.
        EXPECT_GT(about.VersionLabel()->x(), about.IconLabel()->x());
        EXPECT_GT(about.OkButton()->x(), about.VersionLabel()->x());
        about.show();
        QTest::mouseClick(about.OkButton(), Qt::LeftButton);
        EXPECT_EQ(about.result(), QDialog::Accepted);
        EXPECT_FALSE(about.isVisible());
    });
    // From the menu item "&About vantaPeak...".
    QAction* item = Frame()->menuBar()->actions().last()->menu()->actions().first();
    item->trigger();
    EXPECT_TRUE(shown);
}

TEST_F(AppTest, ExitItemClosesTheFrame)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Frame()->isVisible());
    QAction* exitItem = Frame()->menuBar()->actions().first()->menu()->actions().last();
    exitItem->trigger();
    EXPECT_FALSE(Frame()->isVisible());
}

TEST_F(AppTest, CommandLineFileMustOpen)
{
    const QString missing = FilePath("absent.doc");
    EXPECT_FALSE(Start({missing}));
    EXPECT_EQ(g_app->ExitCode(), 1);
    EXPECT_EQ(g_app->MainFrame(), nullptr);
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("absent.doc was not found.")});

    const QString present = FilePath("present.doc");
    WriteFile(present, "");
    ASSERT_TRUE(Start({present}));
    EXPECT_EQ(g_app->CommandLine().fileName, present);
    EXPECT_EQ(Frame()->windowTitle(), QStringLiteral("present.doc - vantaPeak"));

    EXPECT_FALSE(Start({QStringLiteral("--no-such-option")}));
    EXPECT_EQ(g_app->ExitCode(), 2);
    EXPECT_FALSE(Start({present, present}));
}

TEST_F(AppTest, TerminationSignalClosesTheFrameAsExitDoes)
{
    for (int signalNumber : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signalNumber);
        ASSERT_TRUE(Start({QStringLiteral("--tour")}));
        EXPECT_TRUE(g_app->CommandLine().tour);
        ASSERT_TRUE(Frame()->isVisible());
        std::raise(signalNumber);
        for (int i = 0; i < 100 && Frame()->isVisible(); ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        EXPECT_FALSE(Frame()->isVisible());
    }
}

TEST_F(AppTest, StatisticsRowsReachTheFileWithoutWaitingForTheClose)
{
    const QString path = FilePath("s.csv");
    ASSERT_TRUE(Start({QStringLiteral("--stats"), path}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("t_ms,roam_ms,draw_ms,triangles,fps,x,y,z,paging,ground\n"));

    EXPECT_FALSE(Start({QStringLiteral("--stats"), m_dir.filePath(QStringLiteral("no/such/folder/s.csv"))}));
    EXPECT_EQ(g_app->ExitCode(), 2);
}

TEST_F(AppTest, RecentFileListKeepsTheFourNewest)
{
    ASSERT_TRUE(Start());
    QStringList paths;
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        paths << FilePath(name);
        WriteFile(paths.last(), "");
        m_answer = paths.last();
        Accelerator(57601)->trigger();
    }
    m_answer = paths[2];  // "c" again moves to the front
    Accelerator(57601)->trigger();
    const QStringList expected{paths[2], paths[4], paths[3], paths[1]};
    EXPECT_EQ(g_app->RecentFiles().Files(), expected);
    QSettings settings;
    EXPECT_EQ(settings.value(QStringLiteral("Recent File List/File1")).toString(), paths[2]);
    EXPECT_EQ(settings.value(QStringLiteral("Recent File List/File4")).toString(), paths[1]);
    EXPECT_FALSE(settings.contains(QStringLiteral("Recent File List/File5")));
}

TEST_F(AppTest, LookOptionChoosesHowTheFlightIsDrawn)
{
    ASSERT_TRUE(Start());
    EXPECT_EQ(g_app->CommandLine().look, Look::Classic) << "the original picture by default";
    ASSERT_TRUE(Start({QStringLiteral("--look"), QStringLiteral("enhanced")}));
    EXPECT_EQ(g_app->CommandLine().look, Look::Enhanced);
    ASSERT_TRUE(Start({QStringLiteral("--look=classic")}));
    EXPECT_EQ(g_app->CommandLine().look, Look::Classic);
    EXPECT_FALSE(Start({QStringLiteral("--look"), QStringLiteral("modern")}));
    EXPECT_EQ(g_app->ExitCode(), 2);
}
