#include "core/SchemaUpgrade.h"

#include "core/DatabaseError.h"
#include "core/DefaultProfiles.h"
#include "core/TDBSession.h"
#include "core/TSelfQuery.h"

#include <sqlcipher/sqlite3.h>

#include <QHash>
#include <QSet>

#include <functional>

namespace {

// Preparing is enough: it fails on a missing table or column without reading a row.
bool statementPrepares(TDBSession& session, const char* statement)
{
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(session.Handle(), statement, -1, &raw, nullptr);
    sqlite3_finalize(raw);
    return rc == SQLITE_OK;
}

/// Runs steps in one transaction; false (rolled back) when any statement fails.
bool inTransaction(TDBSession& session, const std::function<void()>& steps)
{
    try {
        session.StartTransaction();
        try {
            steps();
            session.Commit();
        } catch (const DatabaseError&) {
            session.Rollback();
            return false;
        }
    } catch (const DatabaseError&) {
        return false;
    }
    return true;
}

/// One stored profile as the upgrade compares it with the shipped ones.
struct StoredProfile
{
    int osid = 0;
    QString name;
    QHash<QString, QString> steps; // flgname -> flgvalue
    int canskip = -1;
};

QList<StoredProfile> storedProfiles(TDBSession& session)
{
    QList<StoredProfile> profiles;
    TSelfQuery query(session);
    query.SelectSQL = QStringLiteral("select OSID, OSName from UnixOS order by OSID");
    query.Open();
    for (; !query.Eof(); query.Next())
        profiles.append({query.Fields(0).AsInteger(), query.Fields(1).AsString(), {}, -1});
    for (StoredProfile& profile : profiles) {
        query.SelectSQL =
            QStringLiteral("select flgname, flgvalue, canskip from ActionFlg where OSID = %1").arg(profile.osid);
        query.Open();
        for (; !query.Eof(); query.Next()) {
            const QString step = query.Fields(0).AsString();
            profile.steps.insert(step, query.Fields(1).AsString());
            if (step == QLatin1String("InputOldPassword"))
                profile.canskip = query.Fields(2).AsInteger();
        }
    }
    return profiles;
}

/// The shipped profile that stored is an untouched copy of, or nullptr.
const TDefaultProfile* untouchedShippedProfile(const StoredProfile& stored)
{
    for (const TDefaultProfile& shipped : DefaultProfiles()) {
        if (shipped.name != stored.name)
            continue;
        const bool same = stored.steps.size() == 4 && stored.canskip == shipped.canskip &&
                          stored.steps.value(QStringLiteral("InputOldPassword")) == shipped.inputOldPassword &&
                          stored.steps.value(QStringLiteral("InputNewPassword")) == shipped.inputNewPassword &&
                          stored.steps.value(QStringLiteral("RetypeNewPassword")) == shipped.retypeNewPassword &&
                          stored.steps.value(QStringLiteral("ChangeSuccessfully")) == shipped.changeSuccessfully;
        return same ? &shipped : nullptr;
    }
    return nullptr;
}

int largestOsidInUse(TDBSession& session)
{
    // Hosts may still name a deleted profile: a new profile must not take over its identifier.
    TSelfQuery query(session);
    query.SelectSQL = QStringLiteral("select max(m) from (select max(OSID) m from UnixOS union all select max(OSID) "
                                     "from ActionFlg union all select max(OSID) from Hosts)");
    query.Open();
    return query.Eof() ? 0 : query.Fields(0).AsInteger();
}

void addProfileRules(TDBSession& session)
{
    session.Execute(ActionRulesSchema);
    session.Execute(ActionRulesIndex);
    QSet<QString> names;
    for (const StoredProfile& stored : storedProfiles(session)) {
        names.insert(stored.name.toLower());
        // A shipped profile nobody edited gains what the shipped one has now: its failure texts only end
        // dialogs that cannot succeed any more, and English messages make its English prompts match on
        // localized hosts. Any other profile may match localized prompts, so it keeps today's behaviour.
        if (const TDefaultProfile* shipped = untouchedShippedProfile(stored))
            session.Execute(ActionRulesInsertStatement(stored.osid, shipped->successByExitStatus, shipped->failureTexts,
                                                       shipped->englishMessages, shipped->successTexts));
        else
            session.Execute(ActionRulesInsertStatement(stored.osid, false, {}, false, QStringList()));
    }
    int osid = largestOsidInUse(session);
    for (qsizetype i = ProfilesOfEarlierVersions; i < DefaultProfiles().size(); ++i) {
        const TDefaultProfile& profile = DefaultProfiles()[i];
        if (names.contains(profile.name.toLower()))
            continue;
        for (const QString& statement : ProfileInsertStatements(profile, ++osid))
            session.Execute(statement);
    }
}

/// Whether the ActionRules row of osid holds exactly the switches shipped has.
bool rulesAsShipped(TDBSession& session, int osid, const TDefaultProfile& shipped)
{
    TSelfQuery query(session);
    query.SelectSQL =
        QStringLiteral("select SuccessByExitStatus, FailureTexts, EnglishMessages from ActionRules where OSID = %1")
            .arg(osid);
    query.Open();
    if (query.Eof())
        return false;
    const bool same = (query.Fields(0).AsInteger() != 0) == shipped.successByExitStatus &&
                      SplitFailureTexts(query.Fields(1).AsString()) == shipped.failureTexts &&
                      (query.Fields(2).AsInteger() != 0) == shipped.englishMessages;
    query.Next();
    return same && query.Eof();
}

void addSuccessTexts(TDBSession& session)
{
    session.Execute(ActionRulesSuccessTextsColumn);
    // As with the failure texts: only a profile nobody edited can take the shipped texts without its
    // meaning changing under its owner.
    for (const StoredProfile& stored : storedProfiles(session)) {
        const TDefaultProfile* shipped = untouchedShippedProfile(stored);
        if (!shipped || shipped->successTexts.isEmpty() || !rulesAsShipped(session, stored.osid, *shipped))
            continue;
        QString texts = JoinFailureTexts(shipped->successTexts);
        texts.replace(QLatin1Char('\''), QStringLiteral("''"));
        session.Execute(QStringLiteral("update ActionRules set SuccessTexts = '%1' where OSID = %2")
                            .arg(texts, QString::number(stored.osid)));
    }
}

} // namespace

