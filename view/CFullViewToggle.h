#pragma once
// The full-window flight view: F11 or a double click on the render area
// lays the render control over the whole form (the picture and its
// statistics lines are scaled to it by the presentation); the same again
// puts every control of the form back where it was, geometry and
// visibility exactly as saved, and its place in the stacking order. The form's own layout is never changed.
//
// Threads: user-interface thread only.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>

class QWidget;
class QWindow;

class CFullViewToggle : public QObject {
    Q_OBJECT
public:
    // `form` holds the controls; `renderControl` is the one laid over it.
    // F11 anywhere in the form's window toggles; so does a double click on
    // the render control or on a window added with WatchWindow.
    CFullViewToggle(QWidget* form, QWidget* renderControl);

    // Double clicks that reach `window` (the OpenGL window inside the render
    // control, which takes the mouse before any widget sees it) toggle too.
    void WatchWindow(QWindow* window);

    void Toggle();
    bool Active() const { return m_active; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Saved {
        QPointer<QWidget> widget;
        QRect geometry;
        bool hidden;
    };
    QWidget* m_form;
    QWidget* m_renderControl;
    bool m_active = false;
    QList<Saved> m_saved;     // every descendant of the form, while active
    QPointer<QWidget> m_above; // the sibling stacked just above the render control
};
