#include "ui/TApplication.h"

#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "ui/ModalDialogKeeper.h"

#include <exception>

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    installEventFilter(new TModalDialogKeeper(this));
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        MsgBox(QString::fromStdString(error.what()), ApplicationTitle, StyleError);
    } catch (...) {
        MsgBox(QStringLiteral("An unexpected error occurred. Save your work, restart Veltrane and try again."),
               ApplicationTitle, StyleError);
    }
    return false;
}