bool HasIntentColumns(TDBSession& session)
{
    return statementPrepares(session, "select pwIntent, pwIntentTime from Users limit 0");
}

bool HasHostAccessColumns(TDBSession& session)
{
    return statementPrepares(session, "select MngElevation, MngRootPwd, MngKeyPass from Hosts limit 0");
}

bool HasHostSwitchColumns(TDBSession& session)
{
    return statementPrepares(session, "select MngUseAgent, hLegacyAlgorithms from Hosts limit 0");
}

bool HasProfileRulesTable(TDBSession& session)
{
    return statementPrepares(
        session, "select OSID, SuccessByExitStatus, FailureTexts, EnglishMessages from ActionRules limit 0");
}

bool HasCandidatesColumn(TDBSession& session)
{
    return statementPrepares(session, "select pwCandidates from Users limit 0");
}

bool HasSuccessTextsColumn(TDBSession& session)
{
    return statementPrepares(session, "select SuccessTexts from ActionRules limit 0");
}

static TSchemaColumns upgradeTables(TDBSession& session)
{
    TSchemaColumns columns;
    if (!session.Connected())
        return columns;
    columns.intent = HasIntentColumns(session) || inTransaction(session, [&session] {
                         session.Execute(QStringLiteral("ALTER TABLE Users ADD COLUMN pwIntent text default '';"));
                         session.Execute(QStringLiteral("ALTER TABLE Users ADD COLUMN pwIntentTime real default -1;"));
                     });
    const bool hostAccess = HasHostAccessColumns(session);
    const bool hostSwitches = HasHostSwitchColumns(session);
    const bool profileRules = HasProfileRulesTable(session);
    if (hostAccess && hostSwitches && profileRules) {
        columns.hostAccess = columns.hostSwitches = columns.profileRules = true;
        return columns;
    }
    const bool upgraded = inTransaction(session, [&] {
        if (!hostAccess) {
            // Every old row reads as "no elevation, no passphrase", which is what it meant.
            session.Execute(QStringLiteral("ALTER TABLE Hosts ADD COLUMN MngElevation integer default 0;"));
            session.Execute(QStringLiteral("ALTER TABLE Hosts ADD COLUMN MngRootPwd text default '';"));
            session.Execute(QStringLiteral("ALTER TABLE Hosts ADD COLUMN MngKeyPass text default '';"));
        }
        if (!hostSwitches) {
            // Both off: old rows keep being reached as they were.
            session.Execute(QStringLiteral("ALTER TABLE Hosts ADD COLUMN MngUseAgent integer default 0;"));
            session.Execute(QStringLiteral("ALTER TABLE Hosts ADD COLUMN hLegacyAlgorithms integer default 0;"));
        }
        if (!profileRules)
            addProfileRules(session);
    });
    columns.hostAccess = upgraded || hostAccess;
    columns.hostSwitches = upgraded || hostSwitches;
    columns.profileRules = upgraded || profileRules;
    return columns;
}

TSchemaColumns UpgradeSchema(TDBSession& session)
{
    TSchemaColumns columns = upgradeTables(session);
    // Its own step after the others: an ActionRules table made there already has the column.
    columns.successTexts = columns.profileRules && (HasSuccessTextsColumn(session) ||
                                                    inTransaction(session, [&session] { addSuccessTexts(session); }));
    columns.candidates =
        columns.intent &&
        (HasCandidatesColumn(session) || inTransaction(session, [&session] {
             session.Execute(QStringLiteral("ALTER TABLE Users ADD COLUMN pwCandidates text default '';"));
         }));
    return columns;
}
