#include "ui/ProgramPassword.h"

#include "core/DatabaseError.h"
#include "core/DatabaseProtection.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "ui/TfrmBase.h"
#include "ui/TfrmChangePass.h"
#include "ui/TfrmLogin.h"

#include <QDesktopServices>
#include <QLineEdit>

#include <cctype>

namespace {
std::function<void(const QUrl&)> g_opener;
} // namespace

bool CheckProgramPassword(TdmPublic& dm)
{
    // The stored password cannot be read before such a file is open, and opening it took the password.
    if (dm.DBSession.KeyedByPassword())
        return true;
    if (!dm.NeedsDatabasePassword() && !dm.PasswordProtectionEnabled())
        return true;
    TfrmLogin login(dm);
    TfrmBase::ExecModal(login);
    return login.Passed;
}

bool ChangeProgramPassword(TdmPublic& dm, QWidget* owner)
{
    TfrmChangePass dialog(dm, owner);
    dialog.edtOld->setFocus();
    TfrmBase::ExecModal(dialog);
    if (!dialog.Accepted)
        return false;
    if (!dm.DBSession.KeyedByPassword()) {
        dm.SetUserPass(EncipherPassword(dialog.edtNew->text()));
        return true;
    }
    try {
        ProtectDatabase(dm, dialog.edtNew->text());
    } catch (const DatabaseError& error) {
        MsgBox(error.message(), ApplicationTitle, StyleError);
        return false;
    }
    return true;
}

QString ForgotPasswordLinkText(const QString& storedUserPass, const QString& supportAddress)
{
    return QStringLiteral("mailto:") + supportAddress +
           QStringLiteral("?subject=Retrieve my login password.&body=Tarnwell Support,%0A%0AI forgot my login "
                          "password, the password ciphertext is [") +
           storedUserPass + QStringLiteral("]. %0A%0AProduct Name: ") + ApplicationTitle +
           QStringLiteral("%0A%0A***Note: please use the mail address when you purchased the product to send this "
                          "mail, otherwise will not be responsed. ");
}

QUrl ForgotPasswordLink(const QString& storedUserPass, const QString& supportAddress)
{
    // Keep what structures a mailto link (":", "?", "&", "=", "@") and the %XX escapes already in the
    // text; encode everything else a URL cannot hold as it is (blanks, brackets, "*", ...).
    const QByteArray text = ForgotPasswordLinkText(storedUserPass, supportAddress).toUtf8();
    QByteArray encoded;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool escape = c == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                            std::isxdigit(static_cast<unsigned char>(text[i + 2]));
        const bool plain = std::isalnum(static_cast<unsigned char>(c)) || QByteArray("-._~:?&=@,;/").contains(c);
        if (plain || escape)
            encoded += c;
        else
            encoded += '%' + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0').toUpper();
    }
    return QUrl::fromEncoded(encoded, QUrl::StrictMode);
}

void OpenExternal(const QUrl& url)
{
    if (g_opener)
        g_opener(url);
    else
        QDesktopServices::openUrl(url);
}

void SetExternalOpener(std::function<void(const QUrl&)> opener)
{
    g_opener = std::move(opener);
}
