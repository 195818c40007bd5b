#pragma once

// The look shared by the host and user editors: a small header tab over a framed panel of fields,
// labels (some in blue) and flat picture buttons that take no focus.

#include <QRect>
#include <QString>

class QFrame;
class QIcon;
class QLabel;
class QToolButton;
class QWidget;

namespace EditorLayout {

/// The grey tab with the panel's title, sitting on the top edge of the panel.
QLabel* AddHeaderTab(QWidget* dialog, const QString& title, const QRect& geometry);
/// The framed panel (colour $F7F6F5) that holds the fields.
QFrame* AddFieldPanel(QWidget* dialog, const QRect& geometry);
/// A label at (x, y) for buddy (its accelerator focuses buddy); emphasised labels are blue ($EA0000).
QLabel* AddFieldLabel(QWidget* panel, const QString& caption, QWidget* buddy, int x, int y, bool emphasised);
/// A flat button that never takes the focus; caption may be empty (picture only) and hint is its tooltip.
QToolButton* AddFlatButton(QWidget* panel, const QString& caption, const QIcon& picture, const QString& hint,
                           const QRect& geometry);

} // namespace EditorLayout
