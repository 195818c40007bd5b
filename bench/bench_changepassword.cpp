// A full password change in user mode on the loopback OpenSSH server: ChangeUserPassword against an
// expect script driving the same passwd dialog over the OpenSSH client, 10 runs each, interleaved
// (goal: ratio <= 1.0). Then the processor time our process spends during one 5 s prompt wait
// (goal: under 5 % of a core). Needs the test servers (tests/servers/start-all.sh).
#include "bench/BenchSupport.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "engine/ChangePlan.h"
#include "engine/TRemoteEngine.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestServers.h"

#include <QCoreApplication>

#include <sys/resource.h>

namespace {

double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString problem = ServerProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "bench_changepassword: %s\n", qPrintable(problem));
        return 1;
    }
    constexpr int kRuns = 10;
    const QString account = QStringLiteral("vtst_bench2");
    // Two passwords far enough apart for passwd's similarity check; each run swaps them.
    QString current = QStringLiteral("Kq8#mZt2vLx9");
    QString next = QStringLiteral("Wp3$hRn7bYc4");
    if (!ResetPassword(account, current)) {
        std::fprintf(stderr, "bench_changepassword: cannot set the password of %s (run as root)\n",
                     qPrintable(account));
        return 1;
    }

    TestEnvironment env;
    RecordingUiServices ui;
    TdmPublic& dm = env.dm();
    THost host;
    host.hID = 1;
    host.hAddress = TestServers::OpenSshAddress;
    host.hPort = TestServers::Port;
    host.OSID = 1; // Linux
    host.UseManager = 1;
    dm.SaveHost(host, TSaveMode::Insert);
    TRunContext run;
    TRemoteEngine engine(run);
    TUser user;
    user.hID = 1;
    user.HostIP = TestServers::OpenSshAddress;
    user.HostPort = TestServers::Port;
    user.LoginName = account;

    const QString script = QCoreApplication::applicationDirPath() + QStringLiteral("/change-password.exp");
    const QString knownHosts = env.dir() + QStringLiteral("/openssh_known_hosts");
    const auto swap = [&] {
        std::swap(current, next);
    };
    const auto viaEngine = [&]() -> double {
        user.pwNow = EncipherPassword(current);
        user.pwNew = EncipherPassword(next);
        TActionStaus status;
        QElapsedTimer clock;
        clock.start();
        ChangeUserPassword(dm, engine, user, 0, status);
        const double ms = clock.nsecsElapsed() / 1e6;
        if (status.Code != acChangeSucceeded) {
            std::fprintf(stderr, "ChangeUserPassword failed: %s\n%s\n", qPrintable(status.Shown()),
                         qPrintable(run.GetTranscriptText()));
            return -1;
        }
        swap();
        return ms;
    };
    const auto viaExpect = [&]() -> double {
        const double ms =
            Bench::TimedRun(QStringLiteral("expect"), {script, knownHosts, TestServers::OpenSshAddress,
                                                       QString::number(TestServers::Port), account, current, next});
        if (ms >= 0)
            swap();
        return ms;
    };

    int status = 0;
    std::vector<double> ours;
    std::vector<double> reference;
    if (viaEngine() < 0 || viaExpect() < 0) // warm-up, records both host keys
        status = 1;
    for (int i = 0; status == 0 && i < kRuns; ++i) {
        const double a = viaEngine();
        const double b = viaExpect();
        if (a < 0 || b < 0)
            status = 1;
        ours.push_back(a);
        reference.push_back(b);
    }
    if (status == 0) {
        const double oursMedian = Bench::Median(ours);
        const double referenceMedian = Bench::Median(reference);
        std::printf("password change, median of %d: ChangeUserPassword %.1f ms, expect+ssh %.1f ms, ratio %.2f "
                    "(goal <= 1.0)\n",
                    kRuns, oursMedian, referenceMedian, oursMedian / referenceMedian);

        // One prompt wait that runs its full 5 s: passwd waits for the old password meanwhile.
        user.pwNow = EncipherPassword(current);
        TActionStaus login;
        engine.SSHLogin(LoginRequestOf(user, KnownHostsPathOf(dm), QStringLiteral("passwd")), login);
        if (login.Code == acLoginSucceeded) {
            engine.WaitForText(QStringLiteral("password:"));
            const double cpuBefore = processCpuMs();
            QElapsedTimer clock;
            clock.start();
            try {
                engine.WaitForText(QStringLiteral("text that never comes"));
            } catch (const RemoteError&) {
            }
            const double cpu = processCpuMs() - cpuBefore;
            std::printf("one %lld ms prompt wait: %.1f ms of processor time, %.2f %% of a core (goal < 5 %%)\n",
                        clock.elapsed(), cpu, 100.0 * cpu / clock.elapsed());
            engine.CloseSession();
        } else {
            std::fprintf(stderr, "login for the wait measurement failed: %s\n", qPrintable(login.Shown()));
            status = 1;
        }
    }
    ResetPassword(account, TestServers::Password);
    return status;
}
