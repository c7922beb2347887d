#pragma once
// Mouse and keys in the render area: an event filter on the render surface
// (and on the OpenGL window inside it, which is where input arrives while
// frames are shown) that hands what the user does to the view's input
// handlers. A drag with the left button looks around, the wheel changes the
// speed, and the steering keys move the camera. Mouse presses, releases and
// double clicks are only watched, never taken, so other filters and the
// window itself still see them.
//
// Threads: the user-interface thread, as every event.
#include <QObject>
#include <QPointF>

class CvantaPeakView;

class CRenderInput : public QObject {
public:
    // `view` receives the input; it is also this filter's parent.
    explicit CRenderInput(CvantaPeakView* view);

    // One notch of a common mouse wheel, in eighths of a degree.
    static constexpr int kNotch = 120;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CvantaPeakView* m_view;
    bool m_dragging = false;
    QPointF m_lastPosition;
    int m_wheelRemainder = 0; // eighths of a degree short of a whole notch
};
