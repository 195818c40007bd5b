// The save step of the batch runner (one transaction per user: Logs row, user update, commit)
// against the same statements run bare through the SQLite API, over 1,000 users. Also the whole
// runner per user with an operation that answers at once. Prints ms per user and the ratio (goal:
// save step <= 1.5 x bare). With the disk's own sync every commit waits for the disk, which swamps
// the difference and varies with other load, so the ratio is taken with sync off and processor
// time; one round with the normal sync gives the real wall time per user.
#include "batch/SaveUserOutcome.h"
#include "batch/TBatchOperations.h"
#include "batch/TBatchRunner.h"
#include "core/DatabaseCreator.h"
#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"

#include <sqlcipher/sqlite3.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

constexpr int Users = 1000;
constexpr int Rounds = 3;

/// Wall and processor time of one run, in nanoseconds.
struct Cost
{
    qint64 wall = std::numeric_limits<qint64>::max();
    qint64 cpu = std::numeric_limits<qint64>::max();
    void keepBest(const Cost& other)
    {
        wall = std::min(wall, other.wall);
        cpu = std::min(cpu, other.cpu);
    }
};

qint64 processCpuNs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000000LL +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1000LL;
}

/// Times what follows its construction.
struct Stopwatch
{
    QElapsedTimer timer;
    qint64 cpuStart = processCpuNs();
    Stopwatch() { timer.start(); }
    Cost cost() const { return {timer.nsecsElapsed(), processCpuNs() - cpuStart}; }
};

QList<TUser> makeUsers()
{
    QList<TUser> users;
    for (int u = 1; u <= Users; ++u) {
        TUser user;
        user.uID = u;
        user.hID = 1;
        user.HostIP = QStringLiteral("10.0.0.5");
        user.HostPort = 22;
        user.LoginName = QStringLiteral("user%1").arg(u);
        user.pwNow = EncipherPassword(QStringLiteral("Current#%1").arg(u));
        user.pwNew = EncipherPassword(QStringLiteral("Next#%1").arg(u));
        user.pwPeriod = 90;
        user.RecTime = 46000.25;
        user.pwLastTime = 46300.5;
        user.uName = QStringLiteral("Owner number %1").arg(u);
        user.Email = QStringLiteral("owner%1@example.org").arg(u);
        // About what one password change leaves as its transcript.
        user.LastLog = QStringLiteral("Recorded Time: Jan 1, 2009  12:00 PM.\r\nOperation Type: Change Password \r\n"
                                      "Return Message: \r\nConnect to 10.0.0.5:22 (login as user%1)... \r\n"
                                      "changing password for user%1.\r\ncurrent password: \r\n\r\nnew password: \r\n"
                                      "\r\nretype new password: \r\n\r\npasswd: password updated successfully\r\n"
                                      "Changed Successed. \r\n")
                           .arg(u);
        users << user;
    }
    return users;
}

/// A fresh installation holding the users.
struct Installation
{
    QTemporaryDir dir;
    std::unique_ptr<TdmPublic> dm;
    Installation(const QList<TUser>& users, bool sync)
    {
        CreateDatabase(dir.filePath(QStringLiteral("veltrane.db")));
        dm = std::make_unique<TdmPublic>(dir.filePath(QStringLiteral("veltrane")));
        if (!sync)
            dm->DBSession.Execute(QStringLiteral("PRAGMA synchronous = OFF;"));
        dm->DBSession.StartTransaction();
        for (const TUser& user : users)
            dm->SaveUser(user, TSaveMode::Insert);
        dm->DBSession.Commit();
    }
};

