#include "overview/COverviewControl.h"

#include <QPainter>

#include "overview/COverviewMap.h"

COverviewControl::COverviewControl(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

void COverviewControl::SetMap(COverviewMap* map)
{
    m_map = map;
    update();
}

void COverviewControl::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (m_map == nullptr) {
        return;
    }
    const QRect client = contentsRect();
    QPainter painter(this);
    painter.translate(client.topLeft());
    painter.setClipRect(QRect(QPoint(0, 0), client.size()));
    m_map->Paint(painter);
}
