// The full-window flight view: F11, a double click on the render control and
// one on the OpenGL window inside it lay the render control over the whole
// form; the same again gives every control back its geometry and visibility.
#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QFrame>
#include <QList>
#include <QRect>
#include <QTest>
#include <QWindow>

#include "tests/QtApplicationEnvironment.h"
#include "view/CFullViewToggle.h"
#include "view/CvantaPeakView.h"

namespace {

struct Placed {
    QWidget* widget;
    QRect geometry;
    bool hidden;
};

QList<Placed> Snapshot(const QWidget& form)
{
    QList<Placed> placed;
    for (QWidget* widget : form.findChildren<QWidget*>())
        placed.push_back({widget, widget->geometry(), widget->isHidden()});
    return placed;
}

void ExpectRestored(const QList<Placed>& before, const QWidget& form, const char* how)
{
    const QList<Placed> after = Snapshot(form);
    ASSERT_EQ(after.size(), before.size()) << how;
    for (int i = 0; i < before.size(); ++i) {
        EXPECT_EQ(after[i].widget, before[i].widget) << how;
        EXPECT_EQ(after[i].geometry, before[i].geometry) << how << ": " << i << " "
                                                         << before[i].widget->metaObject()->className();
        EXPECT_EQ(after[i].hidden, before[i].hidden) << how;
    }
}

class FullViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_view.resize(m_view.FormSize());
        m_view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_view));
    }
    CvantaPeakView m_view;
};

} // namespace

TEST_F(FullViewTest, EachWayInCoversTheFormAndTheSameWayOutRestoresEveryControl)
{
    CFullViewToggle* toggle = m_view.FullView();
    ASSERT_NE(toggle, nullptr);
    QWidget* render = m_view.RenderControl();
    // A control the user cannot see stays hidden on the way back.
    QWidget* hiddenOne = m_view.findChildren<QWidget*>().last();
    hiddenOne->hide();
    const QList<Placed> before = Snapshot(m_view);
    const QRect renderBefore = render->geometry();
    ASSERT_NE(renderBefore, m_view.rect());

    const struct {
        const char* how;
        std::function<void()> act;
    } ways[] = {
        {"F11", [this] { QTest::keyClick(&m_view, Qt::Key_F11); }},
        {"double click on the render control",
         [render] { QTest::mouseDClick(render, Qt::LeftButton, Qt::NoModifier, render->rect().center()); }},
        {"Toggle", [toggle] { toggle->Toggle(); }},
    };
    for (const auto& way : ways) {
        way.act();
        ASSERT_TRUE(toggle->Active()) << way.how;
        EXPECT_EQ(render->geometry(), m_view.rect()) << way.how;
        way.act();
        EXPECT_FALSE(toggle->Active()) << way.how;
        ExpectRestored(before, m_view, way.how);
    }
}

TEST_F(FullViewTest, DoubleClickOnTheOpenGLWindowTogglesToo)
{
    // The render surface's window takes the mouse before any widget: the
    // toggle listens to it directly.
    QWindow window;
    window.resize(50, 40);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    m_view.FullView()->WatchWindow(&window);
    const QList<Placed> before = Snapshot(m_view);
    QTest::mouseDClick(&window, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_TRUE(m_view.FullView()->Active());
    QTest::mouseDClick(&window, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_FALSE(m_view.FullView()->Active());
    ExpectRestored(before, m_view, "window double clicks");
}
