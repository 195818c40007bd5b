// Loading the user list: our query layer into TUser records against stepping the same statement
// with the raw SQLite API, on 10,000 users of 100 hosts. Prints both and the ratio (goal: <= 1.3).
#include "core/DatabaseCreator.h"
#include "core/PasswordCipher.h"
#include "core/Records.h"
#include "core/TdmPublic.h"

#include <sqlcipher/sqlite3.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void fill(TdmPublic& dm)
{
    dm.DBSession.StartTransaction();
    for (int h = 1; h <= 100; ++h) {
        THost host;
        host.hID = h;
        host.hAddress = QStringLiteral("10.0.%1.%2").arg(h / 250).arg(h % 250);
        host.hPort = 22;
        host.OSID = 1;
        host.UseManager = 1;
        dm.SaveHost(host, TSaveMode::Insert);
    }
    for (int u = 1; u <= 10000; ++u) {
        TUser user;
        user.uID = u;
        user.hID = (u - 1) / 100 + 1;
        user.LoginName = QStringLiteral("user%1").arg(u);
        user.pwNow = EncipherPassword(QStringLiteral("Current#%1").arg(u));
        user.pwNew = (u % 3) ? EncipherPassword(QStringLiteral("Next#%1").arg(u)) : QString();
        user.pwPeriod = 90;
        user.RecTime = 46000.25;
        user.pwLastTime = 46300.5;
        user.uName = QStringLiteral("Owner number %1").arg(u);
        user.Email = QStringLiteral("owner%1@example.org").arg(u);
        user.uRemark = QStringLiteral("remark");
        user.LastLog = QString(400, QLatin1Char('x'));
        dm.SaveUser(user, TSaveMode::Insert);
    }
    dm.DBSession.Commit();
}

qint64 ours(TdmPublic& dm, std::vector<TUser>& users)
{
    QElapsedTimer timer;
    timer.start();
    users.clear();
    auto query = dm.NewQuery();
    query->SelectSQL = UserListStatement();
    dm.OpenQuery(*query);
    const TUserReader reader(*query);
    for (; !query->Eof(); query->Next()) {
        users.emplace_back();
        reader.Read(users.back());
    }
    return timer.nsecsElapsed();
}

qint64 raw(TdmPublic& dm, std::vector<TUser>& users)
{
    QElapsedTimer timer;
    timer.start();
    users.clear();
    sqlite3_stmt* stmt = nullptr;
    const QByteArray sql = UserListStatement().toUtf8();
    sqlite3_prepare_v2(dm.DBSession.Handle(), sql.constData(), -1, &stmt, nullptr);
    auto text = [&](int i) {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                 sqlite3_column_bytes(stmt, i));
    };
    // Column positions of "select a.*, HostIP, HostPort" over the Users table.
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        TUser& u = users.emplace_back();
        u.uID = sqlite3_column_int(stmt, 0);
        u.hID = sqlite3_column_int(stmt, 1);
        u.LoginName = text(2);
        u.pwNow = text(3);
        u.pwPeriod = sqlite3_column_int(stmt, 4);
        u.RecTime = sqlite3_column_double(stmt, 5);
        u.pwLastTime = sqlite3_column_double(stmt, 6);
        u.uRemark = text(7);
        u.pwNew = text(8);
        u.uName = text(9);
        u.Email = text(10);
        u.LastLog = text(11);
        u.HostIP = text(12);
        u.HostPort = sqlite3_column_int(stmt, 13);
    }
    sqlite3_finalize(stmt);
    return timer.nsecsElapsed();
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    CreateDatabase(dir.filePath(QStringLiteral("veltrane.db")));
    TdmPublic dm(dir.filePath(QStringLiteral("veltrane")));
    fill(dm);

    std::vector<TUser> users;
    std::vector<qint64> oursTimes, rawTimes;
    for (int round = 0; round < 11; ++round) { // interleaved, so both see the same cache state
        oursTimes.push_back(ours(dm, users));
        rawTimes.push_back(raw(dm, users));
    }
    std::sort(oursTimes.begin(), oursTimes.end());
    std::sort(rawTimes.begin(), rawTimes.end());
    const double o = oursTimes[oursTimes.size() / 2] / 1e6;
    const double r = rawTimes[rawTimes.size() / 2] / 1e6;
    std::printf("users loaded: %zu\n", users.size());
    std::printf("TSelfQuery into TUser: %.2f ms (median of 11)\n", o);
    std::printf("raw SQLite API:        %.2f ms (median of 11)\n", r);
    std::printf("ratio ours/raw: %.2f (goal <= 1.3)\n", o / r);
    return 0;
}
