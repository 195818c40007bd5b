#pragma once

class TDBSession;

/// Which of the columns added after the first schema a database has.
struct TSchemaColumns
{
    /// Users.pwIntent and pwIntentTime: the change in flight of each user.
    bool intent = false;
    /// Hosts.MngElevation, MngRootPwd and MngKeyPass: sudo or su, and the manager key's passphrase.
    bool hostAccess = false;
    /// Hosts.MngUseAgent and hLegacyAlgorithms: the manager's agent keys and the SHA-1 algorithms.
    bool hostSwitches = false;
    /// The ActionRules table: success by exit status, failure texts and English messages per profile.
    bool profileRules = false;
    /// ActionRules.SuccessTexts: the success texts besides ChangeSuccessfully.
    bool successTexts = false;
    /// Users.pwCandidates: the passwords sent to each host that may still be the one it has.
    bool candidates = false;
};

/// Brings a database written by an earlier version up to the current schema, keeping every row, and
/// returns which columns it now has. Old hosts read as "no elevation" with both host switches off; the
/// shipped profiles that were never edited gain the default failure texts and English messages, every
/// other profile gets switches that keep its behaviour exactly; the profiles added since (FreeBSD,
/// OpenBSD, macOS) are added unless one of that name exists. A shipped profile whose steps and switches
/// are still as shipped gains the shipped success texts; any other profile gets none. A file that cannot
/// be written (read-only, locked past the busy wait) keeps its old schema and still reads as before.
TSchemaColumns UpgradeSchema(TDBSession& session);

/// Whether the Users table has the change-in-flight columns.
bool HasIntentColumns(TDBSession& session);
/// Whether the Hosts table has the elevation and key-passphrase columns.
bool HasHostAccessColumns(TDBSession& session);
/// Whether the Hosts table has the agent and SHA-1 switches.
bool HasHostSwitchColumns(TDBSession& session);
/// Whether the ActionRules table exists with its columns.
bool HasProfileRulesTable(TDBSession& session);
/// Whether Users has the pwCandidates column.
bool HasCandidatesColumn(TDBSession& session);
/// Whether ActionRules has the SuccessTexts column.
bool HasSuccessTextsColumn(TDBSession& session);
