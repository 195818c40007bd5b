#pragma once

// Small pictures of the program, drawn in code so that no image files are needed.

#include <QIcon>
#include <QPixmap>
#include <QString>

/// The 16 × 16 balloon icon "INFO", "ERROR" or "WARNING" on a transparent background; a null
/// pixmap for any other name.
QPixmap BalloonIconPixmap(const QString& name);

/// The picture of the buttons that open the on-screen keyboard.
QIcon KeyboardButtonIcon();

/// The picture of the viewer's Copy button.
QIcon CopyButtonIcon();
