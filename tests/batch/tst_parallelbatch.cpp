// Hosts in parallel: the lanes, the order inside a host, a dead host's other accounts, Stop with
// several conversations in flight and the notice mail after a change, first on scripted operations
// (fast), then on the real servers.
#include "batch/TBatchRunner.h"
#include "tests/batch/BatchFixture.h"
#include "tests/batch/ScriptedOperations.h"

#include <QMutex>
#include <QTimer>
#include <QtTest>

#include <thread>

using namespace TestServers;

namespace {

/// Counts conversations in flight, overall and per host, from the worker threads.
struct Concurrency
{
    QMutex mutex;
    QHash<QString, int> perHost;
    int now = 0;
    int most = 0;
    bool hostOverlapped = false;

    void enter(const QString& host)
    {
        QMutexLocker lock(&mutex);
        most = std::max(most, ++now);
        hostOverlapped |= ++perHost[host] > 1;
    }
    void leave(const QString& host)
    {
        QMutexLocker lock(&mutex);
        --now;
        --perHost[host];
    }
};

/// A user of an invented host; the scripted operations never connect.
TUser scriptedUser(BatchFixture& f, int uID, const QString& host, const QString& login)
{
    return f.AddUser(uID, 1, host, login, Password, QStringLiteral("Nw-%1#x").arg(uID));
}

int loginCode(BatchFixture& f, const QString& address, const QString& login, const QString& password)
{
    TUser user;
    user.HostIP = address;
    user.HostPort = Port;
    user.LoginName = login;
    user.pwNow = EncipherPassword(password);
    TRunContext run;
    TRemoteEngine engine(run);
    TActionStaus status;
    engine.SSHLogin(LoginRequestOf(user, KnownHostsPathOf(f.dm)), status);
    return status.Code;
}

QStringList loginsOf(const QStringList& calls, const QString& prefix)
{
    QStringList logins;
    for (const QString& call : calls)
        if (call.section(QLatin1Char(' '), 1).startsWith(prefix))
            logins << call.section(QLatin1Char(' '), 1);
    return logins;
}

} // namespace

class TestParallelBatch : public QObject
{
    Q_OBJECT

private slots:
    void init() { DayNumber::SetFixedNow(QDateTime(QDate(2009, 1, 1), QTime(12, 0))); }
    void cleanup() { DayNumber::SetFixedNow(QDateTime()); }

    void lanesKeepOneConversationPerHostInListOrder_data()
    {
        QTest::addColumn<int>("hosts");
        QTest::newRow("one at a time") << 1;
        QTest::newRow("two at once") << 2;
        QTest::newRow("more lanes than hosts") << 8;
    }
    void lanesKeepOneConversationPerHostInListOrder()
    {
        QFETCH(int, hosts);
        BatchFixture f;
        f.AddHost(1, QStringLiteral("192.0.2.1"));
        const QStringList order = {"a1", "b1", "a2", "c1", "b2", "a3", "c2"};
        QList<TUser> users;
        for (int i = 0; i < order.size(); ++i)
            users << scriptedUser(f, i + 1, QStringLiteral("192.0.2.") + order[i].left(1), order[i]);
        Concurrency seen;
        ScriptedOperations operations;
        operations.login = [&](const TUser& user, TActionStaus& status, TRunContext&) {
            seen.enter(user.HostIP);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            seen.leave(user.HostIP);
            status.Set(acLoginSucceeded);
        };
        TBatchRunner runner(f.dm, operations, otTestLogin, 0, users);
        runner.SetParallelHosts(hosts);
        RecordingObserver observer(int(users.size()));
        runner.SetObserver(&observer);
        runner.RunBatch();

        QVERIFY(!seen.hostOverlapped);
        QCOMPARE(seen.most, std::min(hosts, 3));
        const QStringList calls = operations.calls();
        if (hosts == 1)
            QCOMPARE(loginsOf(calls, QString()), order); // exactly the list order of a serial run
        for (const char* host : {"a", "b", "c"}) {
            QStringList expected;
            for (const QString& login : order)
                if (login.startsWith(QLatin1String(host)))
                    expected << login;
            QCOMPARE(loginsOf(calls, QLatin1String(host)), expected);
        }
        QCOMPARE(runner.Succeeded(), int(users.size()));
        QCOMPARE(observer.lastDone, int(users.size()));
        QCOMPARE(f.LogRows().size(), users.size()); // every user saved exactly once
        QCOMPARE(observer.finalTitle, QStringLiteral("Test Login  - Total: 7     Successed: 7     Failed: 0     "));
    }

