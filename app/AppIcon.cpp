#include "app/AppIcon.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

QPixmap DrawAppIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.scale(size / 64.0, size / 64.0);

    // Rounded square of sky, dark blue at the top to a warm horizon.
    QPainterPath frame;
    frame.addRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    QLinearGradient sky(0, 2, 0, 62);
    sky.setColorAt(0.0, QColor(18, 32, 72));
    sky.setColorAt(0.65, QColor(64, 96, 160));
    sky.setColorAt(1.0, QColor(232, 164, 96));
    painter.fillPath(frame, sky);
    painter.setClipPath(frame);

    // Far range, then the main peak with its snow cap.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(84, 108, 156));
    painter.drawPolygon(QPolygonF({QPointF(0, 50), QPointF(14, 34), QPointF(24, 42), QPointF(40, 28),
                                   QPointF(64, 46), QPointF(64, 64), QPointF(0, 64)}));
    QLinearGradient rock(0, 12, 0, 62);
    rock.setColorAt(0.0, QColor(158, 136, 112));
    rock.setColorAt(0.6, QColor(96, 112, 70));
    rock.setColorAt(1.0, QColor(46, 82, 40));
    painter.setBrush(rock);
    const QPointF summit(30, 12);
    painter.drawPolygon(QPolygonF({QPointF(-2, 64), QPointF(16, 36), summit, QPointF(46, 38),
                                   QPointF(66, 64)}));
    painter.setBrush(QColor(244, 248, 255));
    painter.drawPolygon(QPolygonF({summit, QPointF(20, 28), QPointF(25, 25), QPointF(29, 30),
                                   QPointF(34, 24), QPointF(40, 28)}));

    // A thin outline keeps the shape readable on any background.
    painter.setClipping(false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(10, 16, 32), 1.5));
    painter.drawPath(frame);
    return pixmap;
}

QIcon MakeAppIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(DrawAppIcon(size));
    }
    return icon;
}
