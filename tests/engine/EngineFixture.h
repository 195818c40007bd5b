#pragma once

// One throw-away installation with a data module, recorded UI services and an engine, plus the
// records the engine tests log in with.

#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "engine/ChangePlan.h"
#include "engine/TRemoteEngine.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestServers.h"

#include <QStringList>
#include <QtTest>

#include <chrono>
#include <thread>

#include <sys/resource.h>

struct EngineFixture
{
    TestEnvironment env;
    RecordingUiServices ui;
    TdmPublic& dm = env.dm();
    TRunContext run;
    TRemoteEngine engine{run};
    QStringList progressTexts;
    std::thread canceller;

    EngineFixture()
    {
        run.Progress = [this](const QString& text) {
            progressTexts << text;
        };
    }
    ~EngineFixture()
    {
        if (canceller.joinable())
            canceller.join();
    }

    QString knownHostsPath() const { return KnownHostsPathOf(dm); }
    /// Logs in as user with its current password and starts command (empty: the probe).
    void login(const TUser& user, const QString& command, TActionStaus& status)
    {
        engine.SSHLogin(LoginRequestOf(user, knownHostsPath(), command), status);
    }
    /// Plans and runs the change of user's password.
    void change(const TUser& user, TOperationOptions options, TActionStaus& status)
    {
        ChangeUserPassword(dm, engine, user, options, status);
    }
    /// Presses Stop from another thread after ms, as the runner window does while the engine waits.
    void cancelAfter(int ms)
    {
        canceller = std::thread([this, ms] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            run.RequestCancel();
        });
    }

    /// A user record as the list query fills it (host address and port included).
    static TUser User(const QString& address, const QString& login, const QString& password,
                      const QString& newPassword = QString(), int hID = 1)
    {
        TUser user;
        user.uID = 1;
        user.hID = hID;
        user.HostIP = address;
        user.HostPort = TestServers::Port;
        user.LoginName = login;
        user.pwNow = EncipherPassword(password);
        user.pwNew = newPassword.isEmpty() ? QString() : EncipherPassword(newPassword);
        return user;
    }

    /// Stores host hID at address with profile osid and manager account manager; useManager -1 makes
    /// operations log in as the manager.
    void AddHost(int hID, const QString& address, int osid, const QString& manager = QString(), int useManager = 1)
    {
        THost host;
        host.hID = hID;
        host.hAddress = address;
        host.hPort = TestServers::Port;
        host.OSID = osid;
        host.MngLogin = manager;
        host.MngPwd = EncipherPassword(TestServers::Password);
        host.UseManager = useManager;
        QVERIFY(dm.SaveHost(host, TSaveMode::Insert));
    }

    /// Everything the engine showed or recorded, to search for secrets.
    QString EverythingShown() const
    {
        QString text = run.GetTranscriptText() + progressTexts.join(QLatin1Char('\n'));
        for (const auto& shown : ui.shown(QStringLiteral("status")))
            text += shown.text;
        return text;
    }
};

/// Processor time (user + system) this process has used, in milliseconds.
inline double ProcessCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

#define REQUIRE_TEST_SERVERS()                                                                                         \
    do {                                                                                                               \
        const QString problem = ServerProblem();                                                                       \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                                              \
    } while (false)