    void anUnreachableHostIsTriedOnce()
    {
        BatchFixture f;
        f.AddHost(1, QStringLiteral("192.0.2.1"));
        const QList<TUser> users = {scriptedUser(f, 1, QStringLiteral("192.0.2.9"), QStringLiteral("d1")),
                                    scriptedUser(f, 2, QStringLiteral("192.0.2.8"), QStringLiteral("e1")),
                                    scriptedUser(f, 3, QStringLiteral("192.0.2.9"), QStringLiteral("d2")),
                                    scriptedUser(f, 4, QStringLiteral("192.0.2.9"), QStringLiteral("d3"))};
        ScriptedOperations operations;
        operations.change = [](const TUser& user, TActionStaus& status, TRunContext&) {
            if (user.HostIP == QLatin1String("192.0.2.9")) {
                status.Set(acConnectFailed);
                status.Detail = QStringLiteral("No TCP connection.");
                status.HostUnreachable = true;
                return;
            }
            status.Set(acChangeSucceeded);
        };
        TBatchRunner runner(f.dm, operations, otChangePassword, 0, users);
        runner.RunBatch();

        QStringList calls = operations.calls();
        calls.sort();
        QCOMPARE(calls, (QStringList{"change d1", "change e1"}));
        const QString notTried = QStringLiteral("Connected Failed. No TCP connection. The host was not tried again: "
                                                "it could not be reached earlier in this batch.");
        QCOMPARE(runner.Users()[2].ResultText, notTried);
        QCOMPARE(runner.Users()[3].ResultText, notTried);
        QCOMPARE(runner.Succeeded(), 1);
        QCOMPARE(f.LogRows().size(), 4);
        // Nothing was sent for the accounts not tried: no change may be left in flight for them.
        for (int uID : {3, 4})
            QCOMPARE(f.StoredUser(uID).pwNow, users[uID - 1].pwNow);
    }

