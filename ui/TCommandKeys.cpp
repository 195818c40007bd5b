#include "ui/TCommandKeys.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

TCommandKeys::TCommandKeys(QWidget& window, QList<QAction*> commands)
    : QObject(&window), m_window(window), m_commands(std::move(commands))
{
    qApp->installEventFilter(this);
}

TCommandKeys::~TCommandKeys()
{
    qApp->removeEventFilter(this);
}

QAction* TCommandKeys::CommandForKey(int key, Qt::KeyboardModifiers modifiers) const
{
    const Qt::KeyboardModifiers relevant =
        modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const QKeyCombination typed(relevant, static_cast<Qt::Key>(key));
    for (QAction* command : m_commands) {
        const QKeySequence shortcut = command->shortcut();
        if (shortcut.count() == 1 && shortcut[0] == typed)
            return command;
    }
    return nullptr;
}

bool TCommandKeys::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != &m_window)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    QAction* command = CommandForKey(key->key(), key->modifiers());
    if (!command)
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Claiming the override keeps the key from the shortcut map (menu mnemonics too, so no
        // command may take one);
        // it then arrives here as a key press.
        event->accept();
        return true;
    }
    if (command->isEnabled())
        command->trigger();
    event->accept();
    return true;
}
