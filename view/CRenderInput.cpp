#include "view/CRenderInput.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

#include "view/CvantaPeakView.h"

CRenderInput::CRenderInput(CvantaPeakView* view) : QObject(view), m_view(view) {}

bool CRenderInput::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_dragging = true;
            m_lastPosition = mouse->position();
        }
        break;
    }
    case QEvent::MouseMove: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_dragging && (mouse->buttons() & Qt::LeftButton)) {
            const QPointF delta = mouse->position() - m_lastPosition;
            m_lastPosition = mouse->position();
            const int dx = static_cast<int>(std::lround(delta.x()));
            const int dy = static_cast<int>(std::lround(delta.y()));
            if (dx != 0 || dy != 0) {
                m_view->OnMouseLook(dx, dy);
            }
        } else {
            m_dragging = false;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            m_dragging = false;
        }
        break;
    case QEvent::Wheel: {
        // Fine-grained wheels send parts of a notch; they add up.
        m_wheelRemainder += static_cast<QWheelEvent*>(event)->angleDelta().y();
        const int notches = m_wheelRemainder / kNotch;
        m_wheelRemainder -= notches * kNotch;
        if (notches != 0) {
            m_view->OnWheelSpeed(notches);
        }
        return true;
    }
    case QEvent::KeyPress:
        return m_view->OnRenderKey(static_cast<QKeyEvent*>(event)->key());
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
