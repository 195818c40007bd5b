#pragma once

#include "transport/SmtpSecurity.h"

#include <QString>

class IniFile;

/// The protection Security asks for, or why its value cannot be used.
struct MailSecurityChoice
{
    SmtpSecurity security = SmtpSecurity::StartTls;
    /// Names the key and its valid values; empty when the value is usable.
    QString problem;
};

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
    /// "starttls", "tls" or "none" as written (any case); empty when the key is missing or empty.
    QString security;
    /// PEM file of the authorities trusted instead of the system's store; empty: the system's store.
    /// A relative path is taken from the folder of the settings file.
    QString caFile;

    /// What Security asks for. Missing, it means STARTTLS, and without an account (no password to
    /// lose) clear text when the server does not offer it; set to "starttls" it always requires TLS.
    MailSecurityChoice connectionSecurity() const;
    /// caFile as an absolute path, relative ones taken from the folder of ini; empty when not set.
    QString caFilePath(const IniFile& ini) const;

    /// The values of the settings file, each key's default where it is missing.
    static NoticeMailSettings Read(const IniFile& ini);
    /// Writes every key (the password as given, already enciphered).
    void Write(const IniFile& ini) const;
};
