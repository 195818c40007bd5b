#pragma once

#include "core/Records.h"
#include "core/TDBSession.h"
#include "core/TOptionsFile.h"
#include "core/TSelfQuery.h"

#include <QStringList>

#include <functional>
#include <memory>

/// Receives the progress texts of a remote operation; may be empty.
#include "core/ProgressCallback.h"

/// The program's name, used as the caption of the general error box.
inline const QString ApplicationTitle = QStringLiteral("Veltrane");
/// Where the "Operation Error" text and the forgotten-password mail ask to write.
inline const QString SupportAddress = TOptionsFile::DefaultSupportAddress;

/// The data module: the one object that holds the settings file, the database connection, the
/// transcript of the current operation and the run state of a batch, with the shared operations on
/// them. Exactly one exists at a time, reachable through dmPublic.
class TdmPublic
{
public:
    /// Opens Options.ini beside executablePath and the database it names; a database that cannot be
    /// opened is reported once through the UI services and leaves the connection closed. A file that
    /// may be under a password of the user's is not reported: it waits for OpenWithPassword.
    /// databasePath, when given, replaces the DataPath setting (the command-line companion's --db).
    explicit TdmPublic(const QString& executablePath, const QString& databasePath = QString());
    ~TdmPublic();
    TdmPublic(const TdmPublic&) = delete;
    TdmPublic& operator=(const TdmPublic&) = delete;

    const QString& ExecutablePath() const { return m_executablePath; }
    /// Directory of the executable (Options.ini, Logs, known_hosts live there).
    QString ExecutableDir() const;

    TOptionsFile OptionsFile;
    TDBSession DBSession;
    /// Whether the database has the Users columns of the change in flight (pwIntent, pwIntentTime);
    /// false only for a file that could not be brought up to date (read-only, say).
    bool IntentColumns = false;
    /// Whether the Hosts table has MngElevation, MngRootPwd and MngKeyPass; SaveHost writes them only then.
    bool HostAccessColumns = false;
    /// Whether the Hosts table has MngUseAgent and hLegacyAlgorithms; SaveHost writes them only then.
    bool HostSwitchColumns = false;
    /// Whether the ActionRules table (the profile switches after the four steps) exists.
    bool ProfileRulesTable = false;
    /// Whether ActionRules has the SuccessTexts column; without it a profile has no further success texts.
    bool ProfileSuccessTexts = false;
    /// Whether Users has pwCandidates (never without the intent columns).
    bool CandidatesColumn = false;
    /// Brings the open database up to the current schema and notes which columns it has (see
    /// UpgradeSchema); a file that cannot be written keeps its schema and its flags stay false.
    void BringSchemaUpToDate();

    /// Whether the database did not open with the built-in key but may be under the user's own
    /// password (see MayBeUnderPassword); the connection stays closed until OpenWithPassword.
    bool NeedsDatabasePassword() const { return m_needsPassword; }
    /// Opens such a database with password. False, with nothing shown and nothing written, when the
    /// password does not open it.
    bool OpenWithPassword(const SecretBuffer& password);

    // Query layer.
    std::unique_ptr<TSelfQuery> NewQuery();
    /// Runs the query's statement; a failure is shown in the "Operation Error" viewer and swallowed.
    /// Returns whether the statement ran.
    bool OpenQuery(TSelfQuery& query);
    /// The text OpenQuery shows for a failed statement.
    static QString OperationErrorText(const QString& message, const QString& statement);
    static QString SqlEscape(const QString& text);
    int NextUserId();
    int NextHostId();

    // Records. Each returns whether every statement ran (failures are already shown).
    bool SaveHost(const THost& host, TSaveMode mode);
    bool SaveUser(const TUser& user, TSaveMode mode);

    // System parameters of the database.
    QString GetSysParam(const QString& column);
    bool SetSysParam(const QString& column, const QString& value);
    QString GetUserPass() { return GetSysParam(QStringLiteral("UserPass")); }
    bool SetUserPass(const QString& enciphered) { return SetSysParam(QStringLiteral("UserPass"), enciphered); }
    bool PasswordProtectionEnabled();
    bool SetPasswordProtection(bool on);

private:
    QString m_executablePath;
    bool m_needsPassword = false;
};

/// The data module of the process, or nullptr outside its lifetime.
extern TdmPublic* dmPublic;
