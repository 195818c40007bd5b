#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class TdmPublic;
class QWidget;

/// The start-up gate: true when protection is off (EnablePWD is not exactly "1"), otherwise the
/// login dialog's verdict. For a database under the user's own password the dialog's password opens
/// the file, and once it is open the gate stays open. Nothing is written to the database either way.
bool CheckProgramPassword(TdmPublic& dm);

/// Runs the change dialog; when it is accepted, stores the new password (enciphered) at once, and
/// for a database under the program password re-keys it to the new one in the same step (a failure
/// is shown and changes neither). Returns whether the dialog was accepted and, under the program
/// password, the database re-keyed.
bool ChangeProgramPassword(TdmPublic& dm, QWidget* owner);

/// The "Forgot your password?" link to supportAddress as the mail program is to read it: the stored
/// (enciphered) password text in the body, never the plain one.
QString ForgotPasswordLinkText(const QString& storedUserPass, const QString& supportAddress);
/// The same link with every character a mailto URL cannot carry percent-encoded; the %0A line breaks
/// already in the text stay line breaks.
QUrl ForgotPasswordLink(const QString& storedUserPass, const QString& supportAddress);

/// Hands a link or file to the desktop's default handler. Tests replace the opener.
void OpenExternal(const QUrl& url);
void SetExternalOpener(std::function<void(const QUrl&)> opener);
