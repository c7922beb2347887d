// Input in the render area beyond the form's controls: looking around with
// the mouse, the speed on the wheel, the steering keys, and the clearance of
// terrain following. All of it on the user-interface thread; the camera
// takes the changes under its own lock and the render thread shows them in
// its next frame.
#include "view/CvantaPeakView.h"

#include <QSlider>

#include <algorithm>

#include "flight/CClearanceController.h"
#include "view/CRenderInput.h"

namespace {

// Radians of turn or pitch per pixel dragged.
constexpr float kLookPerPixel = 0.0043633231f; // a quarter of a degree
// How far the camera may pitch up or down, radians (80 degrees).
constexpr float kMaxPitch = 1.3962634f;
// Speed change per wheel notch, km/h (one slider position is one km/h).
constexpr int kWheelStepKmh = 10;

} // namespace

void CvantaPeakView::OnMouseLook(int dx, int dy)
{
    // Dragging right turns right; dragging down looks down.
    if (dx != 0) {
        m_camera.Turn(static_cast<float>(dx) * kLookPerPixel);
    }
    if (dy != 0) {
        m_camera.Pitch(static_cast<float>(dy) * kLookPerPixel, kMaxPitch);
    }
    AfterNavigation();
}

void CvantaPeakView::OnWheelSpeed(int notches)
{
    // The top of the slider (position 0) is the fastest: a notch away from
    // the user moves the thumb up.
    if (m_speedSlider == nullptr) {
        return;
    }
    m_speedSlider->setValue(m_speedSlider->value() - notches * kWheelStepKmh);
}

bool CvantaPeakView::OnRenderKey(int key)
{
    switch (key) {
    case Qt::Key_W:
        OnMoveForward();
        return true;
    case Qt::Key_S:
        OnMoveBackward();
        return true;
    case Qt::Key_A:
        OnMoveLeft();
        return true;
    case Qt::Key_D:
        OnMoveRight();
        return true;
    case Qt::Key_Q:
        OnMoveDown();
        return true;
    case Qt::Key_E:
        OnMoveUp();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
        // The arrow keys steer as they do while the view has the focus.
        OnKeyDown(key);
        return true;
    default:
        return false;
    }
}

void CvantaPeakView::SetClearance(float clearance)
{
    m_clearance = clearance > 0.0f ? CClearanceController::Bounded(clearance) : 0.0f;
}

bool CvantaPeakView::ChangeClearance(float step)
{
    const float clearance = m_clearance.load();
    if (clearance <= 0.0f) {
        return false;
    }
    m_clearance = CClearanceController::Bounded(clearance + step);
    return true;
}

void CvantaPeakView::WatchRenderInput(QObject* target)
{
    if (m_renderInput == nullptr) {
        m_renderInput = new CRenderInput(this);
    }
    target->installEventFilter(m_renderInput);
}
