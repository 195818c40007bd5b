#pragma once

#include <QAction>
#include <QVariant>

// Whether a command shows in the menus and on the toolbar. Qt disables an invisible action, keys
// included, while a hidden command must still run by its key: so hiding is this property, and the
// action itself stays visible to Qt.

/// Hides or shows command in the menus and on the toolbar; its key keeps working while it is enabled.
inline void SetCommandVisible(QAction* command, bool visible)
{
    command->setProperty("commandVisible", visible);
    emit command->changed();
}

/// Whether command shows in the menus and on the toolbar.
inline bool CommandVisible(const QAction* command)
{
    const QVariant visible = command->property("commandVisible");
    return command->isVisible() && (!visible.isValid() || visible.toBool());
}
