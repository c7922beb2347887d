// The navigation buttons, the arrow keys, the display mode and "Aplicar".
#include "view/CvantaPeakView.h"

#include <QKeyEvent>
#include <QWindow>

#include "landscape/CLandscape.h"
#include "render/DeviceSetup.h"
#include "render/Angles.h"
#include "render/IDevice.h"
#include "render/Overlay.h"
#include "render/gl/CQtWindowContext.h"
#include "render/gl/Direct3D.h"

namespace {

// One move step in world units.
constexpr float kMoveStep = 20.0f;

} // namespace

void CvantaPeakView::AfterNavigation()
{
    // While the render thread runs, the change shows in its next frame; once
    // the simulation has been stopped (the window closing) nothing renders.
    if (!m_renderThread.joinable() && !m_stop.load()) {
        RenderFrame();
    }
}

void CvantaPeakView::OnMoveLeft()
{
    m_camera.Strafe(-kMoveStep);
    AfterNavigation();
}

void CvantaPeakView::OnMoveRight()
{
    m_camera.Strafe(kMoveStep);
    AfterNavigation();
}

void CvantaPeakView::OnMoveUp()
{
    if (!ChangeClearance(kMoveStep)) {
        m_camera.Rise(kMoveStep);
    }
    AfterNavigation();
}

void CvantaPeakView::OnMoveDown()
{
    if (!ChangeClearance(-kMoveStep)) {
        m_camera.Rise(-kMoveStep);
    }
    AfterNavigation();
}

void CvantaPeakView::OnMoveForward()
{
    m_camera.Advance(kMoveStep);
    AfterNavigation();
}

void CvantaPeakView::OnMoveBackward()
{
    m_camera.Advance(-kMoveStep);
    AfterNavigation();
}

void CvantaPeakView::OnTurnLeft()
{
    m_camera.Turn(-kTurnStep);
    AfterNavigation();
}

void CvantaPeakView::OnTurnRight()
{
    m_camera.Turn(kTurnStep);
    AfterNavigation();
}

void CvantaPeakView::OnWireframe()
{
    if (m_device == nullptr) {
        return;
    }
    m_textured = false;
    SetFillMode(m_device, true);
}

void CvantaPeakView::OnTextured()
{
    if (m_device == nullptr) {
        return;
    }
    m_textured = true;
    SetFillMode(m_device, false);
}

void CvantaPeakView::OnApply()
{
    // A failed conversion has shown its message; the members keep what the
    // exchange left in them, and those values are handed on all the same.
    UpdateData(true);
    if (!m_started) {
        return;
    }
    std::lock_guard<std::mutex> guard(m_landscapeLock);
    if (m_landscape != nullptr) {
        m_landscape->m_minError = m_minError;
        m_landscape->m_maxRenderTime = m_maxRenderTime;
    }
}

void CvantaPeakView::OnKeyDown(int key)
{
    // The arrow keys steer like the buttons: up and down fly forward and
    // back, left and right turn. Nothing happens before a device exists.
    if (m_device == nullptr) {
        return;
    }
    switch (key) {
    case Qt::Key_Up:
        OnMoveForward();
        break;
    case Qt::Key_Down:
        OnMoveBackward();
        break;
    case Qt::Key_Left:
        OnTurnLeft();
        break;
    case Qt::Key_Right:
        OnTurnRight();
        break;
    default:
        break;
    }
}

void CvantaPeakView::ReleaseGraphics()
{
    // Font first, then the device; the render thread has ended and the
    // landscape (with its buffer and texture) is gone by now.
    if (m_device != nullptr || g_font != nullptr) {
        ReleaseDirect3D();
    }
    m_device = nullptr;
    m_camera.SetDevice(nullptr);
    if (m_contextProvider != nullptr) {
        // Take the window out of its container, which would delete it too.
        if (QWindow* window = m_contextProvider->Window()) {
            window->setParent(nullptr);
        }
        m_contextProvider.reset();
    }
}
