#pragma once

#include "core/Elevation.h"

#include <QString>
#include <QStringList>

class TSelfQuery;

/// A host row. Passwords are held enciphered.
struct THost
{
    int hID = 0;
    QString hAddress;
    int hPort = 0;
    QString hNote;
    int OSID = 0;
    QString MngLogin;
    QString MngPwd;
    /// Private key file of the manager account (absolute path); empty: the password (the agent as MngUseAgent says).
    QString MngKeyPath;
    int UseManager = 0;
    /// How the manager account becomes root to run passwd (Hosts.MngElevation).
    TElevation MngElevation = TElevation::None;
    /// The root password su asks for, enciphered; empty unless MngElevation is Su.
    QString MngRootPwd;
    /// The passphrase of MngKeyPath, enciphered; empty for a key without one (or no key).
    QString MngKeyPass;
    /// Whether the manager's login also offers the keys of a running ssh-agent (Hosts.MngUseAgent). Without
    /// it the agent is asked only when the manager has neither a password nor a key file.
    bool MngUseAgent = false;
    /// Whether SHA-1 host keys, signatures, key exchanges and MACs are offered to this host
    /// (Hosts.hLegacyAlgorithms), for old systems that know nothing newer.
    bool hLegacyAlgorithms = false;
};

/// A user account row, plus the in-memory outcome and the host's address and port from the list query.
struct TUser
{
    int uID = 0;
    int hID = 0;
    QString LoginName;
    QString pwNow;
    QString pwNew;
    QString ResultText;
    QString LastLog;
    QString uRemark;
    int pwPeriod = 0;
    double RecTime = 0;
    double pwLastTime = 0;
    QString HostIP;
    int HostPort = 0;
    QString Email;
    QString uName;
    /// The pending password (enciphered) of a change that was started and whose outcome is not yet
    /// known: recorded before the password goes to the host, cleared with the saved outcome. While it
    /// is set, either this or pwNow may be the password the host accepts.
    QString pwIntent;
    /// When that change started (day number), or DayNumber::None.
    double pwIntentTime = -1;

    /// The new passwords sent to the host that no check has yet ruled out or superseded (enciphered,
    /// newest first, comma-separated, at most MaxPasswordCandidates): a host may have taken one after
    /// its change was given up on.
    QString pwCandidates;

    bool HasOpenIntent() const { return !pwIntent.isEmpty(); }
};

/// How many passwords sent to a host are kept per account.
inline constexpr int MaxPasswordCandidates = 5;

/// user.pwCandidates as a list, newest first.
QStringList PasswordCandidates(const TUser& user);

/// Puts the enciphered password in front of user's candidates, drops an earlier copy of it and keeps
/// at most MaxPasswordCandidates.
void KeepPasswordCandidate(TUser& user, const QString& enciphered);

/// How SaveHost and SaveUser write a record.
enum class TSaveMode
{
    Insert = 0,
    Update = 1,
    Delete = 2
};

/// Every field 0 or empty.
void ClearHost(THost& host);
void ClearUser(TUser& user);

/// Fills host from the current row of a query on Hosts, reading the columns by name.
void HostFromQuery(const TSelfQuery& query, THost& host);

/// "********" for a non-empty password, else empty.
QString MaskPassword(const QString& text);

/// The user list's statement: every user with its host's address and port as HostIP and HostPort,
/// or only the users of one host when hostId is not -1.
QString UserListStatement(int hostId = -1);

/// Reads users from the rows of the user list's statement. Resolves the columns once, so that
/// reading many rows costs little more than stepping the statement.
class TUserReader
{
public:
    explicit TUserReader(const TSelfQuery& query);
    /// Fills user from the query's current row (ResultText is left empty).
    void Read(TUser& user) const;

private:
    const TSelfQuery& m_query;
    int m_uID, m_hID, m_LoginName, m_pwNow, m_pwNew, m_uName, m_pwPeriod, m_RecTime, m_pwLastTime, m_HostIP, m_HostPort,
        m_Email, m_uRemark, m_LastLog, m_pwIntent, m_pwIntentTime, m_pwCandidates;
};