    void stopReachesEveryConversationInFlight()
    {
        BatchFixture f;
        f.AddHost(1, QStringLiteral("192.0.2.1"));
        QList<TUser> users;
        for (int i = 0; i < 6; ++i)
            users << scriptedUser(f, i + 1, QStringLiteral("192.0.2.%1").arg(10 + i % 3), QStringLiteral("u%1").arg(i));
        ScriptedOperations operations;
        // Each conversation waits for its host until the run is stopped, as a wait on a socket does.
        operations.login = [](const TUser&, TActionStaus& status, TRunContext& run) {
            for (int i = 0; i < 1000 && !run.CancelRequested(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            status.Set(acLoginFailed);
            status.Detail = QStringLiteral("Cancelled by user. ");
        };
        TBatchRunner runner(f.dm, operations, otTestLogin, 0, users);
        runner.SetParallelHosts(3);
        RecordingObserver observer(6);
        runner.SetObserver(&observer);
        QTimer::singleShot(200, [&] { runner.Stop(); });
        QElapsedTimer clock;
        clock.start();
        runner.RunBatch();

        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(operations.calls().size(), 3); // the three in flight; no new one after Stop
        QCOMPARE(runner.Done(), 3);
        for (int row = 0; row < 3; ++row)
            QVERIFY(observer.rows[row].text.endsWith(QStringLiteral("Login failed. Cancelled by user. ")));
        for (int row = 3; row < 6; ++row)
            QCOMPARE(observer.rows[row].state, TRowState::None);
        QCOMPARE(f.LogRows().size(), 3);
        QCOMPARE(observer.finished, 1);
    }

    void noticeMailFollowsOnlyASuccessfulChange_data()
    {
        QTest::addColumn<bool>("changes");
        QTest::addColumn<int>("options");
        QTest::addColumn<bool>("mailThrows");
        QTest::addColumn<QString>("sent");    // how a change that sent the new password ended: timeout, refused
        QTest::addColumn<bool>("hostHasNew"); // which password the check then finds
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("mails");
        QTest::addColumn<QString>("firstTried"); // the password the check tries first
        QTest::newRow("mail fails after the change") << true << int(ooSendNoticeMail) << false << "" << true
                                                     << "Changed Successed. Send Failed. mail server down" << 1 << "";
        QTest::newRow("mail sender throws") << true << int(ooSendNoticeMail) << true << "" << true
                                            << "Changed Successed. Send Failed. no route" << 1 << "";
        QTest::newRow("option not given") << true << 0 << false << "" << true << "Changed Successed. " << 0 << "";
        QTest::newRow("change failed") << false << int(ooSendNoticeMail) << false << "" << false
                                       << "Changed Failed. refused" << 0 << "";
        // A change the host took without saying so is a success in every place, the mail included.
        QTest::newRow("host took it silently")
            << false << int(ooSendNoticeMail) << false << "timeout" << true
            << "Changed Successed. The host did not confirm the change (refused), but a fresh login with the new "
               "password worked. Verified: the new password is in use. Send Failed. mail server down"
            << 1 << "new";
        // After a refusal in words the old password is the likely one: one login tells.
        QTest::newRow("host refused in words")
            << false << int(ooSendNoticeMail) << false << "refused" << false
            << "Changed Failed. refused Verified: the old password is still in use." << 0 << "old";
    }
    void noticeMailFollowsOnlyASuccessfulChange()
    {
        QFETCH(bool, changes);
        QFETCH(int, options);
        QFETCH(bool, mailThrows);
        QFETCH(QString, sent);
        QFETCH(bool, hostHasNew);
        QFETCH(QString, shown);
        QFETCH(int, mails);
        QFETCH(QString, firstTried);
        BatchFixture f;
        f.AddHost(1, QStringLiteral("192.0.2.1"));
        const TUser user = scriptedUser(f, 1, QStringLiteral("192.0.2.1"), QStringLiteral("m1"));
        ScriptedOperations operations;
        operations.change = [&](const TUser&, TActionStaus& status, TRunContext&) {
            status.Set(changes ? acChangeSucceeded : acChangeFailed);
            status.Detail = changes ? QString() : QStringLiteral("refused");
            status.NewPasswordSent = !sent.isEmpty();
            status.ChangeRefused = sent == QLatin1String("refused");
        };
        QStringList tried;
        operations.login = [&](const TUser& probe, TActionStaus& status, TRunContext&) {
            const bool isNew = probe.pwNow == user.pwNew;
            tried << (isNew ? QStringLiteral("new") : QStringLiteral("old"));
            status.Set(isNew == hostHasNew ? acLoginSucceeded : acLoginFailed);
            status.LoginRefused = status.Code == acLoginFailed;
        };
        operations.mail = [&](const TUser&, TActionStaus& status, TRunContext&) {
            if (mailThrows)
                throw std::runtime_error("no route");
            status.Set(acSendFailed);
            status.Detail = QStringLiteral("mail server down");
        };
        TBatchRunner runner(f.dm, operations, otChangePassword, TOperationOptions(options), {user});
        runner.RunBatch();
        QCOMPARE(runner.Users()[0].ResultText, shown);
        QCOMPARE(operations.calls().filter(QStringLiteral("mail ")).size(), mails);
        QCOMPARE(tried.value(0), firstTried);
        if (firstTried == QLatin1String("old"))
            QCOMPARE(tried.size(), 1);
        // A change stays a change whatever the mail did: the new password is the current one.
        QCOMPARE(f.StoredUser(1).pwNow == user.pwNew, hostHasNew);
        QCOMPARE(runner.Succeeded(), hostHasNew ? 1 : 0);
    }

    void managerAccountTakesTheHostsPasswordAlong_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("hostPassword"); // the stored MngPwd before, "" for none
        QTest::addColumn<bool>("settles");         // the host takes the new password
        QTest::addColumn<QString>("mngPwdAfter");
        QTest::addColumn<QString>("rootPwdAfter");
        const QString next = QStringLiteral("Nw-1#x");
        QTest::newRow("manager changed") << int(otChangePassword) << "mgr"
                                         << "Old-mgr" << true << next << "Old-root";
        QTest::newRow("manager change refused") << int(otChangePassword) << "mgr"
                                                << "Old-mgr" << false << "Old-mgr"
                                                << "Old-root";
        QTest::newRow("manager verified with the new password") << int(otVerifyPassword) << "mgr"
                                                                << "Old-mgr" << true << next << "Old-root";
        QTest::newRow("manager stored without a password keeps none") << int(otChangePassword) << "mgr"
                                                                      << "" << true << ""
                                                                      << "Old-root";
        QTest::newRow("root of su changed") << int(otChangePassword) << "root"
                                            << "Old-mgr" << true << "Old-mgr" << next;
        QTest::newRow("another user") << int(otChangePassword) << "Mgr"
                                      << "Old-mgr" << true << "Old-mgr"
                                      << "Old-root";
    }
    void managerAccountTakesTheHostsPasswordAlong()
    {
        QFETCH(int, type);
        QFETCH(QString, login);
        QFETCH(QString, hostPassword);
        QFETCH(bool, settles);
        QFETCH(QString, mngPwdAfter);
        QFETCH(QString, rootPwdAfter);
        BatchFixture f;
        f.AddHost(1, QStringLiteral("192.0.2.1"));
        f.dm.DBSession.Execute(QStringLiteral("update Hosts set MngLogin = 'mgr', MngPwd = '%1', MngElevation = 2, "
                                              "MngRootPwd = '%2'")
                                   .arg(EncipherPassword(hostPassword), EncipherPassword(QStringLiteral("Old-root"))));
        const TUser user = scriptedUser(f, 1, QStringLiteral("192.0.2.1"), login);
        ScriptedOperations operations;
        operations.change = [&](const TUser&, TActionStaus& status, TRunContext&) {
            status.Set(settles ? acChangeSucceeded : acChangeFailed);
        };
        // Verify: only the new password logs in.
        operations.login = [&](const TUser& probe, TActionStaus& status, TRunContext&) {
            status.Set(DecipherPassword(probe.pwNow) == QLatin1String("Nw-1#x") ? acLoginSucceeded : acLoginFailed);
            status.LoginRefused = true;
        };
        TBatchRunner runner(f.dm, operations, TOperationType(type), 0, {user});
        runner.RunBatch();
        auto query = f.dm.NewQuery();
        query->SelectSQL = QStringLiteral("select MngPwd, MngRootPwd from Hosts");
        QVERIFY(f.dm.OpenQuery(*query) && !query->Eof());
        QCOMPARE(DecipherPassword(query->Fields(0).AsString()), mngPwdAfter);
        QCOMPARE(DecipherPassword(query->Fields(1).AsString()), rootPwdAfter);
        QCOMPARE(f.StoredUser(1).pwNow == user.pwNew, settles);
    }

    void realHostsInParallel()
    {
        REQUIRE_TEST_SERVERS();
        for (const QString& account : Accounts(QStringLiteral("vtst_par"), 4))
            QVERIFY(ResetPassword(account, Password));
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        f.AddHost(2, SilentAddress);
        f.AddHost(3, ClosedAddress);
        THost managed;
        managed.hID = 4;
        managed.hAddress = OpenSshAddress;
        managed.hPort = Port;
        managed.OSID = 2; // Linux (manager account)
        managed.MngLogin = ManagerAccount;
        managed.MngPwd = EncipherPassword(Password);
        managed.UseManager = -1;
        QVERIFY(f.dm.SaveHost(managed, TSaveMode::Insert));
        const QString fresh = QStringLiteral("Par-%1#Vt").arg(QDateTime::currentMSecsSinceEpoch() % 100000);
        QList<TUser> users;
        // Three accounts through the manager's connection, two on a host that never speaks, one
        // where nothing listens, and one changing its own password.
        for (int i = 1; i <= 3; ++i) {
            TUser user = f.AddUser(i, 4, OpenSshAddress, QStringLiteral("vtst_par%1").arg(i), Password, fresh);
            users << user;
        }
        users << f.AddUser(4, 2, SilentAddress, QStringLiteral("vtst_par1"), Password, fresh)
              << f.AddUser(5, 2, SilentAddress, QStringLiteral("vtst_par2"), Password, fresh)
              << f.AddUser(6, 3, ClosedAddress, QStringLiteral("vtst_par3"), Password, fresh)
              << f.AddUser(7, 1, OpenSshAddress, QStringLiteral("vtst_par4"), Password, fresh);
        TBatchRunner runner(f.dm, f.operations, otChangePassword, 0, users);
        runner.SetParallelHosts(4);
        QElapsedTimer clock;
        clock.start();
        runner.RunBatch();

        // The silent host costs one idle limit (15 s), not two, and it does not hold up the others.
        QVERIFY2(clock.elapsed() < 25000, qPrintable(QString::number(clock.elapsed())));
        for (int row : {0, 1, 2, 6})
            QCOMPARE(runner.Users()[row].ResultText, QStringLiteral("Changed Successed. "));
        QVERIFY(
            runner.Users()[4].ResultText.endsWith(QStringLiteral("it could not be reached earlier in this batch.")));
        QVERIFY(runner.Users()[5].ResultText.startsWith(QStringLiteral("Connected Failed. ")));
        QCOMPARE(runner.Succeeded(), 4);
        QCOMPARE(f.LogRows().size(), 7);
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(loginCode(f, OpenSshAddress, QStringLiteral("vtst_par%1").arg(i), fresh), int(acLoginSucceeded));
        VerifyNoSecret(f.EverythingKept(), {Password, fresh});
    }
};

QTEST_GUILESS_MAIN(TestParallelBatch)
#include "tst_parallelbatch.moc"
