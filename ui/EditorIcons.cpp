#include "ui/EditorIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace {

constexpr int kSize = 16;

QIcon drawn(const std::function<void(QPainter&)>& draw)
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

void screen(QPainter& painter, const QRectF& frame)
{
    painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    painter.setBrush(QColor(0x3A, 0x7B, 0xD5));
    painter.drawRect(frame);
}

} // namespace

QIcon TestLoginIcon()
{
    return drawn([](QPainter& painter) {
        screen(painter, QRectF(0.5, 1.5, 7, 6));
        screen(painter, QRectF(8.5, 8.5, 7, 6));
        painter.setPen(QPen(QColor(0x20, 0x90, 0x20), 1.5));
        painter.drawLine(QPointF(4, 8), QPointF(4, 11.5));
        painter.drawLine(QPointF(4, 11.5), QPointF(8, 11.5));
    });
}

QIcon ShowPasswordIcon()
{
    return drawn([](QPainter& painter) {
        QPainterPath eye;
        eye.moveTo(1, 8);
        eye.quadTo(8, 1, 15, 8);
        eye.quadTo(8, 15, 1, 8);
        painter.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
        painter.setBrush(Qt::white);
        painter.drawPath(eye);
        painter.setBrush(QColor(0x2A, 0x5C, 0xA8));
        painter.drawEllipse(QPointF(8, 8), 3, 3);
        painter.setBrush(Qt::black);
        painter.drawEllipse(QPointF(8, 8), 1.2, 1.2);
    });
}

QIcon GeneratePasswordIcon()
{
    return drawn([](QPainter& painter) {
        painter.setPen(QPen(QColor(0xD0, 0x90, 0x00), 1.5));
        painter.drawLine(QPointF(8, 1), QPointF(8, 15));
        painter.drawLine(QPointF(1, 8), QPointF(15, 8));
        painter.setPen(QPen(QColor(0xE0, 0x50, 0x20), 1.2));
        painter.drawLine(QPointF(3, 3), QPointF(13, 13));
        painter.drawLine(QPointF(13, 3), QPointF(3, 13));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xFF, 0xD0, 0x30));
        painter.drawEllipse(QPointF(8, 8), 2.5, 2.5);
    });
}
