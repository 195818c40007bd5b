#pragma once

#include "core/IniFile.h"

#include <QString>

/// What a batch does with a host whose key is not yet recorded in known_hosts.
enum class THostKeyPolicy
{
    TrustOnFirstUse, ///< "tofu": record the key and go on; later connections must present the same key
    KnownOnly,       ///< "known-only": refuse the host until its key was recorded (Test Login, host trust)
};

/// The settings file Options.ini beside the executable. Every getter and setter reads or writes
/// its key at once; nothing is cached, so a change is seen by every later reader.
class TOptionsFile
{
public:
    /// executablePath: full path of the program; the file is Options.ini in its directory.
    explicit TOptionsFile(const QString& executablePath);

    static inline const QString Section = QStringLiteral("Options");
    /// Section of the user list's column widths: main window name, hyphen, list name.
    static inline const QString ColumnSection = QStringLiteral("frmMain-lvUsers");
    static constexpr int DefaultColumnWidth = 120;
    /// Section of where help goes: the support and feedback addresses and the home page, so that an
    /// organization can send its users to its own help desk.
    static inline const QString AboutSection = QStringLiteral("About");
    static inline const QString DefaultSupportAddress = QStringLiteral("support@veltrane.example");
    static inline const QString DefaultHomePage = QStringLiteral("https://www.veltrane.example/");

    const QString& path() const { return m_ini.path(); }
    /// Why the file is there but not read, so that every setting has its default (a named pipe, a
    /// device, a file larger than 1 MB), as one line for the status line or stderr; empty when read.
    QString ReadProblem() const;
    const IniFile& ini() const { return m_ini; }

    bool PassNumber() const;
    void SetPassNumber(bool on) const;
    bool PassSpechar() const;
    void SetPassSpechar(bool on) const;
    /// Lengths the generator makes; anything else read or written counts as the default, 8.
    static constexpr int MinPassLength = 1;
    static constexpr int MaxPassLength = 30;
    int PassLength() const;
    void SetPassLength(int length) const;

    /// How many hosts a batch works on at once ([Options] ParallelHosts); out of range means 4.
    static constexpr int MinParallelHosts = 1;
    static constexpr int MaxParallelHosts = 32;
    static constexpr int DefaultParallelHosts = 4;
    int ParallelHosts() const;
    void SetParallelHosts(int hosts) const;
    bool AutoGenerate() const;
    void SetAutoGenerate(bool on) const;
    /// Whether every change that the host reports as a success is checked at once by the new password
    /// before the record takes it ([Options] VerifyAfterChange, on by default).
    bool VerifyAfterChange() const;
    void SetVerifyAfterChange(bool on) const;
    bool TestLogin() const;
    void SetTestLogin(bool on) const;
    bool ChangePassword() const;
    void SetChangePassword(bool on) const;
    bool SendMail() const;
    void SetSendMail(bool on) const;
    bool VerifyPassword() const;
    void SetVerifyPassword(bool on) const;
    bool DeleteUser() const;
    void SetDeleteUser(bool on) const;
    bool GenerateNew() const;
    void SetGenerateNew(bool on) const;

    /// HostKeyPolicy of [Options]: "tofu" (also when missing or empty) or "known-only", letter case
    /// ignored. Any other value is read as known-only: a mistyped safety setting must not loosen it.
    THostKeyPolicy HostKeyPolicy() const;
    void SetHostKeyPolicy(THostKeyPolicy policy) const;

    /// DataPath, with the executable's path and ".db" as the default. Used unchanged.
    QString DatabasePath() const;

    /// SupportAddress of [About], where a forgotten program password is asked for. A value that is no
    /// plain mail address (blanks, "?", "&", ...) would change the mail's text: the default is used then.
    QString SupportAddress() const;
    /// FeedbackAddress of [About], where Send Feedback writes to; the support address when not set.
    QString FeedbackAddress() const;
    /// HomePage of [About]; only an http or https address, otherwise the default.
    QString HomePage() const;

    int ColumnWidth(int column) const;
    void SetColumnWidth(int column, int width) const;

private:
    IniFile m_ini;
    QString m_executablePath;
};
