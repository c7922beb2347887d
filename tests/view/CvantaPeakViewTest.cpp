// The simulation form: controls, layout, tab order, data exchange, command
// routing and what the handlers do before a simulation runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStringList>
#include <QTest>

#include <vector>

#include "overview/COverviewControl.h"
#include "view/CvantaPeakView.h"
#include "view/DialogUnits.h"
#include "view/MessageBox.h"
#include "tests/QtApplicationEnvironment.h"

namespace {

// The view with the members the tests look at.
class TestView : public CvantaPeakView {
public:
    using CvantaPeakView::m_camera;
    using CvantaPeakView::m_device;
    using CvantaPeakView::m_extentText;
    using CvantaPeakView::m_landscape;
    using CvantaPeakView::m_maxRenderTime;
    using CvantaPeakView::m_maxTrianglesText;
    using CvantaPeakView::m_minError;
    using CvantaPeakView::m_overviewControl;
    using CvantaPeakView::m_pagingCount;
    using CvantaPeakView::m_speedSlider;
    using CvantaPeakView::m_started;
    using CvantaPeakView::m_stop;
    using CvantaPeakView::m_textured;
};

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMessageBoxHook([this](const QString& text) { m_messages.append(text); });
        m_view.show();
    }
    void TearDown() override { SetMessageBoxHook(nullptr); }

    QLineEdit* Edit(int id) { return qobject_cast<QLineEdit*>(m_view.Control(id)); }
    QLabel* Static(int id) { return qobject_cast<QLabel*>(m_view.Control(id)); }
    QLabel* LabelWithText(const QString& text)
    {
        for (QLabel* label : m_view.findChildren<QLabel*>()) {
            if (label->text() == text) return label;
        }
        return nullptr;
    }

    QStringList m_messages;
    TestView m_view;
};

struct TemplateControl {
    int id;
    const char* text;  // null: no text of its own
    int x, y, width, height;
};

const TemplateControl kButtons[] = {
    {1001, "Izquierda", 7, 271, 50, 14},    {1002, "Derecha", 74, 271, 50, 14},
    {1003, "Arriba", 39, 254, 50, 14},      {1005, "Abajo", 39, 289, 50, 14},
    {1006, "Acercarse", 153, 256, 50, 14},  {1007, "Alejarse", 154, 275, 50, 14},
    {1008, "Girar Izq.", 217, 258, 50, 14}, {1010, "Girar Drch.", 276, 258, 50, 14},
    {1016, "Aplicar", 515, 339, 32, 14},
};

const TemplateControl kLabels[] = {
    {-1, "Error de Distorsión Minimo", 389, 300, 84, 8},
    {-1, "Tiempo Max.Render(mseg)", 389, 315, 87, 8},
    {-1, "Velocidad", 345, 361, 31, 8},
    {-1, "Extensión Total del Terreno (1 pixel=10 metros):", 17, 325, 157, 8},
    {-1, "Triangulos Máximos en el ROAM:", 17, 338, 105, 8},
};

}  // namespace

TEST_F(ViewTest, ButtonsAndLabelsHaveTheirTextsAndPlaces)
{
    for (const TemplateControl& control : kButtons) {
        auto* button = qobject_cast<QPushButton*>(m_view.Control(control.id));
        ASSERT_NE(button, nullptr) << control.id;
        EXPECT_EQ(button->objectName(), QString::number(control.id));
        EXPECT_EQ(button->text(), QString::fromUtf8(control.text));
        EXPECT_EQ(button->geometry(), m_view.MapDialogRect(control.x, control.y, control.width, control.height))
            << control.text;
    }
    for (const TemplateControl& control : kLabels) {
        QLabel* label = LabelWithText(QString::fromUtf8(control.text));
        ASSERT_NE(label, nullptr) << control.text;
        EXPECT_EQ(label->geometry(), m_view.MapDialogRect(control.x, control.y, control.width, control.height))
            << control.text;
    }
    QStringList groups;
    for (QGroupBox* group : m_view.findChildren<QGroupBox*>()) groups << group->title();
    groups.sort();
    EXPECT_EQ(groups, (QStringList{QString::fromUtf8("Información"), QStringLiteral("Parametros del ROAM")}));
}

