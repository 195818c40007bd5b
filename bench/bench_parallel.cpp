// Hosts in parallel, measured against one host at a time in the same run. Needs the test servers
// (tests/servers/start-all.sh, as root).
// (1) 8 hosts x 4 accounts whose every prompt comes 300 ms late: wall time with 8 at once vs 1
//     (goal: at least 5 times faster), and the longest gap between two 10 ms timer ticks of the main
//     thread during the parallel run (goal: under 50 ms).
// (2) 10 accounts on one host in manager mode, real passwd: per-account time with one shared
//     connection vs a login per account (goal: at most 0.6).
// (3) 10 good users plus 5 hosts that accept and never answer: wall time with 8 at once vs 1 (goal:
//     the silent hosts cost one time-out in all).
#include "batch/TBatchRunner.h"
#include "batch/TRemoteBatchOperations.h"
#include "bench/BenchSupport.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestServers.h"

#include <QCoreApplication>
#include <QTimer>

#include <unistd.h>

namespace {

int g_nextUser = 1;

void addHost(TdmPublic& dm, int hID, const QString& address, int port, int useManager = 1)
{
    THost host;
    host.hID = hID;
    host.hAddress = address;
    host.hPort = port;
    host.OSID = useManager == -1 ? 2 : 999;
    host.MngLogin = TestServers::ManagerAccount;
    host.MngPwd = EncipherPassword(TestServers::Password);
    host.UseManager = useManager;
    dm.SaveHost(host, TSaveMode::Insert);
}

TUser addUser(TdmPublic& dm, int hID, const QString& address, int port, const QString& login)
{
    TUser user;
    user.uID = g_nextUser++;
    user.hID = hID;
    user.HostIP = address;
    user.HostPort = port;
    user.LoginName = login;
    user.pwNow = EncipherPassword(TestServers::Password);
    user.pwNew = EncipherPassword(QStringLiteral("Bench-Par#%1").arg(user.uID));
    user.pwPeriod = -1;
    dm.SaveUser(user, TSaveMode::Insert);
    return user;
}

struct Run
{
    double ms = -1;
    int succeeded = 0;
    qint64 longestTickGapMs = 0;
};

/// Puts the stored passwords back as users hold them, so every run is the same change.
void restore(TdmPublic& dm, const QList<TUser>& users)
{
    for (const TUser& user : users) {
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("update Users set pwNow = '%1', pwNew = '%2' where uID = %3")
                               .arg(user.pwNow, user.pwNew)
                               .arg(user.uID);
        dm.OpenQuery(*query);
    }
}

Run timedBatch(TdmPublic& dm, TOperationType type, const QList<TUser>& users, int hosts, bool share = true)
{
    restore(dm, users);
    TRemoteBatchOperations operations(dm);
    TBatchRunner runner(dm, operations, type, 0, users);
    runner.SetParallelHosts(hosts);
    runner.SetShareHostConnections(share);
    Run run;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { run.longestTickGapMs = std::max(run.longestTickGapMs, sinceTick.restart()); });
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start();
    runner.RunBatch();
    run.ms = clock.nsecsElapsed() / 1e6;
    run.succeeded = runner.Succeeded();
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString problem = ServerProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "bench_parallel: %s\n", qPrintable(problem));
        return 1;
    }
    TestEnvironment env;
    RecordingUiServices ui;
    TdmPublic& dm = env.dm();
    const int port = TestServers::Port;

    // (1) Distant hosts.
    QList<TUser> distant;
    for (int h = 0; h < 8; ++h) {
        const QString address = QStringLiteral("127.0.0.%1").arg(30 + h);
        addHost(dm, 10 + h, address, port);
        for (int a = 1; a <= 4; ++a)
            distant << addUser(dm, 10 + h, address, port, QStringLiteral("vtdlg_distant%1").arg(a));
    }
    timedBatch(dm, otTestLogin, distant, 8); // records the host keys
    const Run serial = timedBatch(dm, otChangePassword, distant, 1);
    const Run parallel = timedBatch(dm, otChangePassword, distant, 8);
    if (serial.succeeded != 32 || parallel.succeeded != 32) {
        std::fprintf(stderr, "distant hosts: %d and %d of 32 changed\n", serial.succeeded, parallel.succeeded);
        return 1;
    }
    std::printf("8 distant hosts x 4 accounts: 1 at once %.0f ms, 8 at once %.0f ms, %.1f times faster (goal >= 5)\n",
                serial.ms, parallel.ms, serial.ms / parallel.ms);
    std::printf("main thread during the 32-account parallel batch: longest gap between 10 ms ticks %lld ms "
                "(goal < 50)\n",
                parallel.longestTickGapMs);

    // (2) One host, manager mode, the real passwd.
    addHost(dm, 2, TestServers::OpenSshAddress, port, -1);
    QList<TUser> managed;
    for (int i = 0; i < 10; ++i)
        managed << addUser(dm, 2, TestServers::OpenSshAddress, port, QStringLiteral("vtst_bench%1").arg(1 + i % 2));
    timedBatch(dm, otTestLogin, {managed.first()}, 1);
    std::vector<double> shared, separate;
    for (int round = 0; round < 3; ++round) {
        const Run a = timedBatch(dm, otChangePassword, managed, 4, true);
        const Run b = timedBatch(dm, otChangePassword, managed, 4, false);
        if (a.succeeded != 10 || b.succeeded != 10) {
            std::fprintf(stderr, "manager mode: %d and %d of 10 changed\n", a.succeeded, b.succeeded);
            return 1;
        }
        shared.push_back(a.ms / 10);
        separate.push_back(b.ms / 10);
    }
    for (const char* account : {"vtst_bench1", "vtst_bench2"})
        ResetPassword(QString::fromLatin1(account), TestServers::Password);
    std::printf("10 accounts as the manager, median of 3: one connection %.1f ms per account, a login per account "
                "%.1f ms, ratio %.2f (goal <= 0.6)\n",
                Bench::Median(shared), Bench::Median(separate), Bench::Median(shared) / Bench::Median(separate));

    // (3) Good users and silent hosts.
    QList<int> sockets;
    const QList<int> ports = Bench::SilentPorts(5, sockets);
    if (ports.size() != 5)
        return 1;
    addHost(dm, 3, TestServers::OpenSshAddress, port);
    QList<TUser> mixed;
    for (int i = 0; i < 10; ++i)
        mixed << addUser(dm, 3, TestServers::OpenSshAddress, port, QStringLiteral("vtst_bench1"));
    for (int i = 0; i < 5; ++i) {
        addHost(dm, 40 + i, QStringLiteral("127.0.0.1"), ports[i]);
        mixed.insert(2 * i + 1, addUser(dm, 40 + i, QStringLiteral("127.0.0.1"), ports[i], QStringLiteral("nobody")));
    }
    const Run oneAtATime = timedBatch(dm, otTestLogin, mixed, 1);
    const Run eightAtOnce = timedBatch(dm, otTestLogin, mixed, 8);
    for (const int fd : sockets)
        ::close(fd);
    std::printf("10 good users + 5 silent hosts: 1 at once %.0f ms, 8 at once %.0f ms (%.1f silent-host time-outs "
                "of 15 s in all; goal: 1)\n",
                oneAtATime.ms, eightAtOnce.ms, eightAtOnce.ms / 15000.0);
    return 0;
}
