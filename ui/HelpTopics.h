#pragma once

#include <QString>
#include <QUrl>

class QWidget;

/// Where the user manual is and which of its pages belongs to which window.
namespace HelpTopics {

/// The manual's folder: beside the program (see Platform::ManualDir), or the one set for tests.
QString ManualDir();
/// Tests point the help at the build tree's manual; empty restores the program's own.
void SetManualDir(const QString& dir);

/// The page of the manual the help opens at ("index.html").
inline const QString StartPage = QStringLiteral("index.html");

/// The page, with its anchor, that explains window ("hosts.html#host-editor"); empty for a window
/// the manual has no page for.
QString PageFor(const QWidget& window);

/// page ("users.html#generate") as a file URL in the manual folder.
QUrl PageUrl(const QString& page);

} // namespace HelpTopics
