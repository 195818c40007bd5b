#pragma once

#include <QObject>

/// Keeps a modal dialog from being minimised: while one is open every other window of the program is
/// blocked, so a minimised modal dialog would leave nothing to click. Some window managers offer
/// minimise on every dialog whatever the dialog asks for; the dialog is shown again at once.
class TModalDialogKeeper : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
