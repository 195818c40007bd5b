#include "core/DatabaseCreator.h"

#include "core/DatabaseError.h"
#include "core/DefaultProfiles.h"
#include "core/FileExposure.h"
#include "core/TDBSession.h"

#include <sqlcipher/sqlite3.h>

#include <QFile>
#include <QFileInfo>

namespace {

// Column order of UnixOS and ActionFlg matters: their rows are inserted by position.
const char* const kSchema = R"SQL(
CREATE TABLE Hosts(hID integer, hAddress text, hPort integer, hNote text, OSID integer,
                   MngLogin text, MngPwd text, MngKeyPath text, UseManager integer,
                   MngElevation integer default 0, MngRootPwd text default '', MngKeyPass text default '',
                   MngUseAgent integer default 0, hLegacyAlgorithms integer default 0);
CREATE TABLE Users(uID integer, hID integer, LoginName text, pwNow text, pwPeriod integer, RecTime real,
                   pwLastTime real, uRemark text, pwNew text, uName text, Email text, LastLog text,
                   pwIntent text default '', pwIntentTime real default -1, pwCandidates text default '');
CREATE TABLE Logs(logID integer, UserID integer, AddressPort text, LoginName text, DoAction text,
                  ActionTime real, pwBefore text, pwAfter text, ActionDone text, ActionLog text);
CREATE TABLE UnixOS(OSID integer, OSName text);
CREATE TABLE ActionFlg(OSID integer, flgname text, flgvalue text, canskip integer, flgorder integer);
CREATE TABLE SysParams(UserPass text, EnablePWD text);
CREATE INDEX HostsById ON Hosts(hID);
CREATE INDEX UsersById ON Users(uID);
CREATE INDEX UsersByHost ON Users(hID);
CREATE INDEX LogsById ON Logs(logID);
CREATE INDEX LogsByUser ON Logs(UserID);
CREATE INDEX ActionFlgByOS ON ActionFlg(OSID);
INSERT INTO SysParams(UserPass, EnablePWD) VALUES('', '-1');
)SQL";

void exec(sqlite3* db, const QByteArray& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        throw DatabaseError(message);
    }
}

struct DbCloser
{
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

} // namespace

void CreateDatabase(const QString& path)
{
    if (QFileInfo::exists(path))
        throw DatabaseError(
            QStringLiteral("%1 already exists; choose another path or remove the file first").arg(path));
    sqlite3* raw = nullptr;
    const QByteArray encoded = QFile::encodeName(path);
    const int rc = sqlite3_open_v2(encoded.constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    if (rc != SQLITE_OK)
        throw DatabaseError(QStringLiteral("Cannot create %1: %2; check that the folder exists and is writable")
                                .arg(path, QString::fromUtf8(raw ? sqlite3_errmsg(raw) : "out of memory")));
    try {
        if (sqlite3_key(raw, TDBSession::Key.constData(), static_cast<int>(TDBSession::Key.size())) != SQLITE_OK)
            throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(raw)));
        exec(raw, "BEGIN;");
        exec(raw, kSchema);
        exec(raw, ActionRulesSchema.toUtf8());
        exec(raw, ActionRulesIndex.toUtf8());
        int osid = 0;
        for (const TDefaultProfile& profile : DefaultProfiles()) {
            ++osid;
            for (const QString& statement : ProfileInsertStatements(profile, osid))
                exec(raw, statement.toUtf8());
        }
        exec(raw, "COMMIT;");
        // It holds every password: the owner's alone, whatever the umask of whoever made it.
        RestrictToOwner(path, false);
    } catch (...) {
        db.reset();
        QFile::remove(path);
        throw;
    }
}
