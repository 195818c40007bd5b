#include "ui/LoginTestBalloon.h"

#include "core/UiServices.h"
#include "engine/TActionStaus.h"

#include <QWidget>

void ShowLoginTestOutcome(QWidget* testButton, const TActionStaus& status)
{
    BalloonIcon icon = BalloonIcon::None;
    switch (status.Code) {
    case acConnectFailed:
    case acLoginFailed:
        icon = BalloonIcon::Error;
        break;
    case acLoginSucceeded:
        icon = BalloonIcon::Info;
        break;
    default:
        return;
    }
    QString text = status.Text + status.Detail;
    // The first contact shows the key it recorded, so that it can be compared with the host's own.
    if (!status.HostKey.isEmpty() && !status.HostKeyChanged)
        text += QStringLiteral("\nNew host key recorded: ") + status.HostKey;
    // No time limit: the administrator reads the engine's reason at leisure.
    Ui().showBalloonTip(testButton, text, icon, 0);
}
