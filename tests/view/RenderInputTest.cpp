// Mouse and keys in the render area: a left-button drag turns and pitches
// the camera (within 80 degrees), the wheel moves the speed slider, W/S/A/D/
// Q/E step like the buttons, and nothing changes before the user does any of it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include <cmath>

#include "view/CvantaPeakView.h"
#include "tests/QtApplicationEnvironment.h"

namespace {

constexpr float kDegree = 0.017453292f;

class InputView : public CvantaPeakView {
public:
    using CvantaPeakView::m_camera;
    using CvantaPeakView::m_speedSlider;
};

class RenderInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_surface = new QWidget;
        m_view.SetRenderSurface(m_surface);
        m_view.show();
        m_view.UpdateData(false); // attaches the slider
        m_view.m_speedSlider->setRange(0, 1000);
        m_view.m_speedSlider->setValue(1000);
        m_view.m_camera.SetPosition({100.0f, 50.0f, 100.0f});
        m_view.m_camera.Apply();
    }

    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, QPointF(at), m_surface->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(m_surface, &event);
    }
    // A left-button drag from `from` to `to` in `steps` moves.
    void Drag(QPoint from, QPoint to, int steps = 4)
    {
        Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        for (int i = 1; i <= steps; ++i) {
            const QPoint at = from + (to - from) * i / steps;
            Mouse(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
        }
        Mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    void Wheel(int eighths)
    {
        const QPointF at(20, 20);
        QWheelEvent event(at, m_surface->mapToGlobal(at), QPoint(), QPoint(0, eighths), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_surface, &event);
    }
    CameraSnapshot Applied()
    {
        m_view.m_camera.Apply();
        return m_view.m_camera.Snapshot();
    }

    InputView m_view;
    QWidget* m_surface = nullptr;
};

} // namespace

TEST_F(RenderInputTest, NothingChangesBeforeTheUserSteers)
{
    const CameraSnapshot before = Applied();
    // Moves without a button, other buttons, other keys: nothing.
    Mouse(QEvent::MouseMove, {30, 30}, Qt::NoButton, Qt::NoButton);
    Mouse(QEvent::MouseButtonPress, {30, 30}, Qt::RightButton, Qt::RightButton);
    Mouse(QEvent::MouseMove, {90, 60}, Qt::NoButton, Qt::RightButton);
    Mouse(QEvent::MouseButtonRelease, {90, 60}, Qt::RightButton, Qt::NoButton);
    QTest::keyClick(m_surface, Qt::Key_X);
    QTest::keyClick(m_surface, Qt::Key_Space);
    EXPECT_FALSE(m_view.m_camera.Dirty());
    const CameraSnapshot after = Applied();
    EXPECT_EQ(after.position, before.position);
    EXPECT_EQ(after.look, before.look);
    EXPECT_EQ(m_view.m_speedSlider->value(), 1000);
    EXPECT_EQ(m_view.Clearance(), 0.0f);
}

TEST_F(RenderInputTest, DraggingTurnsAndPitchesWithinEightyDegrees)
{
    struct Case {
        QPoint to;            // from (100, 100)
        float yawDegrees;     // expected heading change, positive to the right
        float elevation;      // expected elevation after the drag, degrees
    } cases[] = {
        {{140, 100}, 10.0f, 0.0f},    // 40 pixels right: 10 degrees right
        {{60, 100}, -10.0f, 0.0f},    // left
        {{100, 180}, 0.0f, -20.0f},   // 80 pixels down: looks 20 degrees down
        {{100, 20}, 0.0f, 20.0f},     // up
        {{100, 600}, 0.0f, -80.0f},   // far down: held at the limit
        {{100, -400}, 0.0f, 80.0f},   // far up
    };
    for (const Case& c : cases) {
        m_view.m_camera.Reset();
        m_view.m_camera.SetPosition({100.0f, 50.0f, 100.0f});
        Drag({100, 100}, c.to);
        const CameraSnapshot s = Applied();
        EXPECT_NEAR(std::atan2(s.look.x, s.look.z) / kDegree, c.yawDegrees, 1e-2f) << c.to.x() << "," << c.to.y();
        EXPECT_NEAR(m_view.m_camera.Elevation() / kDegree, c.elevation, 1e-2f) << c.to.x() << "," << c.to.y();
        EXPECT_NEAR(s.right.y, 0.0f, 1e-5f);
        EXPECT_EQ(s.position, D3DXVECTOR3(100.0f, 50.0f, 100.0f)) << "looking does not move the eye";
    }
}

