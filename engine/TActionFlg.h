#pragma once

#include "core/DefaultProfiles.h"

#include <QString>
#include <QStringList>

class TdmPublic;

/// One operating system's prompt profile: the texts awaited before each answer of the passwd
/// conversation and the text that confirms the change.
struct TActionFlg
{
    /// UnixOS.OSID; -1 stands for "Other OS...", which has no stored profile.
    int OSID = -1;
    /// UnixOS.OSName; filled only by the profile editor.
    QString OSName;
    QString InputOldPassword = QStringLiteral(":");
    /// -1 performs the old-password step; any other value skips it.
    int canskip = -1;
    QString InputNewPassword = QStringLiteral(":");
    QString RetypeNewPassword = QStringLiteral(":");
    QString ChangeSuccessfully = QStringLiteral("successfully");
    /// Whether passwd ending with exit status 0 after the last answer counts as a success too (the
    /// BSDs and macOS print nothing). ChangeSuccessfully may then be empty: no text is awaited.
    bool SuccessByExitStatus = false;
    /// Texts that end the dialog at once as a failure, the host's line being the reason; matched like
    /// the step texts (anywhere, letter case of A to Z ignored).
    QStringList FailureTexts = DefaultFailureTexts(false);
    /// Whether the command asks for English messages (LC_ALL=C, LANG=C), so that a localized host
    /// prints the texts above.
    bool EnglishMessages = true;
    /// More texts that confirm the change besides ChangeSuccessfully (other passwd implementations of
    /// the same system word it differently: BusyBox, shadow without PAM); matched like it.
    QStringList SuccessTexts;

    /// ChangeSuccessfully (when set) followed by SuccessTexts.
    QStringList AllSuccessTexts() const
    {
        QStringList texts;
        if (!ChangeSuccessfully.trimmed().isEmpty())
            texts << ChangeSuccessfully;
        for (const QString& text : SuccessTexts)
            if (!text.trimmed().isEmpty())
                texts << text;
        return texts;
    }
};

/// The step names stored in ActionFlg.flgname.
inline const QString FlgInputOldPassword = QStringLiteral("InputOldPassword");
inline const QString FlgInputNewPassword = QStringLiteral("InputNewPassword");
inline const QString FlgRetypeNewPassword = QStringLiteral("RetypeNewPassword");
inline const QString FlgChangeSuccessfully = QStringLiteral("ChangeSuccessfully");

/// Sets the five step fields of flg to the defaults (":" for each prompt, "successfully", perform the
/// old-password step) and the switches to theirs (no exit status, the failure texts of every mode,
/// English messages, no further success texts); OSID and OSName are left alone.
void SetActionFlgDefaults(TActionFlg& flg);

/// The one statement that reads the five step values of profile osid as a single row.
QString ActionFlgLoadStatement(int osid);

/// Fills the step fields and the switches of flg from the profile flg.OSID; a missing profile, a
/// missing ActionRules row or a NULL value gives the default of that field. Throws DatabaseError when the statement
/// could not run at all (the statement failure itself has already been shown).
void LoadActionFlg(TdmPublic& dm, TActionFlg& flg);

/// Writes the four ActionFlg rows of flg.OSID without deleting older rows first.
void InsertActionFlg(TdmPublic& dm, const TActionFlg& flg);

/// Replaces the ActionRules row of flg.OSID with flg's switches and further success texts (nothing
/// when the database has no such table; the texts are left out where it has no column for them).
void SaveActionRules(TdmPublic& dm, const TActionFlg& flg);

/// Creates (flg.OSID -1: a new OSID is allocated and stored in flg) or updates a profile, its four
/// steps and its switches, in one transaction and returns its OSID. A transaction failure is rolled back and thrown as
/// DatabaseError.
int SaveOSProfile(TdmPublic& dm, TActionFlg& flg);

/// Removes profile osid and its rows in one transaction; -1 does nothing. A failure is rolled back and
/// shown in an "Error" box. Hosts naming the profile keep its OSID and run with the defaults.
void DeleteOSProfile(TdmPublic& dm, int osid);
