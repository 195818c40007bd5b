#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

/// The program's own pictures, drawn as SVG resources (ui/icons) and rendered at the size asked for.
namespace Pictures {

/// The picture called name (the file name in ui/icons without ".svg") at size; a null pixmap when
/// there is no such picture.
QPixmap Render(const QString& name, const QSize& size);

/// The four looks of a toolbar picture: as drawn, hot (mouse over), pressed, and greyed.
struct ButtonLooks
{
    QPixmap normal;
    QPixmap hot;
    QPixmap pressed;
    QPixmap disabled;
};

/// The looks of a 32 × 32 toolbar picture.
ButtonLooks ToolbarLooks(const QString& name);

/// An 18 × 18 picture of the tree and the list as an icon.
QIcon SmallIcon(const QString& name);

} // namespace Pictures
