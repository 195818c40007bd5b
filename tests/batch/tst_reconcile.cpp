// Never losing a password: the change recorded before it goes out, Verify Password, and the
// runner's own check after a change whose outcome is unclear, against the real OpenSSH server and
// a scripted host that changes the password for real and then vanishes.
#include "batch/BatchLock.h"
#include "batch/ChangeIntent.h"
#include "batch/FallbackLogFile.h"
#include "batch/TBatchRunner.h"
#include "core/DatabaseCreator.h"
#include "core/SchemaUpgrade.h"
#include "core/UserListColumns.h"
#include "tests/batch/BatchFixture.h"
#include "tests/support/SmallFileSystem.h"

#include <QRandomGenerator>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestServers;

namespace {

const QDateTime kNoon(QDate(2009, 1, 1), QTime(12, 0));
constexpr double kNoonDay = 39814.5;

QString freshPassword()
{
    return QStringLiteral("Rc4-%1!q").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

/// pwNow, pwNew and pwIntent of a stored user, deciphered, joined by "|".
QString storedPasswords(TdmPublic& dm, int uID)
{
    auto query = dm.NewQuery();
    query->SelectSQL = QStringLiteral("select pwNow, pwNew, pwIntent from Users where uID = %1").arg(uID);
    if (!dm.OpenQuery(*query) || query->Eof())
        return QStringLiteral("<no row>");
    QStringList plain;
    for (int i = 0; i < 3; ++i)
        plain << DecipherPassword(query->Fields(i).AsString());
    return plain.join(QLatin1Char('|'));
}

struct Run
{
    RecordingObserver observer{1};
    QList<TUser> users;
};

Run runOne(BatchFixture& f, TOperationType type, const TUser& user)
{
    Run run;
    TBatchRunner runner(f.dm, f.operations, type, 0, {user});
    runner.SetObserver(&run.observer);
    runner.RunBatch();
    run.users = runner.Users();
    return run;
}

} // namespace

class TestReconcile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        REQUIRE_TEST_SERVERS();
        for (const QString& account : Accounts(QStringLiteral("vtst_rec"), 4))
            QVERIFY(ResetPassword(account, Password));
    }
    void init() { DayNumber::SetFixedNow(kNoon); }
    void cleanup() { DayNumber::SetFixedNow(QDateTime()); }
    void cleanupTestCase()
    {
        for (const QString& account : Accounts(QStringLiteral("vtst_rec"), 4))
            ResetPassword(account, Password);
        ResetPassword(QStringLiteral("vtdlg_vanish1"), Password);
    }

    void verifyRecordsWhatTheHostAccepts_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("pending");
        QTest::addColumn<bool>("succeeded");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("storedAfter"); // pwNow|pwNew|pwIntent
        QTest::addColumn<int>("logins");
        QTest::addColumn<QStringList>("candidates"); // sent in earlier changes, newest first
        QTest::addColumn<int>("candidatesLeft");
        const QStringList none;
        QTest::newRow("current works") << OpenSshAddress << Password << "Rc4-unused!q" << true
                                       << "The current password is in use." << Password + "|Rc4-unused!q|" << 1
                                       << QStringList{"Rc4-sent!q"} << 1;
        QTest::newRow("only pending works")
            << OpenSshAddress << "Rc4-stale!q" << Password << true
            << "The new password is in use; it is now the current password." << Password + "||" << 2 << none << 0;
        // Copies of the current and pending passwords among them are not tried twice.
        QTest::newRow("an earlier sent password works")
            << OpenSshAddress << "Rc4-stale!q"
            << "Rc4-other!q" << true
            << "Verified: a password sent in an earlier change (candidate 3) is in use; it is now the current "
               "password."
            << Password + "|Rc4-other!q|" << 4 << QStringList{"Rc4-other!q", "Rc4-older!q", Password, "Rc4-old!q"} << 0;
        QTest::newRow("neither works")
            << OpenSshAddress << "Rc4-stale!q"
            << "Rc4-other!q" << false
            << "The host accepts neither the current nor the new password, nor any of the 1 password(s) sent in "
               "earlier changes; nothing was changed."
            << "Rc4-stale!q|Rc4-other!q|" << 3 << QStringList{"Rc4-sent!q"} << 1;
        QTest::newRow("no pending: current only")
            << OpenSshAddress << "Rc4-stale!q"
            << "" << false
            << "The host does not accept the current password, and there is no new password to try; nothing was "
               "changed."
            << "Rc4-stale!q||" << 1 << none << 0;
        QTest::newRow("host down") << ClosedAddress << Password << "Rc4-other!q" << false
                                   << "Connected Failed. Please check network connection and login account. The "
                                      "host refused the connection: nothing listens on that port. Nothing was changed."
                                   << Password + "|Rc4-other!q|" << 1 << QStringList{"Rc4-sent!q"} << 1;
    }
    void verifyRecordsWhatTheHostAccepts()
    {
        QFETCH(QString, address);
        QFETCH(QString, current);
        QFETCH(QString, pending);
        QFETCH(bool, succeeded);
        QFETCH(QString, detail);
        QFETCH(QString, storedAfter);
        QFETCH(int, logins);
        QFETCH(QStringList, candidates);
        QFETCH(int, candidatesLeft);
        BatchFixture f;
        f.AddHost(1, address);
        TUser before = f.AddUser(1, 1, address, QStringLiteral("vtst_rec1"), current, pending);
        for (auto sent = candidates.crbegin(); sent != candidates.crend(); ++sent)
            KeepPasswordCandidate(before, EncipherPassword(*sent));
        f.dm.DBSession.Execute(
            QStringLiteral("update Users set pwCandidates = '%1' where uID = 1").arg(before.pwCandidates));
        const Run run = runOne(f, otVerifyPassword, before);

        QCOMPARE(run.observer.rows[0].state, succeeded ? TRowState::Succeeded : TRowState::Failed);
        QCOMPARE(run.users[0].ResultText,
                 (succeeded ? QStringLiteral("Verify Successed. ") : QStringLiteral("Verify Failed. ")) + detail);
        QCOMPARE(storedPasswords(f.dm, 1), storedAfter);
        QCOMPARE(run.users[0].LastLog.count(QStringLiteral("Connect to ")), logins);
        QCOMPARE(PasswordCandidates(f.StoredUser(1)).size(), candidatesLeft);
        const bool swapped = storedAfter.section(QLatin1Char('|'), 0, 0) != current;
        QCOMPARE(f.StoredUser(1).pwLastTime, swapped ? kNoonDay : before.pwLastTime);
        const QList<LogRow> rows = f.LogRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].doAction, QStringLiteral("Verify Password "));
        QCOMPARE(rows[0].actionDone, succeeded ? QStringLiteral("True") : QStringLiteral("False"));
        QCOMPARE(rows[0].pwBefore, before.pwNow);
        VerifyNoSecret(f.EverythingKept() + run.observer.everything(), {Password});
    }

    // Accounts that may not log in themselves (a nologin shell) are checked through the manager's reading
    // of their shadow entry: no candidate goes to the host, and a refusal means the password is wrong.
    void verifyThroughTheManager_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("pending");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("current in use") << Password << "Vn-Other#2026q"
                                        << "The current password is in use." << Password + "|Vn-Other#2026q|";
        QTest::newRow("pending in use") << "Vn-Stale#2026q" << Password
                                        << "The new password is in use; it is now the current password."
                                        << Password + "||";
        QTest::newRow("neither") << "Vn-Stale#2026q"
                                 << "Vn-Other#2026q"
                                 << "The host accepts neither the current nor the new password; nothing was changed."
                                 << "Vn-Stale#2026q|Vn-Other#2026q|";
    }
    void verifyThroughTheManager()
    {
        QFETCH(QString, current);
        QFETCH(QString, pending);
        QFETCH(QString, detail);
        QFETCH(QString, storedAfter);
        const QString target = FleetNologinTarget(1);
        QVERIFY(ResetPassword(target, Password));
        BatchFixture f;
        THost host;
        host.hID = 1;
        host.hAddress = FleetAddress;
        host.hPort = Port;
        host.OSID = 999;
        host.MngLogin = FleetNoPasswdManager;
        host.MngPwd = EncipherPassword(Password);
        host.MngElevation = TElevation::Sudo;
        host.UseManager = -1;
        QVERIFY(f.dm.SaveHost(host, TSaveMode::Insert));
        const TUser before = f.AddUser(1, 1, FleetAddress, target, current, pending);
        const Run run = runOne(f, otVerifyPassword, before);
        QCOMPARE(run.users[0].ResultText.section(QLatin1String(". "), 1), detail);
        QCOMPARE(storedPasswords(f.dm, 1), storedAfter);
        QVERIFY2(run.users[0].LastLog.contains(QLatin1String("against the shadow entry of ") + target),
                 qPrintable(run.users[0].LastLog));
        VerifyNoSecret(f.EverythingKept() + run.observer.everything(), {Password, current, pending});
    }

    void changeIsRecordedBeforeItGoesOutAndClearedWithItsOutcome()
    {
        const QString account = QStringLiteral("vtst_rec2");
        QVERIFY(ResetPassword(account, Password));
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        const QString newPassword = freshPassword();
        const TUser user = f.AddUser(1, 1, OpenSshAddress, account, Password, newPassword);
        TBatchRunner runner(f.dm, f.operations, otChangePassword, 0, {user});
        RecordingObserver observer(1);
        QStringList storedWhileTalking;
        runner.SetObserver(&observer);
        observer.onProgress = [&](const QString& status) {
            if (status.contains(QStringLiteral("Changing password for user")))
                storedWhileTalking << storedPasswords(f.dm, 1);
        };
        runner.RunBatch();

        QCOMPARE(storedWhileTalking,
                 QStringList{Password + QLatin1Char('|') + newPassword + QLatin1Char('|') + newPassword});
        QCOMPARE(runner.Users()[0].ResultText, QStringLiteral("Changed Successed. "));
        QCOMPARE(storedPasswords(f.dm, 1), newPassword + QStringLiteral("||"));
        QVERIFY(ResetPassword(account, Password));
    }

    void changeIsNotStartedWhenItCannotBeRecorded()
    {
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        const QString newPassword = freshPassword();
        const TUser user = f.AddUser(1, 1, OpenSshAddress, QStringLiteral("vtst_rec3"), Password, newPassword);
        f.dm.DBSession.Execute(QStringLiteral("create trigger refuse before update of pwIntent on Users "
                                              "begin select raise(abort, 'disk is full'); end;"));
        const Run run = runOne(f, otChangePassword, user);

        QCOMPARE(run.observer.rows[0].state, TRowState::Failed);
        QCOMPARE(run.users[0].ResultText,
                 QStringLiteral("Changed Failed. Not started: the change could not be recorded in the database "
                                "before sending it (disk is full). Nothing was sent to the host. "));
        QVERIFY(!run.users[0].LastLog.contains(QStringLiteral("Connect to ")));
        QCOMPARE(storedPasswords(f.dm, 1), Password + QLatin1Char('|') + newPassword + QLatin1Char('|'));
        // The host still has the old password.
        const Run probe = runOne(f, otTestLogin, run.users[0]);
        QCOMPARE(probe.users[0].ResultText, QStringLiteral("Login Successed. "));
    }

    void unclearChangeIsCheckedAtOnce_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<bool>("changed");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        const QString unconfirmed = QStringLiteral("Changed Successed. The host did not confirm the change (");
        const QString inUse = QStringLiteral(" Verified: the new password is in use.");
        // The host took the new password without a word: a success, with what went amiss as its reason.
        QTest::newRow("host vanishes after the change") << "vtdlg_vanish1" << true << unconfirmed << inUse;
        // Given up on after 5 s, waited for until passwd ends at 7 s: the check comes after the commit.
        QTest::newRow("host commits late") << "vtdlg_lazy1" << true << unconfirmed + "Receive data timeout.)" << inUse;
        QTest::newRow("host says successfully before the retype") << "vtdlg_early1" << false << "Changed Failed. "
                                                                  << " Verified: the old password is still in use.";
    }
    void unclearChangeIsCheckedAtOnce()
    {
        QFETCH(QString, account);
        QFETCH(bool, changed);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QVERIFY(ResetPassword(account, Password));
        BatchFixture f;
        f.AddHost(1, DialogAddress);
        const QString newPassword = freshPassword();
        const TUser user = f.AddUser(1, 1, DialogAddress, account, Password, newPassword);
        const Run run = runOne(f, otChangePassword, user);

        const QString text = run.users[0].ResultText;
        QVERIFY2(text.startsWith(start), qPrintable(text));
        QVERIFY2(text.endsWith(end), qPrintable(text));
        QCOMPARE(run.observer.rows[0].state, changed ? TRowState::Succeeded : TRowState::Failed);
        QCOMPARE(storedPasswords(f.dm, 1), changed
                                               ? QString(newPassword + QStringLiteral("||"))
                                               : QString(Password + QLatin1Char('|') + newPassword + QLatin1Char('|')));
        // A password the host was sent stays at hand until one it took supersedes it.
        QCOMPARE(PasswordCandidates(f.StoredUser(1)).size(), changed ? 0 : 1);
        QCOMPARE(f.StoredUser(1).pwLastTime, changed ? kNoonDay : user.pwLastTime);
        QCOMPARE(f.LogRows().size(), 1);
        QCOMPARE(f.LogRows()[0].actionDone, changed ? QStringLiteral("True") : QStringLiteral("False"));
        VerifyNoSecret(f.EverythingKept() + run.observer.everything(), {Password, newPassword});
        QVERIFY(ResetPassword(account, Password));
    }

    void interruptedChangeIsSettledBeforeAnythingIsSent()
    {
        // A run died after the host took the new password: the host has it, the row has the intent.
        const QString account = QStringLiteral("vtst_rec4");
        const QString applied = freshPassword();
        QVERIFY(ResetPassword(account, applied));
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        TUser user = f.AddUser(1, 1, OpenSshAddress, account, Password, applied);
        RecordChangeIntent(f.dm, user, 39800.0);
        QCOMPARE(UsersWithOpenIntent(f.dm).size(), 1);
        QVERIFY(UserListTexts(UsersWithOpenIntent(f.dm)[0], kNoon)[1].endsWith(QStringLiteral("(unconfirmed)")));

        const Run run = runOne(f, otChangePassword, user);
        QCOMPARE(run.users[0].ResultText,
                 QStringLiteral("Changed Successed. Verified: the new password of an earlier, unconfirmed change is "
                                "in use."));
        QVERIFY(!run.users[0].LastLog.contains(QStringLiteral("Changing password for user")));
        QCOMPARE(storedPasswords(f.dm, 1), applied + QStringLiteral("||"));
        QVERIFY(UsersWithOpenIntent(f.dm).isEmpty());
        QVERIFY(ResetPassword(account, Password));
    }

    void oldDatabaseGainsTheColumnsAndKeepsItsRows()
    {
        TestEnvironment env(false);
        CreateDatabase(env.databasePath());
        {
            TDBSession old;
            QVERIFY(old.OpenDatabase(env.databasePath(), true));
            // The Users table as earlier versions created it.
            old.Execute(QStringLiteral("drop table Users"));
            old.Execute(QStringLiteral("create table Users(uID integer, hID integer, LoginName text, pwNow text, "
                                       "pwPeriod integer, RecTime real, pwLastTime real, uRemark text, pwNew text, "
                                       "uName text, Email text, LastLog text)"));
            old.Execute(QStringLiteral("insert into Users(uID,hID,LoginName,pwNow,pwNew,LastLog) "
                                       "values(7,1,'kept','AA','BB','log')"));
            QVERIFY(!HasIntentColumns(old));
        }
        TdmPublic& dm = env.dm();
        QVERIFY(dm.IntentColumns);
        TUser user;
        user.uID = 7;
        QVERIFY(RefreshPasswords(dm, user));
        QCOMPARE(user.pwNow, QStringLiteral("AA"));
        QCOMPARE(user.pwNew, QStringLiteral("BB"));
        QVERIFY(!user.HasOpenIntent());
    }

    void logFileOnAFullDiskIsReportedMissing()
    {
        SmallFileSystem disk(64 * 1024);
        if (!disk.mounted())
            QSKIP("mounting a tmpfs needs root");
        TUser user;
        user.uID = 3;
        user.LoginName = QStringLiteral("full");
        user.pwNow = EncipherPassword(QStringLiteral("old"));
        user.pwNew = EncipherPassword(QStringLiteral("new"));
        const QString transcript = QString(8000, QLatin1Char('t'));
        for (const qint64 left : {qint64(0), qint64(1024), qint64(6000)}) {
            disk.makeRoom();
            QVERIFY(disk.fillLeaving(left));
            try {
                const QString path = WriteFallbackLogFile(disk.path(), user, transcript, kNoon);
                QFAIL(qPrintable(QStringLiteral("a log file counted as written on a full disk: ") + path));
            } catch (const FallbackLogError& error) {
                QVERIFY(error.message().contains(QStringLiteral("free some disk space")));
            }
            // Nothing that could pass for a kept outcome is left behind.
            QCOMPARE(QDir(disk.path(QStringLiteral("Logs"))).entryList(QDir::Files), QStringList());
        }
        disk.makeRoom();
        const QString written = WriteFallbackLogFile(disk.path(), user, transcript, kNoon);
        QVERIFY(QFileInfo(written).size() > transcript.size());
    }

    void secondChangeBatchOnTheSameDatabaseIsRefused_data()
    {
        QTest::addColumn<QString>("secondName");
        QTest::addColumn<QString>("holder");
        const QString named = QStringLiteral("process %1, veltrane-cli change-password");
        QTest::newRow("the same name") << "" << named;
        QTest::newRow("a symbolic link") << "link.db" << named;
        QTest::newRow("a hard link") << "hard.db"
                                     << "another process, under another name of the same file";
    }
    void secondChangeBatchOnTheSameDatabaseIsRefused()
    {
        QFETCH(QString, secondName);
        QFETCH(QString, holder);
        TestEnvironment env;
        QString second = env.databasePath();
        if (!secondName.isEmpty()) {
            second = QDir(env.dir()).filePath(secondName);
            if (secondName == QLatin1String("link.db"))
                QVERIFY(QFile::link(env.databasePath(), second));
            else
                QCOMPARE(
                    ::link(QFile::encodeName(env.databasePath()).constData(), QFile::encodeName(second).constData()),
                    0);
        }
        const TBatchLock first(env.databasePath(), QStringLiteral("veltrane-cli change-password"));
        try {
            const TBatchLock other(second, QStringLiteral("Veltrane generate"));
            QFAIL("two batches hold the lock");
        } catch (const BatchLockError& error) {
            QVERIFY2(
                error.message().contains(
                    QStringLiteral("running on ") + second + QStringLiteral(" (") +
                    (holder.contains(QLatin1String("%1")) ? holder.arg(QCoreApplication::applicationPid()) : holder)),
                qPrintable(error.message()));
        }
    }

    void lockFileIsNeverWrittenThroughAnotherName_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("taken");
        // As root, a link there would otherwise have emptied any file of the system.
        QTest::newRow("a symbolic link to a file") << "symlink" << false;
        QTest::newRow("a hard link to a file") << "hardlink" << true;
        QTest::newRow("a named pipe") << "fifo" << false;
    }
    void lockFileIsNeverWrittenThroughAnotherName()
    {
        QFETCH(QString, kind);
        QFETCH(bool, taken);
        TestEnvironment env;
        const QString victim = QDir(env.dir()).filePath(QStringLiteral("victim"));
        const QByteArray content("root:x:0:0:keep me\n");
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        const QByteArray lockFile = QFile::encodeName(TBatchLock::LockFilePath(env.databasePath()));
        if (kind == QLatin1String("symlink"))
            QCOMPARE(::symlink(QFile::encodeName(victim).constData(), lockFile.constData()), 0);
        else if (kind == QLatin1String("hardlink"))
            QCOMPARE(::link(QFile::encodeName(victim).constData(), lockFile.constData()), 0);
        else
            QCOMPARE(::mkfifo(lockFile.constData(), 0600), 0);
        try {
            const TBatchLock lock(env.databasePath(), QStringLiteral("veltrane-cli change-password"));
            QVERIFY(taken);
        } catch (const BatchLockError& error) {
            QVERIFY2(!taken, qPrintable(error.message()));
            QVERIFY2(error.message().contains(QStringLiteral("only a regular file")), qPrintable(error.message()));
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), content);
    }
};

QTEST_GUILESS_MAIN(TestReconcile)
#include "tst_reconcile.moc"
