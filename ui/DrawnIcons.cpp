#include "ui/DrawnIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kIconSize = 16;

QPixmap BlankIcon()
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// A white speech bubble holding a blue "i".
QPixmap InfoIcon()
{
    QPixmap pixmap = BlankIcon();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath bubble;
    bubble.addEllipse(QRectF(0.5, 0.5, 15, 12));
    QPainterPath tail;
    tail.moveTo(4, 10);
    tail.lineTo(2.5, 15.5);
    tail.lineTo(8, 11.5);
    tail.closeSubpath();
    bubble = bubble.united(tail);
    p.setPen(QPen(QColor(90, 110, 140), 1));
    p.setBrush(Qt::white);
    p.drawPath(bubble);
    const QColor blue(20, 70, 200);
    p.setPen(Qt::NoPen);
    p.setBrush(blue);
    p.drawEllipse(QRectF(7, 2.5, 2.2, 2.2));
    p.drawRect(QRectF(7, 5.5, 2.2, 5));
    return pixmap;
}

// A red disc with a white cross.
QPixmap ErrorIcon()
{
    QPixmap pixmap = BlankIcon();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(150, 0, 0), 1));
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(11, 11));
    p.drawLine(QPointF(11, 5), QPointF(5, 11));
    return pixmap;
}

// A yellow triangle with a black "!".
QPixmap WarningIcon()
{
    QPixmap pixmap = BlankIcon();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QPolygonF triangle({QPointF(8, 0.5), QPointF(15.5, 15), QPointF(0.5, 15)});
    p.setPen(QPen(QColor(120, 90, 0), 1));
    p.setBrush(QColor(255, 210, 0));
    p.drawPolygon(triangle);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(QRectF(7, 5, 2, 5.5));
    p.drawRect(QRectF(7, 11.5, 2, 2));
    return pixmap;
}

} // namespace

QPixmap BalloonIconPixmap(const QString& name)
{
    if (name == QLatin1String("INFO"))
        return InfoIcon();
    if (name == QLatin1String("ERROR"))
        return ErrorIcon();
    if (name == QLatin1String("WARNING"))
        return WarningIcon();
    return {};
}

QIcon KeyboardButtonIcon()
{
    QPixmap pixmap = BlankIcon();
    QPainter p(&pixmap);
    p.setPen(QColor(60, 60, 60));
    p.setBrush(QColor(235, 235, 235));
    p.drawRoundedRect(QRect(0, 3, 15, 10), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 60, 60));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 5; ++col)
            p.drawRect(2 + col * 2 + col / 2, 5 + row * 2, 1, 1);
    p.drawRect(4, 10, 7, 1); // space bar
    return QIcon(pixmap);
}

QIcon CopyButtonIcon()
{
    QPixmap pixmap = BlankIcon();
    QPainter p(&pixmap);
    p.setPen(QColor(70, 70, 90));
    p.setBrush(Qt::white);
    p.drawRect(1, 1, 8, 10);
    p.drawRect(6, 4, 8, 10);
    p.setPen(QColor(140, 140, 170));
    for (int y = 7; y <= 12; y += 2)
        p.drawLine(8, y, 12, y);
    return QIcon(pixmap);
}
