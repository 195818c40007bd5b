#pragma once

#include <QFont>
#include <QString>

class QAction;
class QLabel;
class QMenu;
class QWidget;

// Small pieces the main window is built from.

/// The window's font: MS Sans Serif 8 point (11 pixels), or the closest sans font there is.
QFont WindowFont();
/// The menus' font: Tahoma 8 point, or the closest sans font there is.
QFont MenuFont();

/// A header panel: bold 14-pixel text on a pale band with a gradient line along its bottom edge.
QLabel* HeaderPanel(const QString& name, const QString& text, QWidget* parent);

/// A history text as the memo shows it: every CR, LF or CR LF one line break.
QString MemoText(QString text);

/// Adds a menu entry that shows command under caption and follows the command's enabling and
/// visibility; the shortcut is shown, while the command's own key handling runs it.
QAction* AddMenuEntry(QMenu* menu, QAction* command, const QString& caption);

/// A toolbar spacer of width pixels, grooved or blank.
QWidget* ToolbarSpacer(int width, bool grooved, QWidget* parent);
