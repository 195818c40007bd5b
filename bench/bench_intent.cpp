// What never losing a password costs. (1) One password change through the batch runner with the
// change recorded in the database before it goes out, against the same change without that record,
// interleaved, 15 runs each (goal: ratio <= 1.05). (2) Verify Password over 10 users whose current
// password works, against Test Login over the same 10 (goal: ratio <= 1.1). Needs the test servers
// (tests/servers/start-all.sh).
#include "batch/TBatchRunner.h"
#include "batch/TRemoteBatchOperations.h"
#include "bench/BenchSupport.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestServers.h"

#include <QCoreApplication>

namespace {

TUser storedUser(TdmPublic& dm, int uID, const QString& address, const QString& login)
{
    TUser user;
    user.uID = uID;
    user.hID = 1;
    user.HostIP = address;
    user.HostPort = TestServers::Port;
    user.LoginName = login;
    user.pwNow = EncipherPassword(TestServers::Password);
    user.pwNew = EncipherPassword(QStringLiteral("Bench-New#1"));
    user.pwPeriod = -1;
    dm.SaveUser(user, TSaveMode::Insert);
    return user;
}

void addHost(TdmPublic& dm, int hID, const QString& address)
{
    THost host;
    host.hID = hID;
    host.hAddress = address;
    host.hPort = TestServers::Port;
    host.OSID = 999; // no profile rows: the default prompts
    host.UseManager = 1;
    dm.SaveHost(host, TSaveMode::Insert);
}

/// Milliseconds of one batch, or -1 when any user failed.
double timedBatch(TdmPublic& dm, TBatchOperations& operations, TOperationType type, const QList<TUser>& users,
                  bool intent = true)
{
    TBatchRunner runner(dm, operations, type, 0, users);
    runner.SetWriteAheadIntent(intent);
    QElapsedTimer clock;
    clock.start();
    runner.RunBatch();
    const double ms = clock.nsecsElapsed() / 1e6;
    if (runner.Succeeded() != runner.Total()) {
        std::fprintf(stderr, "batch failed: %s\n", qPrintable(runner.Users().first().ResultText));
        return -1;
    }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString problem = ServerProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "bench_intent: %s\n", qPrintable(problem));
        return 1;
    }
    TestEnvironment env;
    RecordingUiServices ui;
    TdmPublic& dm = env.dm();
    TRemoteBatchOperations operations(dm);

    // (1) The scripted Debian dialog takes any answers, so every run is the same change.
    addHost(dm, 1, TestServers::DialogAddress);
    const TUser changed = storedUser(dm, 1, TestServers::DialogAddress, QStringLiteral("vtdlg_debian5"));
    const auto change = [&](bool intent) {
        // The same pending password every time: put it back after each successful change.
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("update Users set pwNow = '%1', pwNew = '%2' where uID = 1")
                               .arg(changed.pwNow, changed.pwNew);
        dm.OpenQuery(*query);
        return timedBatch(dm, operations, otChangePassword, {changed}, intent);
    };
    constexpr int kChanges = 15;
    if (change(true) < 0 || change(false) < 0)
        return 1;
    std::vector<double> with, without;
    for (int i = 0; i < kChanges; ++i) {
        const double a = change(true);
        const double b = change(false);
        if (a < 0 || b < 0)
            return 1;
        with.push_back(a);
        without.push_back(b);
    }
    const double withMedian = Bench::Median(with);
    const double withoutMedian = Bench::Median(without);
    std::printf("one change, median of %d: with the intent %.1f ms, without %.1f ms, ratio %.3f (goal <= 1.05)\n",
                kChanges, withMedian, withoutMedian, withMedian / withoutMedian);

    // (2) Ten users whose current password works.
    addHost(dm, 2, TestServers::OpenSshAddress);
    QList<TUser> ten;
    for (int i = 0; i < 10; ++i) {
        TUser user = storedUser(dm, 10 + i, TestServers::OpenSshAddress, QStringLiteral("vtst_bench2"));
        user.hID = 2;
        ten << user;
    }
    constexpr int kBatches = 5;
    if (timedBatch(dm, operations, otTestLogin, ten) < 0)
        return 1;
    std::vector<double> verify, probe;
    for (int i = 0; i < kBatches; ++i) {
        const double a = timedBatch(dm, operations, otVerifyPassword, ten);
        const double b = timedBatch(dm, operations, otTestLogin, ten);
        if (a < 0 || b < 0)
            return 1;
        verify.push_back(a);
        probe.push_back(b);
    }
    const double verifyMedian = Bench::Median(verify);
    const double probeMedian = Bench::Median(probe);
    std::printf("10 users, median of %d: Verify Password %.1f ms, Test Login %.1f ms, ratio %.3f (goal <= 1.1)\n",
                kBatches, verifyMedian, probeMedian, verifyMedian / probeMedian);
    return 0;
}
