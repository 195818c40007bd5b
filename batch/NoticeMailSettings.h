#pragma once

#include <QString>

class IniFile;

/// The notice mail's fixed values, kept in section "Mail" of Options.ini. Read key by key at each
/// use, like every other setting; a missing key gives its default.
struct NoticeMailSettings
{
    static inline const QString Section = QStringLiteral("Mail");

    QString server;
    int port = 25;
    QString account;
    /// Enciphered with the program's password cipher; deciphered only just before the login.
    QString password;
    QString sender;
    QString subject;
    QString body;

    /// The values of the settings file, each key's default where it is missing.
    static NoticeMailSettings Read(const IniFile& ini);
    /// Writes every key (the password as given, already enciphered).
    void Write(const IniFile& ini) const;
};
