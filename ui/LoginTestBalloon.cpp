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
    // No time limit: the administrator reads the engine's reason at leisure.
    Ui().showBalloonTip(testButton, status.Text + status.Detail, icon, 0);
}
