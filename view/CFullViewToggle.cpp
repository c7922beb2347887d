#include "view/CFullViewToggle.h"

#include <QEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QWidget>
#include <QWindow>

CFullViewToggle::CFullViewToggle(QWidget* form, QWidget* renderControl)
    : QObject(form), m_form(form), m_renderControl(renderControl)
{
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F11), form);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, this, &CFullViewToggle::Toggle);
    renderControl->installEventFilter(this);
}

void CFullViewToggle::WatchWindow(QWindow* window)
{
    if (window != nullptr)
        window->installEventFilter(this);
}

void CFullViewToggle::Toggle()
{
    if (!m_active) {
        m_saved.clear();
        for (QWidget* widget : m_form->findChildren<QWidget*>())
            m_saved.push_back({widget, widget->geometry(), widget->isHidden()});
        // The sibling just above the render control, to put it back under.
        m_above = nullptr;
        const QObjectList& siblings = m_renderControl->parent()->children();
        for (qsizetype i = siblings.indexOf(m_renderControl) + 1; i < siblings.size() && !m_above; ++i)
            if (auto* widget = qobject_cast<QWidget*>(siblings[i]))
                m_above = widget;
        m_active = true;
        m_renderControl->setGeometry(m_form->rect());
        m_renderControl->raise();
        return;
    }
    m_active = false;
    for (const Saved& saved : m_saved) {
        if (saved.widget.isNull())
            continue;
        saved.widget->setGeometry(saved.geometry);
        saved.widget->setHidden(saved.hidden);
    }
    m_saved.clear();
    if (!m_above.isNull())
        m_renderControl->stackUnder(m_above);
}

bool CFullViewToggle::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        Toggle();
        return true;
    }
    // While the view is full, the render control follows the form's size.
    if (m_active && watched == m_renderControl && event->type() == QEvent::Show)
        m_renderControl->setGeometry(m_form->rect());
    return QObject::eventFilter(watched, event);
}
