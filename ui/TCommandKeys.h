#pragma once

#include <QList>
#include <QObject>

class QAction;
class QWidget;

/// Gives the shortcuts of a window's commands priority over everything else in that window (menu
/// mnemonics included): a key that is some command's shortcut runs that command when it is enabled,
/// whether or not the command is visible, and does nothing otherwise. Keys typed in other windows
/// (dialogs, menus) are left alone.
class TCommandKeys : public QObject
{
    Q_OBJECT
public:
    /// Watches the keys typed into window for the shortcuts of commands (not owned).
    TCommandKeys(QWidget& window, QList<QAction*> commands);
    ~TCommandKeys() override;

    /// The command whose shortcut is key (modifiers included), or nullptr.
    QAction* CommandForKey(int key, Qt::KeyboardModifiers modifiers) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    QList<QAction*> m_commands;
};
