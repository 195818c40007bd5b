#include "ui/THelpKey.h"

#include "ui/HelpTopics.h"
#include "ui/THelpWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

THelpKey::THelpKey()
{
    qApp->installEventFilter(this);
}

THelpKey::~THelpKey()
{
    qApp->removeEventFilter(this);
}

bool THelpKey::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (key->key() != Qt::Key_F1 || modifiers != Qt::NoModifier || !widget)
        return false;
    QWidget* owner = widget->window();
    if (owner->inherits("TfrmMain") || owner->inherits("THelpWindow"))
        return false;
    QString page;
    for (QWidget* window = owner; window && page.isEmpty();
         window = window->parentWidget() ? window->parentWidget()->window() : nullptr)
        page = HelpTopics::PageFor(*window);
    THelpWindow::Open(*owner, page.isEmpty() ? HelpTopics::StartPage : page);
    return true;
}