TEST_F(ViewTest, StaticsEditsAndSliderAreOfTheirKinds)
{
    auto* render = qobject_cast<QFrame*>(m_view.Control(1000));
    ASSERT_NE(render, nullptr);
    EXPECT_EQ(render, m_view.RenderControl());
    EXPECT_EQ(render->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(render->geometry(), m_view.MapDialogRect(7, 7, 371, 240));
    EXPECT_EQ(render->focusPolicy(), Qt::NoFocus);

    auto* map = qobject_cast<COverviewControl*>(m_view.Control(1013));
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(map->geometry(), m_view.MapDialogRect(383, 7, 240, 240));

    for (int id : {1014, 1015}) {
        ASSERT_NE(Edit(id), nullptr) << id;
        EXPECT_TRUE(Edit(id)->hasFrame());
    }
    EXPECT_EQ(Edit(1014)->geometry(), m_view.MapDialogRect(485, 296, 27, 14));
    EXPECT_EQ(Edit(1015)->geometry(), m_view.MapDialogRect(485, 313, 28, 14));

    auto* slider = qobject_cast<QSlider*>(m_view.Control(1017));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->orientation(), Qt::Vertical);
    EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
    EXPECT_EQ(slider->geometry(), m_view.MapDialogRect(349, 287, 25, 68));
    // Not positioned yet; position 0 is the top, and Down moves the thumb down.
    EXPECT_EQ(slider->value(), 0);
    EXPECT_TRUE(slider->invertedAppearance());
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Down);
    EXPECT_EQ(slider->value(), 1);
    QTest::keyClick(slider, Qt::Key_Up);
    EXPECT_EQ(slider->value(), 0);

    EXPECT_EQ(Static(1018)->geometry(), m_view.MapDialogRect(180, 326, 104, 8));
    EXPECT_EQ(Static(1019)->geometry(), m_view.MapDialogRect(127, 338, 159, 8));
    EXPECT_EQ(Static(1018)->text(), QStringLiteral("Static"));
}

TEST_F(ViewTest, LayoutKeepsItsProportionsWithTheFont)
{
    const QSize base = DialogBaseUnits(m_view.font());
    EXPECT_EQ(m_view.FormSize(), QSize((639 * base.width() + 2) / 4, (390 * base.height() + 4) / 8));
    EXPECT_EQ(m_view.minimumSize(), m_view.FormSize());
    QFont bigger = m_view.font();
    bigger.setPointSizeF(bigger.pointSizeF() * 2);
    m_view.setFont(bigger);
    const QSize biggerBase = DialogBaseUnits(bigger);
    ASSERT_GT(biggerBase.width(), base.width());
    EXPECT_EQ(m_view.Control(1013)->geometry(), MapDialogRect(bigger, 383, 7, 240, 240));
    EXPECT_EQ(m_view.Control(1016)->geometry(), MapDialogRect(bigger, 515, 339, 32, 14));
}

TEST_F(ViewTest, TabOrderFollowsTheTemplate)
{
    const std::vector<int> expected{1001, 1002, 1003, 1005, 1006, 1007, 1008, 1010, 1014, 1015, 1016, 1017};
    std::vector<int> order;
    QWidget* widget = m_view.Control(1001);
    for (int i = 0; i < 64 && order.size() < expected.size(); ++i) {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->parentWidget() == &m_view) {
            order.push_back(widget->property("controlId").toInt());
        }
        widget = widget->nextInFocusChain();
    }
    EXPECT_EQ(order, expected);
}

TEST_F(ViewTest, InitialUpdateFillsTheControlsFromTheMembers)
{
    m_view.OnInitialUpdate();
    EXPECT_EQ(Edit(1014)->text(), QStringLiteral("0.05"));
    EXPECT_EQ(Edit(1015)->text(), QStringLiteral("200"));
    EXPECT_EQ(Static(1018)->text(), QString());
    EXPECT_EQ(Static(1019)->text(), QString());
    EXPECT_EQ(m_view.m_speedSlider, m_view.Control(1017));
    EXPECT_EQ(m_view.m_overviewControl, m_view.Control(1013));
    EXPECT_TRUE(m_messages.isEmpty());
    // Members before any start.
    EXPECT_EQ(m_view.m_landscape, nullptr);
    EXPECT_EQ(m_view.m_device, nullptr);
    EXPECT_FALSE(m_view.m_started);
    EXPECT_TRUE(m_view.m_textured);
    EXPECT_FALSE(m_view.m_stop);
    EXPECT_EQ(m_view.m_pagingCount, 0);
}

TEST_F(ViewTest, ExchangeReadsBothEditsAndTheStatics)
{
    m_view.OnInitialUpdate();
    Edit(1014)->setText(QStringLiteral(" 0.1 "));
    Edit(1015)->setText(QStringLiteral("50"));
    Static(1018)->setText(QStringLiteral("81.93 Kms  x  82 Kms"));
    EXPECT_TRUE(m_view.UpdateData(true));
    EXPECT_FLOAT_EQ(m_view.m_minError, 0.1f);
    EXPECT_EQ(m_view.m_maxRenderTime, 50u);
    EXPECT_EQ(m_view.m_extentText, QStringLiteral("81.93 Kms  x  82 Kms"));
    EXPECT_TRUE(m_messages.isEmpty());
    // And back: the controls show the members' values.
    m_view.m_maxTrianglesText = QStringLiteral("33538050");
    m_view.UpdateData(false);
    EXPECT_EQ(Edit(1014)->text(), QStringLiteral("0.1"));
    EXPECT_EQ(Static(1019)->text(), QStringLiteral("33538050"));
}