void exec(sqlite3* db, const QByteArray& sql)
{
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "bare statement failed: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

/// The same statements, composed beforehand and run straight through the SQLite API.
Cost bare(const QList<TUser>& users, double opTime, bool sync)
{
    Installation inst(users, sync);
    QList<QByteArray> inserts, updates;
    for (const TUser& u : users) {
        inserts << QStringLiteral("Insert into Logs(logID,UserID,AddressPort,LoginName,DoAction,ActionTime,pwBefore,"
                                  "pwAfter,ActionDone,ActionLog) Values ((select (case when max(logID) is null then 1 "
                                  "else max(logID)+1 end) from Logs),%1,'%2:%3','%4','Change Password ',%5,'%6','%7',"
                                  "'True','%8')")
                       .arg(u.uID)
                       .arg(u.HostIP)
                       .arg(u.HostPort)
                       .arg(u.LoginName, DayNumber::Format(opTime), u.pwNow, u.pwNew, u.LastLog)
                       .toUtf8();
        updates << QStringLiteral("Update Users set LoginName = '%1',pwNow = '%2',pwNew = '',uName = '%3',Email = "
                                  "'%4',pwPeriod = 90,RecTime = 46000.25, pwLastTime = %5, uRemark= '', LastLog= '%6' "
                                  "where uID = %7 ")
                       .arg(u.LoginName, u.pwNew, u.uName, u.Email, DayNumber::Format(opTime), u.LastLog)
                       .arg(u.uID)
                       .toUtf8();
    }
    sqlite3* db = inst.dm->DBSession.Handle();
    const Stopwatch watch;
    for (int i = 0; i < users.size(); ++i) {
        exec(db, "BEGIN DEFERRED TRANSACTION;");
        exec(db, inserts[i]);
        exec(db, updates[i]);
        exec(db, "COMMIT TRANSACTION;");
    }
    return watch.cost();
}

Cost saveStep(const QList<TUser>& users, double opTime, bool sync)
{
    Installation inst(users, sync);
    QList<TUser> work = users;
    const Stopwatch watch;
    for (TUser& user : work)
        if (!SaveUserOutcome(*inst.dm, user, QStringLiteral("Change Password "), true, true, opTime).saved) {
            std::fprintf(stderr, "save step failed\n");
            std::exit(1);
        }
    return watch.cost();
}

/// Answers every change at once, so that only the runner's own work is timed.
class InstantChange : public TBatchOperations
{
public:
    void TestLogin(const TUser&, const TPreparedWork&, TActionStaus&, TRunContext&) override {}
    void ChangePassword(const TUser&, const TPreparedWork&, TActionStaus& status, TRunContext&) override
    {
        status.Set(acChangeSucceeded);
        status.PasswordChanged = true;
    }
    void SendNoticeMail(const TUser&, const TPreparedWork&, TActionStaus&, TRunContext&) override {}
};

Cost wholeRunner(const QList<TUser>& users, bool sync)
{
    Installation inst(users, sync);
    InstantChange operations;
    TBatchRunner runner(*inst.dm, operations, otChangePassword, 0, users);
    const Stopwatch watch;
    runner.RunBatch();
    return watch.cost();
}

double msPerUser(qint64 ns)
{
    return ns / 1e6 / Users;
}

} // namespace

void report(const char* title, const Cost& bareCost, const Cost& save, const Cost& runner)
{
    std::printf("%s\n", title);
    std::printf("  bare statements  %8.3f ms per user (processor %.3f)\n", msPerUser(bareCost.wall),
                msPerUser(bareCost.cpu));
    std::printf("  save step        %8.3f ms per user (processor %.3f)   ratio %.2f wall, %.2f processor\n",
                msPerUser(save.wall), msPerUser(save.cpu), double(save.wall) / double(bareCost.wall),
                double(save.cpu) / double(bareCost.cpu));
    std::printf("  whole runner     %8.3f ms per user (processor %.3f)   ratio %.2f wall, %.2f processor\n",
                msPerUser(runner.wall), msPerUser(runner.cpu), double(runner.wall) / double(bareCost.wall),
                double(runner.cpu) / double(bareCost.cpu));
}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QList<TUser> users = makeUsers();
    const double opTime = DayNumber::FromDateTime(QDateTime(QDate(2009, 1, 1), QTime(12, 0)));
    Cost bareCost, save, runner;
    for (int round = 0; round < Rounds; ++round) {
        bareCost.keepBest(bare(users, opTime, false));
        save.keepBest(saveStep(users, opTime, false));
        runner.keepBest(wholeRunner(users, false));
    }
    report("1,000 users, sync off, best of 3 (goal: save step <= 1.5 x bare)", bareCost, save, runner);
    report("1,000 users, normal sync, one round (each commit waits for the disk)", bare(users, opTime, true),
           saveStep(users, opTime, true), wholeRunner(users, true));
    return 0;
}