TEST_F(RenderInputTest, ADragEndsWithTheButton)
{
    Drag({100, 100}, {140, 100});
    const CameraSnapshot turned = Applied();
    Mouse(QEvent::MouseMove, {200, 100}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(Applied().look, turned.look);
}

TEST_F(RenderInputTest, TheWheelMovesTheSpeedSlider)
{
    struct Step {
        int eighths;  // of a degree; 120 is one notch
        int position; // slider position afterwards
    } steps[] = {
        {120, 990},  {240, 970}, {60, 970}, {60, 960}, // half notches add up
        {-120, 970}, {-480, 1000},                     // the slow end holds
    };
    for (const Step& s : steps) {
        Wheel(s.eighths);
        EXPECT_EQ(m_view.m_speedSlider->value(), s.position) << s.eighths;
    }
    m_view.m_speedSlider->setValue(5);
    Wheel(120);
    EXPECT_EQ(m_view.m_speedSlider->value(), 0) << "the fast end holds";
}

TEST_F(RenderInputTest, SteeringKeysStepLikeTheButtons)
{
    struct Case {
        Qt::Key key;
        D3DXVECTOR3 moved;
    } cases[] = {
        {Qt::Key_W, {0, 0, 20}}, {Qt::Key_S, {0, 0, -20}}, {Qt::Key_D, {20, 0, 0}},
        {Qt::Key_A, {-20, 0, 0}}, {Qt::Key_E, {0, 20, 0}}, {Qt::Key_Q, {0, -20, 0}},
        {Qt::Key_Up, {0, 0, 20}}, // the arrow keys steer here too once a device exists
    };
    for (const Case& c : cases) {
        const D3DXVECTOR3 before = Applied().position;
        QTest::keyClick(m_surface, c.key);
        const D3DXVECTOR3 after = Applied().position;
        if (c.key == Qt::Key_Up) {
            EXPECT_EQ(after, before) << "no device yet: the arrow keys do nothing";
        } else {
            EXPECT_EQ(after - before, c.moved) << QTest::toString(c.key);
        }
    }
}

TEST_F(RenderInputTest, WithTerrainFollowingUpAndDownChangeTheClearance)
{
    m_view.SetClearance(50.0f);
    const D3DXVECTOR3 before = Applied().position;
    QTest::keyClick(m_surface, Qt::Key_E);
    EXPECT_EQ(m_view.Clearance(), 70.0f);
    qobject_cast<QPushButton*>(m_view.Control(CvantaPeakView::IDC_UP))->click();
    EXPECT_EQ(m_view.Clearance(), 90.0f);
    qobject_cast<QPushButton*>(m_view.Control(CvantaPeakView::IDC_DOWN))->click();
    QTest::keyClick(m_surface, Qt::Key_Q);
    QTest::keyClick(m_surface, Qt::Key_Q);
    QTest::keyClick(m_surface, Qt::Key_Q);
    EXPECT_EQ(m_view.Clearance(), 10.0f) << "never below the least clearance";
    EXPECT_EQ(Applied().position, before) << "the eye itself is the follower's";

    m_view.SetClearance(0.0f);
    qobject_cast<QPushButton*>(m_view.Control(CvantaPeakView::IDC_UP))->click();
    EXPECT_EQ(Applied().position - before, D3DXVECTOR3(0, 20, 0)) << "off again: the button rises";
}
