// What the check after a change costs, measured against the same batch without it in the same run, on
// 10 real accounts of one host changed by its manager (sudo passwd). Needs the test servers
// (tests/servers/start-all.sh, as root).
// (1) change with the check by a login as each account vs change without (goal: <= 1.3);
// (2) change with the check through the manager's reading of the shadow entry vs without (goal: <= 1.1);
// (3) Verify Password of the 10 through the manager vs by a login as each (goal: <= 0.5).
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

constexpr int kAccounts = 10;
constexpr int kRounds = 3;

/// The host's operations with the shadow entry out of reach, as on a host whose manager may not read it.
class LoginOnlyOperations : public TRemoteBatchOperations
{
public:
    using TRemoteBatchOperations::TRemoteBatchOperations;
    bool ReadShadowHash(const TUser&, const TPreparedWork&, TRunContext&, QString& hash, QString& problem) override
    {
        hash.clear();
        problem.clear();
        return false;
    }
};

int osidOf(TdmPublic& dm, const QString& name)
{
    auto query = dm.NewQuery();
    query->SelectSQL = QStringLiteral("select OSID from UnixOS where OSName = '%1'").arg(name);
    return dm.OpenQuery(*query) && !query->Eof() ? query->Fields(0).AsInteger() : 0;
}

/// Stores pwNow and pwNew as given, so that every run makes the same change.
void store(TdmPublic& dm, const QList<TUser>& users, const QString& now, const QString& next)
{
    for (const TUser& user : users)
        dm.DBSession.Execute(QStringLiteral("update Users set pwNow = '%1', pwNew = '%2', pwCandidates = '' where "
                                            "uID = %3")
                                 .arg(EncipherPassword(now), next.isEmpty() ? QString() : EncipherPassword(next))
                                 .arg(user.uID));
}

/// Milliseconds per account of one batch, or -1 when not every account succeeded.
double perAccount(TdmPublic& dm, TOperationType type, const QList<TUser>& users, bool check, bool shadow)
{
    TRemoteBatchOperations viaManager(dm);
    LoginOnlyOperations byLogin(dm);
    TBatchOperations& operations = shadow ? static_cast<TBatchOperations&>(viaManager) : byLogin;
    TBatchRunner runner(dm, operations, type, 0, users);
    runner.SetParallelHosts(1);
    runner.SetVerifyAfterChange(check);
    QElapsedTimer clock;
    clock.start();
    runner.RunBatch();
    const double ms = clock.nsecsElapsed() / 1e6 / users.size();
    if (runner.Succeeded() != users.size()) {
        for (const TUser& user : runner.Users())
            std::fprintf(stderr, "%s: %s\n", qPrintable(user.LoginName), qPrintable(user.ResultText));
        return -1;
    }
    // A check that was not made would flatter the ratio.
    for (const TUser& user : runner.Users())
        if (check && !user.ResultText.contains(QLatin1String("Verified:"))) {
            std::fprintf(stderr, "%s was not checked: %s\n", qPrintable(user.LoginName), qPrintable(user.ResultText));
            return -1;
        }
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString problem = ServerProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "bench_check: %s\n", qPrintable(problem));
        return 1;
    }
    TestEnvironment env;
    RecordingUiServices ui;
    TdmPublic& dm = env.dm();

    THost host;
    host.hID = 1;
    host.hAddress = TestServers::FleetAddress;
    host.hPort = TestServers::Port;
    host.OSID = osidOf(dm, QStringLiteral("Linux (manager account)"));
    host.MngLogin = TestServers::FleetNoPasswdManager;
    host.MngPwd = EncipherPassword(TestServers::Password);
    host.MngElevation = TElevation::Sudo;
    host.UseManager = -1;
    dm.SaveHost(host, TSaveMode::Insert);
    QList<TUser> users;
    for (int i = 1; i <= kAccounts; ++i) {
        TUser user;
        user.uID = i;
        user.hID = 1;
        user.HostIP = host.hAddress;
        user.HostPort = host.hPort;
        user.LoginName = QStringLiteral("vtfl_t%1").arg(i);
        user.pwPeriod = -1;
        dm.SaveUser(user, TSaveMode::Insert);
        if (!ResetPassword(user.LoginName, TestServers::Password)) {
            std::fprintf(stderr, "bench_check: cannot set the password of %s (run as root)\n",
                         qPrintable(user.LoginName));
            return 1;
        }
        users << user;
    }
    // Two passwords far apart; every change batch goes from the first to the second.
    const QString first = TestServers::Password;
    const QString second = QStringLiteral("Bc7#check-Qm2v");

    store(dm, users, first, QString());
    if (perAccount(dm, otTestLogin, users, false, true) < 0) // records the host key
        return 1;
    std::vector<double> plain, byLogin, byShadow, verifyShadow, verifyLogin;
    for (int round = 0; round < kRounds; ++round) {
        const auto change = [&](bool check, bool shadow) {
            store(dm, users, first, second);
            return perAccount(dm, otChangePassword, users, check, shadow);
        };
        const double a = change(false, true);
        const double b = change(true, false);
        const double c = change(true, true);
        store(dm, users, second, QString());
        const double d = perAccount(dm, otVerifyPassword, users, false, true);
        store(dm, users, second, QString());
        const double e = perAccount(dm, otVerifyPassword, users, false, false);
        if (a < 0 || b < 0 || c < 0 || d < 0 || e < 0)
            return 1;
        plain.push_back(a);
        byLogin.push_back(b);
        byShadow.push_back(c);
        verifyShadow.push_back(d);
        verifyLogin.push_back(e);
    }
    for (const TUser& user : users)
        ResetPassword(user.LoginName, TestServers::Password);

    const double p = Bench::Median(plain);
    std::printf("%d accounts, one host, median of %d, per account: change %.1f ms, with the check by login %.1f ms, "
                "ratio %.2f (goal <= 1.3)\n",
                kAccounts, kRounds, p, Bench::Median(byLogin), Bench::Median(byLogin) / p);
    std::printf("  with the check through the manager's shadow entry %.1f ms, ratio %.2f (goal <= 1.1)\n",
                Bench::Median(byShadow), Bench::Median(byShadow) / p);
    std::printf("verify, per account: through the manager %.1f ms, by login %.1f ms, ratio %.2f (goal <= 0.5)\n",
                Bench::Median(verifyShadow), Bench::Median(verifyLogin),
                Bench::Median(verifyShadow) / Bench::Median(verifyLogin));
    return 0;
}
