// veltrane-cli under faults, as cron and a hostile administrator would meet them: killed at any
// moment of a change batch, a full disk, two batches at once, and a pending password that may be
// live. After each, the database must still lead to the password every host accepts.
#include "batch/ChangeIntent.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/cli/CliInstall.h"
#include "tests/support/SmallFileSystem.h"
#include "tests/support/TestServers.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

#include <csignal>

class TestCliRecovery : public QObject
{
    Q_OBJECT

    std::unique_ptr<CliInstall> m_install;
    QStringList m_touched;

    CliResult cli(const QStringList& arguments, const QByteArray& input = QByteArray())
    {
        return m_install->run(arguments, input, 180000);
    }

    /// One host on address with one user per account, all with the test password.
    void importUsers(const QString& address, const QStringList& accounts)
    {
        QByteArray users;
        for (const QString& account : accounts) {
            users += QStringLiteral("%1,2222,%2,%3,,,,,\r\n").arg(address, account, TestServers::Password).toUtf8();
            m_touched << account;
            QVERIFY(ResetPassword(account, TestServers::Password));
        }
        m_install->writeFile(QStringLiteral("hosts.csv"),
                             kHostsHeader + QStringLiteral("%1,2222,,,,user,\r\n").arg(address).toUtf8());
        m_install->writeFile(QStringLiteral("users.csv"), kUsersHeader + users);
        EXPECT_EXIT(cli({"import", "hosts", "hosts.csv"}), 0);
        EXPECT_EXIT(cli({"import", "users", "users.csv"}), 0);
    }

private slots:
    void initTestCase() { QVERIFY2(ServerProblem().isEmpty(), qPrintable(ServerProblem())); }
    void init()
    {
        m_install = std::make_unique<CliInstall>();
        // Long passwords with every class, so that the host's password rules accept them.
        m_install->writeFile(QStringLiteral("Options.ini"), "[Options]\r\nPass_Length=14\r\n");
    }
    void cleanup()
    {
        m_install.reset();
        for (const QString& account : m_touched)
            ResetPassword(account, TestServers::Password);
        m_touched.clear();
    }

    void killedAnywhereInAChangeBatchLosesNoPassword()
    {
        const QStringList accounts = TestServers::Accounts(QStringLiteral("vtst_crash"), 3);
        importUsers(TestServers::OpenSshAddress, accounts);

        // One whole run tells how long the dialogs take; the kills are spread over that time.
        EXPECT_EXIT(cli({"generate", "--all"}), 0);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EXIT(cli({"change-password", "--all"}), 0);
        const qint64 runMs = clock.elapsed();

        constexpr int kKills = 10;
        int unconfirmed = 0;
        for (int kill = 0; kill < kKills; ++kill) {
            EXPECT_EXIT(cli({"generate", "--all"}), 0);
            QProcess batch;
            m_install->start(batch, {QStringLiteral("change-password"), QStringLiteral("--all")});
            QVERIFY(batch.waitForStarted(10000));
            const qint64 slot = runMs / kKills;
            QTest::qWait(static_cast<int>(kill * slot + QRandomGenerator::global()->bounded(slot + 1)));
            // A batch that already ended has no process id, and kill(0) would hit this whole process group.
            if (const qint64 pid = batch.processId(); pid > 0)
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            QVERIFY(batch.state() == QProcess::NotRunning || batch.waitForFinished(10000));

            // Whatever the moment, verify leaves every record holding what its host accepts.
            const CliResult verified = cli({"verify", "--all"});
            EXPECT_EXIT(verified, 0);
            if (verified.out.contains(QStringLiteral("left unconfirmed")))
                ++unconfirmed;
            EXPECT_EXIT(cli({"test-login", "--all"}), 0);
        }
        qInfo("%d kills over a change batch of %d users (%d left a change unconfirmed), 0 passwords lost", kKills,
              int(accounts.size()), unconfirmed);
    }

