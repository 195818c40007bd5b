#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

/// A prompt profile as the program ships it: what a new database holds and what an older database
/// gains when it is brought up to date.
struct TDefaultProfile
{
    QString name;
    QString inputOldPassword;
    /// -1 performs the old-password step (the account's own login); 1 skips it (manager mode).
    int canskip = -1;
    QString inputNewPassword;
    QString retypeNewPassword;
    /// Empty for systems that print nothing on success: successByExitStatus decides there.
    QString changeSuccessfully;
    bool successByExitStatus = false;
    QStringList failureTexts;
    bool englishMessages = true;
    /// Success texts besides changeSuccessfully.
    QStringList successTexts;
};

/// The texts that end a passwd dialog at once as a failure on every system the defaults know.
/// userMode adds "BAD PASSWORD": for root, passwd prints it as a warning and goes on.
QStringList DefaultFailureTexts(bool userMode);

/// The success texts the Linux profiles add to "successfully": BusyBox prints "passwd: password for NAME
/// changed by NAME", shadow built without PAM "passwd: password changed.". Neither occurs in a failure
/// line ("password for NAME is unchanged", "password unchanged").
QStringList LinuxSuccessTexts();

/// Every shipped profile, in the order of their OSIDs from 1: Linux and Solaris (as earlier versions
/// shipped them, matched by their success text), then FreeBSD, OpenBSD and macOS (success by exit
/// status), each followed by its manager-account variant.
const QList<TDefaultProfile>& DefaultProfiles();
/// How many of DefaultProfiles() earlier versions shipped (Linux and Solaris with their variants);
/// the rest are added to an older database when it is brought up to date.
constexpr int ProfilesOfEarlierVersions = 4;

/// How a list of texts is kept in ActionRules.FailureTexts and ActionRules.SuccessTexts: one text per
/// line. Blank lines and blanks around a text are dropped; a text never holds a line break.
QString JoinFailureTexts(const QStringList& texts);
QStringList SplitFailureTexts(const QString& stored);

/// The table of the profile switches that came after the four ActionFlg steps, one row per OSID.
/// A separate table keeps the positional inserts into UnixOS and ActionFlg of earlier versions working.
inline const QString ActionRulesSchema =
    QStringLiteral("CREATE TABLE ActionRules(OSID integer, SuccessByExitStatus integer default 0, "
                   "FailureTexts text default '', EnglishMessages integer default 1, SuccessTexts text default '')");
/// The column ActionRules gained after it was first shipped.
inline const QString ActionRulesSuccessTextsColumn =
    QStringLiteral("ALTER TABLE ActionRules ADD COLUMN SuccessTexts text default ''");
inline const QString ActionRulesIndex = QStringLiteral("CREATE INDEX ActionRulesByOS ON ActionRules(OSID)");

/// The one statement that stores the switches of profile osid. successTexts is left out when the
/// table has no such column (a database that could not be brought up to date).
QString ActionRulesInsertStatement(int osid, bool successByExitStatus, const QStringList& failureTexts,
                                   bool englishMessages, const std::optional<QStringList>& successTexts);
/// The statements that store profile under osid: its UnixOS row, its four ActionFlg rows and, when
/// withRules, its ActionRules row.
QStringList ProfileInsertStatements(const TDefaultProfile& profile, int osid, bool withRules = true);
