#include "batch/NoticeMailSettings.h"

#include "core/IniFile.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kServer = QStringLiteral("Server");
const QString kPort = QStringLiteral("Port");
const QString kAccount = QStringLiteral("Account");
const QString kPassword = QStringLiteral("Password");
const QString kSender = QStringLiteral("Sender");
const QString kSubject = QStringLiteral("Subject");
const QString kBody = QStringLiteral("Body");
const QString kSecurity = QStringLiteral("Security");
const QString kCaFile = QStringLiteral("CAFile");

const QString kDefaultServer = QStringLiteral("localhost");
constexpr int kDefaultPort = 25;
const QString kDefaultSender = QStringLiteral("veltrane@localhost");
const QString kDefaultSubject = QStringLiteral("Notice: the password of your account");
const QString kDefaultBody =
    QStringLiteral("<html><body><p>The password of your account has been changed or is due to be changed. "
                   "Please ask your system administrator for the new password.</p></body></html>");

} // namespace

NoticeMailSettings NoticeMailSettings::Read(const IniFile& ini)
{
    NoticeMailSettings settings;
    settings.server = ini.readString(Section, kServer, kDefaultServer);
    settings.port = ini.readInteger(Section, kPort, kDefaultPort);
    settings.account = ini.readString(Section, kAccount, QString());
    settings.password = ini.readString(Section, kPassword, QString());
    settings.sender = ini.readString(Section, kSender, kDefaultSender);
    settings.subject = ini.readString(Section, kSubject, kDefaultSubject);
    settings.body = ini.readString(Section, kBody, kDefaultBody);
    settings.security = ini.readString(Section, kSecurity, QString());
    settings.caFile = ini.readString(Section, kCaFile, QString());
    return settings;
}

MailSecurityChoice NoticeMailSettings::connectionSecurity() const
{
    const QString value = security.toLower();
    // Settings written before the key existed keep working with a server that has no TLS, as long
    // as no password would cross the network in clear text.
    if (value.isEmpty())
        return {account.isEmpty() ? SmtpSecurity::StartTlsIfOffered : SmtpSecurity::StartTls, QString()};
    if (value == QStringLiteral("starttls"))
        return {SmtpSecurity::StartTls, QString()};
    if (value == QStringLiteral("tls"))
        return {SmtpSecurity::ImplicitTls, QString()};
    if (value == QStringLiteral("none"))
        return {SmtpSecurity::None, QString()};
    return {SmtpSecurity::StartTls,
            QStringLiteral("The mail setting [Mail] Security=%1 is not valid; set it to starttls (STARTTLS, the "
                           "default), tls (TLS from the first byte, usually port 465) or none (clear text).")
                .arg(security)};
}

QString NoticeMailSettings::caFilePath(const IniFile& ini) const
{
    if (caFile.isEmpty())
        return QString();
    return QDir(QFileInfo(ini.path()).absolutePath()).absoluteFilePath(caFile);
}

void NoticeMailSettings::Write(const IniFile& ini) const
{
    ini.writeString(Section, kServer, server);
    ini.writeInteger(Section, kPort, port);
    ini.writeString(Section, kAccount, account);
    ini.writeString(Section, kPassword, password);
    ini.writeString(Section, kSender, sender);
    ini.writeString(Section, kSubject, subject);
    ini.writeString(Section, kBody, body);
    ini.writeString(Section, kSecurity, security);
    ini.writeString(Section, kCaFile, caFile);
}