TEST_F(ViewTest, BadNumberStopsTheExchangeAtTheFirstEdit)
{
    m_view.OnInitialUpdate();
    Edit(1014)->setText(QStringLiteral("abc"));
    Edit(1015)->setText(QStringLiteral("50"));
    Static(1018)->setText(QStringLiteral("changed"));
    EXPECT_FALSE(m_view.UpdateData(true));
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Please enter a number.")});
    EXPECT_FLOAT_EQ(m_view.m_minError, 0.05f);
    EXPECT_EQ(m_view.m_maxRenderTime, 200u);
    EXPECT_EQ(m_view.m_extentText, QString());
    EXPECT_EQ(m_view.window()->focusWidget(), Edit(1014));
    EXPECT_EQ(Edit(1014)->selectedText(), QStringLiteral("abc"));
}

TEST_F(ViewTest, BadIntegerKeepsTheFloatAlreadyRead)
{
    m_view.OnInitialUpdate();
    Edit(1014)->setText(QStringLiteral("0.2"));
    Edit(1015)->setText(QStringLiteral("-5"));
    EXPECT_FALSE(m_view.UpdateData(true));
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Please enter a positive integer.")});
    EXPECT_FLOAT_EQ(m_view.m_minError, 0.2f);
    EXPECT_EQ(m_view.m_maxRenderTime, 200u);
    EXPECT_EQ(m_view.window()->focusWidget(), Edit(1015));
}

TEST_F(ViewTest, ApplyButtonRunsTheExchange)
{
    m_view.OnInitialUpdate();
    Edit(1014)->setText(QStringLiteral("0.3"));
    Edit(1015)->setText(QStringLiteral("x"));
    QTest::mouseClick(m_view.Control(1016), Qt::LeftButton);
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("Please enter a positive integer.")});
    EXPECT_FLOAT_EQ(m_view.m_minError, 0.3f);
    EXPECT_EQ(m_view.m_maxRenderTime, 200u);
}

TEST_F(ViewTest, EveryButtonAndMenuCommandReachesItsHandler)
{
    QSignalSpy routed(&m_view, &CvantaPeakView::commandRouted);
    const int buttons[] = {1001, 1002, 1003, 1005, 1006, 1007, 1008, 1010, 1016};
    for (int id : buttons) {
        QTest::mouseClick(m_view.Control(id), Qt::LeftButton);
    }
    ASSERT_EQ(routed.count(), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(routed.at(i).at(0).toInt(), buttons[i]);
    }
    using View = CvantaPeakView;
    const std::vector<std::pair<int, void (View::*)()>> expected{
        {1001, &View::OnMoveLeft},        {1002, &View::OnMoveRight},
        {1003, &View::OnMoveUp},          {1005, &View::OnMoveDown},
        {1006, &View::OnMoveForward},     {1007, &View::OnMoveBackward},
        {1008, &View::OnTurnLeft},        {1010, &View::OnTurnRight},
        {32771, &View::OnGenerateTerrain}, {32772, &View::OnStartSimulation},
        {32774, &View::OnWireframe},      {32775, &View::OnTextured},
        {1016, &View::OnApply},
    };
    ASSERT_EQ(View::CommandMap().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(View::CommandMap()[i].id, expected[i].first);
        EXPECT_TRUE(View::CommandMap()[i].handler == expected[i].second) << expected[i].first;
    }
    EXPECT_FALSE(m_view.OnCommand(57664));
    EXPECT_FALSE(m_view.OnCommand(1004));
}

TEST_F(ViewTest, ButtonsMoveTheCameraBeforeTheStart)
{
    const D3DXVECTOR3 start = m_view.m_camera.Position();
    QTest::mouseClick(m_view.Control(1003), Qt::LeftButton);  // "Arriba"
    EXPECT_FLOAT_EQ(m_view.m_camera.Position().y, start.y + 20.0f);
    QTest::mouseClick(m_view.Control(1006), Qt::LeftButton);  // "Acercarse"
    EXPECT_FLOAT_EQ(m_view.m_camera.Position().z, start.z + 20.0f);
    QTest::mouseClick(m_view.Control(1001), Qt::LeftButton);  // "Izquierda"
    EXPECT_FLOAT_EQ(m_view.m_camera.Position().x, start.x - 20.0f);
    // No device: the display mode stays textured.
    m_view.OnCommand(32774);
    EXPECT_TRUE(m_view.m_textured);
}

TEST_F(ViewTest, RenderSurfaceFillsTheRenderControl)
{
    auto* surface = new QWidget;
    m_view.SetRenderSurface(surface);
    EXPECT_EQ(m_view.RenderSurface(), surface);
    EXPECT_EQ(surface->parentWidget(), m_view.RenderControl());
    m_view.RenderControl()->layout()->activate();
    EXPECT_EQ(surface->geometry(), m_view.RenderControl()->contentsRect());
}

TEST(MessageBoxTest, IsModalWithOkWarningIconAndCaption)
{
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool modal = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        modal = box->isModal();
        box->button(QMessageBox::Ok)->click();
    });
    ShowMessageBox(QString::fromUtf8("Error en leer el fichero terrainMdt_8193x8193.bmp"));
    EXPECT_EQ(caption, QStringLiteral("vantaPeak"));
    EXPECT_EQ(text, QStringLiteral("Error en leer el fichero terrainMdt_8193x8193.bmp"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(modal);
}