    void fullDiskKeepsEveryOutcomeSomewhere()
    {
        SmallFileSystem disk(1024 * 1024);
        if (!disk.mounted())
            QSKIP("mounting a tmpfs needs root");
        const QString account = QStringLiteral("vtst_fault1");
        importUsers(TestServers::OpenSshAddress, {account});
        // Database and Logs both on the small disk.
        const QString database = disk.path(QStringLiteral("veltrane.db"));
        QVERIFY(QFile::copy(m_install->environment().databasePath(), database));
        QVERIFY(QDir().mkpath(disk.path(QStringLiteral("Logs"))));
        QVERIFY(QFile::link(disk.path(QStringLiteral("Logs")), m_install->path(QStringLiteral("Logs"))));
        const QStringList onDisk{QStringLiteral("--db"), database};

        QStringList outcomes;
        for (const qint64 left : {0, 4096, 8192, 12288, 16384, 24576, 65536}) {
            disk.makeRoom();
            const QString next = QStringLiteral("Vt-Full#%1x").arg(left);
            EXPECT_EXIT(cli(onDisk + QStringList{"user", "edit", TestServers::OpenSshAddress + ":2222", account,
                                                 "--new-password"},
                            next.toUtf8() + '\n'),
                        0);
            QVERIFY(disk.fillLeaving(left));
            const CliResult run = cli(onDisk + QStringList{"change-password", "--all"});
            disk.makeRoom();

            // What the run claims it kept must be whole.
            if (run.out.contains(QStringLiteral("logfile instead."))) {
                const QStringList files = QDir(disk.path(QStringLiteral("Logs"))).entryList(QDir::Files);
                QVERIFY(!files.isEmpty());
                const CliResult read = cli({"decipher-log", disk.path(QStringLiteral("Logs/")) + files.last()});
                EXPECT_EXIT(read, 0);
            }
            outcomes << (run.exitCode == 0                                 ? QStringLiteral("saved")
                         : run.out.contains(QStringLiteral("Not started")) ? QStringLiteral("not started")
                         : run.out.contains(QStringLiteral("logfile"))     ? QStringLiteral("log file")
                                                                           : QStringLiteral("other"));
            // With room again, the database still leads to the password the host accepts.
            EXPECT_EXIT(cli(onDisk + QStringList{"verify", "--all"}), 0);
            EXPECT_EXIT(cli(onDisk + QStringList{"test-login", "--all"}), 0);
        }
        qInfo("full disk outcomes by free bytes 0..64K: %s", qPrintable(outcomes.join(QStringLiteral(", "))));
        QVERIFY(outcomes.contains(QStringLiteral("saved")));
    }

    void secondChangeBatchIsRefusedWhileTheFirstRuns()
    {
        // A host that never answers keeps the first batch busy for its 5 s connect limit.
        importUsers(TestServers::UnansweredAddress, {QStringLiteral("vtst_fault2")});
        EXPECT_EXIT(cli({"generate", "--all"}), 0);
        QProcess first;
        m_install->start(first, {QStringLiteral("change-password"), QStringLiteral("--all")});
        QVERIFY(first.waitForStarted(10000));
        QTest::qWait(1000);

        for (const char* command : {"change-password", "verify", "generate"}) {
            const CliResult second = cli({command, "--all"});
            EXPECT_EXIT(second, 1);
            QVERIFY2(
                second.err.contains(QStringLiteral("process %1, veltrane-cli change-password").arg(first.processId())),
                qPrintable(second.err));
        }
        // Reading is never blocked.
        EXPECT_EXIT(cli({"list"}), 0);
        QVERIFY(first.waitForFinished(30000));
        QCOMPARE(first.exitCode(), 1); // the host never answered
        // The pending password the refused generate would have replaced is still there.
        const CliResult listed = cli({"list"});
        QVERIFY2(listed.out.contains(QStringLiteral("new=********")), qPrintable(listed.out));
    }

    void pendingPasswordThatMayBeLiveIsKept()
    {
        const QString account = QStringLiteral("vtst_fault3");
        importUsers(TestServers::OpenSshAddress, {account});
        EXPECT_EXIT(cli({"generate", "--all"}), 0);
        TdmPublic& dm = m_install->environment().dm();
        QList<TUser> users = dm.IntentColumns ? UsersWithOpenIntent(dm) : QList<TUser>();
        QVERIFY(users.isEmpty());
        TUser user;
        user.uID = 1;
        QVERIFY(RefreshPasswords(dm, user));
        const QString pending = user.pwNew;
        RecordChangeIntent(dm, user, 46000.5);

        const CliResult generated = cli({"generate", "--all"});
        EXPECT_EXIT(generated, 1);
        QVERIFY2(generated.out.contains(account + QStringLiteral(" 127.0.0.2:2222 skipped: Change not confirmed")),
                 qPrintable(generated.out));
        QVERIFY(RefreshPasswords(dm, user));
        QCOMPARE(user.pwNew, pending);

        const CliResult listed = cli({"list"});
        QVERIFY2(listed.out.contains(QStringLiteral("[Change not confirmed")), qPrintable(listed.out));
        QVERIFY(cli({"list", "--json"}).out.contains(QStringLiteral("\"changeUnconfirmed\":true")));

        // Any batch command settles it first: the host never got the pending one, so the current
        // password is found in use and the pending one stays pending.
        const CliResult tested = cli({"test-login", "--all"});
        EXPECT_EXIT(tested, 0);
        QVERIFY2(tested.out.startsWith(QStringLiteral("Checking 1 user(s) whose password change an interrupted run "
                                                      "left unconfirmed:\n")),
                 qPrintable(tested.out));
        QVERIFY(tested.out.contains(QStringLiteral("Verify Successed. The current password is in use.")));
        QVERIFY(RefreshPasswords(dm, user));
        QVERIFY(!user.HasOpenIntent());
        QCOMPARE(user.pwNew, pending);
        QCOMPARE(DecipherPassword(user.pwNow), TestServers::Password);

        // A current password stated by hand settles an unconfirmed change too.
        RecordChangeIntent(dm, user, 46000.5);
        EXPECT_EXIT(cli({"user", "edit", "127.0.0.2:2222", account, "--password"}, "Vt-Stated#1\n"), 0);
        QVERIFY(RefreshPasswords(dm, user));
        QVERIFY(!user.HasOpenIntent());
    }
};

QTEST_GUILESS_MAIN(TestCliRecovery)
#include "tst_clirecovery.moc"
