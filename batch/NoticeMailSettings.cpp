#include "batch/NoticeMailSettings.h"

#include "core/IniFile.h"

namespace {

const QString kServer = QStringLiteral("Server");
const QString kPort = QStringLiteral("Port");
const QString kAccount = QStringLiteral("Account");
const QString kPassword = QStringLiteral("Password");
const QString kSender = QStringLiteral("Sender");
const QString kSubject = QStringLiteral("Subject");
const QString kBody = QStringLiteral("Body");

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
    return settings;
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
}
