// Hundreds of real password changes, several hosts at once, with and without CPU load beside them: no
// prompt the host has printed may ever be missed ("Receive data timeout." at a prompt that came). Needs the
// test servers (tests/servers/start-all.sh, as root).
// Each round changes every account of 6 real servers and 4 scripted hosts, next to 3 hosts that take the
// connection and never answer; the first rounds run on an idle machine, the rest beside one busy process
// per core. Prints the changes, the time-outs among them (goal: 0) and the time per change under load
// against the idle rounds.
#include "batch/TBatchRunner.h"
#include "batch/TRemoteBatchOperations.h"
#include "bench/BenchSupport.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestServers.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <csignal>

#include <unistd.h>

using namespace TestServers;

namespace {

struct Account
{
    QString address;
    QString login;
    bool realPasswd = true;
};

int g_nextId = 1;

struct Round
{
    int changes = 0;
    int succeeded = 0;
    int timeouts = 0;
    double ms = 0;
};

Round runRound(TdmPublic& dm, QList<TUser>& users, int round)
{
    for (TUser& user : users) {
        if (user.HostPort != Port)
            continue;
        // The scripted dialogs take any answer and keep the account's password as it is.
        if (user.LoginName.startsWith(QLatin1String("vtdlg_")))
            user.pwNow = EncipherPassword(Password);
        // Each unlike the last: passwd refuses a new password too similar to the old one.
        user.pwNew = EncipherPassword(QStringLiteral("St%1#%2q")
                                          .arg(QRandomGenerator::global()->generate64(), 0, 36)
                                          .arg(round * 100 + user.uID));
        dm.SaveUser(user, TSaveMode::Update);
    }
    TRemoteBatchOperations operations(dm);
    TBatchRunner runner(dm, operations, otChangePassword, 0, users);
    runner.SetParallelHosts(8);
    QElapsedTimer clock;
    clock.start();
    runner.RunBatch();
    Round result;
    result.ms = clock.nsecsElapsed() / 1e6;
    users = runner.Users();
    for (const TUser& user : std::as_const(users)) {
        if (user.HostPort != Port)
            continue;
        ++result.changes;
        if (user.ResultText.startsWith(QLatin1String("Changed Successed. ")))
            ++result.succeeded;
        else
            std::fprintf(stderr, "round %d, %s@%s: %s\n", round, qPrintable(user.LoginName), qPrintable(user.HostIP),
                         qPrintable(user.ResultText.left(200)));
        if (user.ResultText.contains(QLatin1String("Receive data timeout."))) {
            ++result.timeouts;
            std::fprintf(stderr, "round %d, %s@%s: %s\n", round, qPrintable(user.LoginName), qPrintable(user.HostIP),
                         qPrintable(user.ResultText));
        }
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    for (const QString& problem : {ServerProblem(), RealFleetServerProblem()})
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "bench_stress: %s\n", qPrintable(problem));
            return 1;
        }
    const int rounds = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 24;
    TestEnvironment env;
    RecordingUiServices ui;
    TdmPublic& dm = env.dm();

    const QList<Account> accounts = {
        {OpenSshAddress, QStringLiteral("vtst_bench1")},
        {OpenSshAddress, QStringLiteral("vtst_bench2")},
        {DropbearAddress, Dropbear(3)},
        {DropbearAddress, Dropbear(4)},
        {NoTtyAddress, NoTty(3)},
        {NoTtyAddress, NoTty(4)},
        {OneTryAddress, OneTry(2)},
        {OneTryAddress, OneTry(3)},
        {ForcedAddress, Forced(3)},
        {PwQualityAddress, PwQualityUser(2)},
        {QStringLiteral("127.0.0.30"), DialogDebian + "5", false},
        {QStringLiteral("127.0.0.31"), DialogDebian + "5", false},
        {QStringLiteral("127.0.0.32"), DialogDebian + "5", false},
        {QStringLiteral("127.0.0.33"), DialogDebian + "5", false},
    };
    QHash<QString, int> hostIds;
    QList<TUser> users;
    const auto addHost = [&](const QString& address, int port) {
        const QString key = address + QLatin1Char(':') + QString::number(port);
        if (hostIds.contains(key))
            return hostIds[key];
        THost host;
        host.hID = g_nextId++;
        host.hAddress = address;
        host.hPort = port;
        host.OSID = 1; // Linux
        host.UseManager = 1;
        dm.SaveHost(host, TSaveMode::Insert);
        return hostIds[key] = host.hID;
    };
    for (const Account& account : accounts) {
        if (account.realPasswd && !ResetPassword(account.login, Password)) {
            std::fprintf(stderr, "bench_stress: cannot reset %s\n", qPrintable(account.login));
            return 1;
        }
        TUser user;
        user.uID = g_nextId++;
        user.hID = addHost(account.address, Port);
        user.HostIP = account.address;
        user.HostPort = Port;
        user.LoginName = account.login;
        user.pwNow = EncipherPassword(Password);
        user.pwPeriod = -1;
        dm.SaveUser(user, TSaveMode::Insert);
        users << user;
    }
    QList<int> sockets;
    const QList<int> ports = Bench::SilentPorts(3, sockets);
    for (int i = 0; i < ports.size(); ++i) {
        const int port = ports[i];
        TUser dead;
        dead.uID = g_nextId++;
        dead.hID = addHost(QStringLiteral("127.0.0.1"), port);
        dead.HostIP = QStringLiteral("127.0.0.1");
        dead.HostPort = port;
        dead.LoginName = QStringLiteral("nobody");
        dead.pwNow = EncipherPassword(Password);
        dead.pwNew = EncipherPassword(QStringLiteral("Never-Sent#1"));
        dead.pwPeriod = -1;
        dm.SaveUser(dead, TSaveMode::Insert);
        users.insert(2 * i + 1, dead);
    }

    const int idleRounds = std::max(1, rounds / 4);
    Round idle, loaded;
    QList<qint64> hogs;
    for (int round = 1; round <= rounds; ++round) {
        if (round == idleRounds + 1)
            for (int i = 0; i < QThread::idealThreadCount(); ++i) {
                qint64 pid = 0;
                QProcess::startDetached(QStringLiteral("/bin/sh"),
                                        {QStringLiteral("-c"), QStringLiteral("while :; do :; done")}, QString(), &pid);
                hogs << pid;
            }
        const Round r = runRound(dm, users, round);
        Round& sum = round <= idleRounds ? idle : loaded;
        sum.changes += r.changes;
        sum.succeeded += r.succeeded;
        sum.timeouts += r.timeouts;
        sum.ms += r.ms;
    }
    for (const qint64 pid : hogs)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    for (const int fd : sockets)
        ::close(fd);
    for (const Account& account : accounts)
        if (account.realPasswd)
            ResetPassword(account.login, Password);

    std::printf("%d changes on an idle machine, %d beside %d busy processes: %d and %d changed, time-outs %d "
                "(goal 0)\n",
                idle.changes, loaded.changes, int(hogs.size()), idle.succeeded, loaded.succeeded,
                idle.timeouts + loaded.timeouts);
    if (idle.changes > 0 && loaded.changes > 0)
        std::printf("time per change under load vs idle: %.2f\n",
                    (loaded.ms / loaded.changes) / (idle.ms / idle.changes));
    return idle.timeouts + loaded.timeouts == 0 ? 0 : 1;
}
