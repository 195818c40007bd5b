#include "ui/ModalDialogKeeper.h"

#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTimer>

bool TModalDialogKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (dialog && dialog->isModal() && dialog->isVisible() && (dialog->windowState() & Qt::WindowMinimized)) {
            // After the state change has been handled, or the window system undoes the undo.
            QTimer::singleShot(0, dialog, [dialog = QPointer<QDialog>(dialog)] {
                if (!dialog)
                    return;
                dialog->setWindowState(dialog->windowState() & ~Qt::WindowMinimized);
                dialog->raise();
                dialog->activateWindow();
            });
        }
    }
    return QObject::eventFilter(watched, event);
}
