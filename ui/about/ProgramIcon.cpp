#include "ui/about/ProgramIcon.h"

#include <QColor>
#include <QPainter>
#include <QPointF>
#include <QRectF>

// Drawn on a 32-unit grid; packaging/icons/qmxconfig.svg repeats these shapes and colours.
void DrawProgramIcon(QPainter& painter, int size) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(31, 78, 140));
    painter.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 5, 5);

    // Housing, four mounting holes and the shaft.
    painter.setBrush(QColor(225, 230, 238));
    painter.drawRoundedRect(QRectF(5, 5, 22, 22), 3, 3);
    painter.setBrush(QColor(31, 78, 140));
    for (const QPointF& hole : {QPointF(8, 8), QPointF(24, 8), QPointF(8, 24), QPointF(24, 24)})
        painter.drawEllipse(hole, 1.4, 1.4);
    painter.setBrush(QColor(150, 160, 175));
    painter.drawEllipse(QPointF(16, 16), 6.5, 6.5);
    painter.setBrush(QColor(40, 40, 48));
    painter.drawEllipse(QPointF(16, 16), 2.5, 2.5);
    painter.restore();
}
