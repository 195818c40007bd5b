#include "batch/TfrmOperationPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace {

QPixmap transparentPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void drawCross(QPainter& painter)
{
    painter.setPen(QPen(QColor(128, 128, 128), 3.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(4.5, 4.5), QPointF(13.5, 13.5));
    painter.drawLine(QPointF(13.5, 4.5), QPointF(4.5, 13.5));
}

void drawTick(QPainter& painter)
{
    painter.setPen(QPen(QColor(0, 160, 0), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath path;
    path.moveTo(3.5, 9.5);
    path.lineTo(7.5, 13.5);
    path.lineTo(14.5, 4.5);
    painter.drawPath(path);
}

void drawArrow(QPainter& painter)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(220, 0, 0));
    const QPointF points[] = {{2, 6.5}, {9, 6.5}, {9, 2.5}, {16, 9}, {9, 15.5}, {9, 11.5}, {2, 11.5}};
    painter.drawPolygon(points, 7);
}

/// A gear of teeth around centre, outer radius r, with a hole.
void drawGear(QPainter& painter, QPointF centre, double r, int teeth, const QColor& colour)
{
    QPainterPath path;
    const double inner = r * 0.72;
    for (int i = 0; i < teeth * 4; ++i) {
        const double angle = 2 * M_PI * i / (teeth * 4);
        const double radius = (i % 4 == 1 || i % 4 == 2) ? r : inner;
        const QPointF p(centre.x() + radius * std::cos(angle), centre.y() + radius * std::sin(angle));
        if (i == 0)
            path.moveTo(p);
        else
            path.lineTo(p);
    }
    path.closeSubpath();
    path.addEllipse(centre, r * 0.3, r * 0.3);
    path.setFillRule(Qt::OddEvenFill);
    painter.setPen(QPen(colour.darker(150), 1));
    painter.setBrush(colour);
    painter.drawPath(path);
}

} // namespace

QPixmap StatePicture(TRowState state)
{
    QPixmap pixmap = transparentPixmap(StatePictureSize);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    switch (state) {
    case TRowState::Failed:
        drawCross(painter);
        break;
    case TRowState::Succeeded:
        drawTick(painter);
        break;
    case TRowState::Running:
        drawArrow(painter);
        break;
    case TRowState::None:
        break;
    }
    return pixmap;
}

QPixmap GearsPicture()
{
    QPixmap pixmap = transparentPixmap(32);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    drawGear(painter, QPointF(12, 12), 10.5, 8, QColor(110, 130, 170));
    drawGear(painter, QPointF(23.5, 23), 7.5, 6, QColor(200, 160, 60));
    return pixmap;
}
