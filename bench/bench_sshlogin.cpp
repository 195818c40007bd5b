// Login probe against the loopback OpenSSH server: SSHLogin with an empty command against the
// OpenSSH client run through sshpass, 20 runs each, interleaved. Prints the medians and the ratio
// (goal: <= 0.8). Needs the test servers (tests/servers/start-all.sh).
#include "bench/BenchSupport.h"
#include "core/PasswordCipher.h"
#include "engine/ChangePlan.h"
#include "engine/TRemoteEngine.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestServers.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString problem = ServerProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "bench_sshlogin: %s\n", qPrintable(problem));
        return 1;
    }
    constexpr int kRuns = 20;
    const QString account = QStringLiteral("vtst_bench1");
    TestEnvironment env;
    RecordingUiServices ui;
    TRunContext run;
    TRemoteEngine engine(run);
    TUser user;
    user.HostIP = TestServers::OpenSshAddress;
    user.HostPort = TestServers::Port;
    user.LoginName = account;
    user.pwNow = EncipherPassword(TestServers::Password);

    const QString opensshKnownHosts = env.dir() + QStringLiteral("/openssh_known_hosts");
    const QStringList opensshArguments = {QStringLiteral("-p"),
                                          TestServers::Password,
                                          QStringLiteral("ssh"),
                                          QStringLiteral("-F"),
                                          QStringLiteral("/dev/null"),
                                          QStringLiteral("-o"),
                                          QStringLiteral("UserKnownHostsFile=") + opensshKnownHosts,
                                          QStringLiteral("-o"),
                                          QStringLiteral("StrictHostKeyChecking=accept-new"),
                                          account + QLatin1Char('@') + TestServers::OpenSshAddress,
                                          QStringLiteral("-p"),
                                          QString::number(TestServers::Port),
                                          QStringLiteral("echo 2009")};

    const auto probe = [&]() -> double {
        TActionStaus status;
        QElapsedTimer clock;
        clock.start();
        engine.SSHLogin(LoginRequestOf(user, KnownHostsPathOf(env.dm())), status);
        const double ms = clock.nsecsElapsed() / 1e6;
        if (status.Code != acLoginSucceeded) {
            std::fprintf(stderr, "SSHLogin failed: %s\n", qPrintable(status.Shown()));
            return -1;
        }
        return ms;
    };

    // Warm-up: both sides record the host key and the server's caches fill.
    if (probe() < 0 || Bench::TimedRun(QStringLiteral("sshpass"), opensshArguments) < 0)
        return 1;
    // The same key exchange as ours, so that the ratio compares the rest of the login.
    QStringList sameKex = opensshArguments;
    sameKex.insert(sameKex.indexOf(QStringLiteral("-F")), QStringLiteral("-oKexAlgorithms=curve25519-sha256"));
    std::vector<double> ours;
    std::vector<double> openssh;
    std::vector<double> opensshSameKex;
    for (int i = 0; i < kRuns; ++i) {
        const double a = probe();
        const double b = Bench::TimedRun(QStringLiteral("sshpass"), opensshArguments);
        const double c = Bench::TimedRun(QStringLiteral("sshpass"), sameKex);
        if (a < 0 || b < 0 || c < 0)
            return 1;
        ours.push_back(a);
        openssh.push_back(b);
        opensshSameKex.push_back(c);
    }
    const double oursMedian = Bench::Median(ours);
    const double opensshMedian = Bench::Median(openssh);
    const double sameKexMedian = Bench::Median(opensshSameKex);
    std::printf("login probe, median of %d: SSHLogin %.1f ms, sshpass+ssh %.1f ms, ratio %.2f (goal <= 0.8)\n", kRuns,
                oursMedian, opensshMedian, oursMedian / opensshMedian);
    std::printf("  against sshpass+ssh with curve25519-sha256 as well: %.1f ms, ratio %.2f (goal <= 1.0)\n",
                sameKexMedian, oursMedian / sameKexMedian);
    return 0;
}
