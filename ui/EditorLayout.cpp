#include "ui/EditorLayout.h"

#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QToolButton>

namespace EditorLayout {

QLabel* AddHeaderTab(QWidget* dialog, const QString& title, const QRect& geometry)
{
    auto* tab = new QLabel(title, dialog);
    tab->setGeometry(geometry);
    tab->setStyleSheet(QStringLiteral("QLabel { background-color: #D0D5D5; border: 1px solid #444444;"
                                      " border-bottom: none; font-weight: bold; }"));
    return tab;
}

QFrame* AddFieldPanel(QWidget* dialog, const QRect& geometry)
{
    auto* panel = new QFrame(dialog);
    panel->setGeometry(geometry);
    panel->setFrameShape(QFrame::Box);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, QColor(0xF5, 0xF6, 0xF7));
    panel->setPalette(palette);
    return panel;
}

QLabel* AddFieldLabel(QWidget* panel, const QString& caption, QWidget* buddy, int x, int y, bool emphasised)
{
    auto* label = new QLabel(caption, panel);
    label->move(x, y);
    label->adjustSize();
    label->setBuddy(buddy);
    if (emphasised) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xEA));
        label->setPalette(palette);
    }
    return label;
}

QToolButton* AddFlatButton(QWidget* panel, const QString& caption, const QIcon& picture, const QString& hint,
                           const QRect& geometry)
{
    auto* button = new QToolButton(panel);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(picture);
    button->setToolTip(hint);
    if (caption.isEmpty()) {
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    } else {
        button->setText(caption);
        button->setToolButtonStyle(picture.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonTextBesideIcon);
    }
    button->setGeometry(geometry);
    return button;
}

} // namespace EditorLayout
