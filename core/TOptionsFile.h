#pragma once

#include "core/IniFile.h"

#include <QString>

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

    const QString& path() const { return m_ini.path(); }
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
    bool AutoGenerate() const;
    void SetAutoGenerate(bool on) const;
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

    /// DataPath, with the executable's path and ".db" as the default. Used unchanged.
    QString DatabasePath() const;

    int ColumnWidth(int column) const;
    void SetColumnWidth(int column, int width) const;

private:
    IniFile m_ini;
    QString m_executablePath;
};
