#include "ui/TToolImageButton.h"

#include "ui/CommandVisibility.h"

#include <QAction>
#include <QPainter>
#include <QStyleOptionToolButton>

TToolImageButton::TToolImageButton(const QString& picture, QWidget* parent)
    : QToolButton(parent), m_looks(Pictures::ToolbarLooks(picture))
{
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(55, 40);
    setIconSize(QSize(32, 32));
    setAttribute(Qt::WA_Hover);
}

void TToolImageButton::SetCommand(QAction* command)
{
    m_command = command;
    connect(this, &QToolButton::clicked, command, [command] {
        if (command->isEnabled())
            command->trigger();
    });
    connect(command, &QAction::changed, this, &TToolImageButton::followCommand);
    followCommand();
}

void TToolImageButton::followCommand()
{
    setToolTip(m_command->toolTip());
    setStatusTip(m_command->statusTip());
    setEnabled(m_command->isEnabled());
    setVisible(CommandVisible(m_command));
}

QSize TToolImageButton::sizeHint() const
{
    return QSize(55, 40);
}

void TToolImageButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const bool enabled = isEnabled();
    const bool pressed = enabled && isDown();
    const bool hot = enabled && !pressed && underMouse();

    QStyleOptionToolButton option;
    initStyleOption(&option);
    if (hot || pressed) {
        // The frame of a flat button: raised under the mouse, sunken while pressed.
        const QRect frame = rect().adjusted(1, 1, -2, -2);
        painter.setPen(pressed ? option.palette.color(QPalette::Dark) : option.palette.color(QPalette::Light));
        painter.drawLine(frame.topLeft(), frame.topRight());
        painter.drawLine(frame.topLeft(), frame.bottomLeft());
        painter.setPen(pressed ? option.palette.color(QPalette::Light) : option.palette.color(QPalette::Dark));
        painter.drawLine(frame.bottomLeft(), frame.bottomRight());
        painter.drawLine(frame.topRight(), frame.bottomRight());
    }
    const QPixmap& picture = !enabled  ? m_looks.disabled
                             : pressed ? m_looks.pressed
                             : hot     ? m_looks.hot
                                       : m_looks.normal;
    if (picture.isNull())
        return;
    const QSize size = picture.deviceIndependentSize().toSize();
    QPoint topLeft((width() - size.width()) / 2, (height() - size.height()) / 2);
    if (pressed)
        topLeft += QPoint(1, 1);
    painter.drawPixmap(topLeft, picture);
}
