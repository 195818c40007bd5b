// The batch algorithm against the real loopback SSH servers: outcomes, counters and texts, the stop
// request, real and failed password changes, and every way the save step can fail (another process
// locking the database, a Users table that refuses the update, a log folder that cannot be written).
#include "batch/FallbackLogFile.h"
#include "batch/History.h"
#include "batch/SaveUserOutcome.h"
#include "batch/TBatchRunner.h"
#include "tests/batch/BatchFixture.h"
#include "tests/batch/ScriptedOperations.h"

#include <QJsonArray>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>

using namespace TestServers;

namespace {

const QString kCheck = QStringLiteral("Please check network connection and login account.");
// The Parts' words first, then the host's reason.
const QString kClosedPort = kCheck + QStringLiteral(" The host refused the connection: nothing listens on that port.");
const QString kRefusedPassword = kCheck + QStringLiteral(" The host refused the password.");
const QDateTime kNoon(QDate(2009, 1, 1), QTime(12, 0));

QString freshPassword()
{
    return QStringLiteral("Bq7-%1!z").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

/// A recipient no other test uses.
QString uniqueAddress()
{
    return QStringLiteral("owner-%1@batch.test").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

/// How many messages the shared SMTP test server received for address.
int mailsTo(const QString& address)
{
    int count = 0;
    for (const QString& name : MailTestServer::ReceivedMailNames())
        count += MailTestServer::ReadMail(name)[QStringLiteral("rcpt_tos")].toArray().contains(address);
    return count;
}

bool elapsedThen(const QString& text, const QString& result)
{
    static const QRegularExpression elapsed(QStringLiteral("^\\[\\d+\\.\\d\\ds\\]  "));
    const QRegularExpressionMatch match = elapsed.match(text);
    return match.hasMatch() && text.mid(match.capturedLength()) == result;
}

} // namespace

class TestBatchRunner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        REQUIRE_TEST_SERVERS();
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        for (const QString& account : Accounts(QStringLiteral("vtst_bat"), 6))
            QVERIFY(ResetPassword(account, Password));
    }
    void init() { DayNumber::SetFixedNow(kNoon); }
    void cleanup() { DayNumber::SetFixedNow(QDateTime()); }
    void cleanupTestCase()
    {
        for (const QString& account : Accounts(QStringLiteral("vtst_bat"), 6))
            ResetPassword(account, Password);
    }

    void allLoginsSucceed()
    {
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        QList<TUser> users;
        for (int i = 1; i <= 3; ++i)
            users << f.AddUser(i, 1, OpenSshAddress, QStringLiteral("vtst_bat%1").arg(i), Password);
        TBatchRunner runner(f.dm, f.operations, otTestLogin, 0, users);
        RecordingObserver observer(3);
        runner.SetObserver(&observer);
        runner.RunBatch();

        for (const auto& row : observer.rows) {
            QCOMPARE(row.state, TRowState::Succeeded);
            QVERIFY2(elapsedThen(row.text, QStringLiteral("Login Successed. ")), qPrintable(row.text));
        }
        QCOMPARE(observer.finalTitle, QStringLiteral("Test Login  - Total: 3     Successed: 3     Failed: 0     "));
        QCOMPARE(observer.titles.first(), QStringLiteral("Test Login  - Total: 3     Done: 0     Todo: 3  "));
        QCOMPARE(observer.titles.last(), QStringLiteral("Test Login  - Total: 3     Done: 3     Todo: 0  "));
        QCOMPARE(observer.statuses.first(), QStringLiteral(" Connect to 127.0.0.2:2222 (login as vtst_bat1), Please "
                                                           "wait... "));
        QCOMPARE(observer.statuses.last(), QStringLiteral(" Finished!"));
        QCOMPARE(observer.lastDone, 3);
        QCOMPARE(observer.finished, 1);
        QCOMPARE(runner.Succeeded(), 3);
        QCOMPARE(runner.Done(), 3);
        QVERIFY(runner.Finished());

        const TUser& first = runner.Users()[0];
        QCOMPARE(first.ResultText, QStringLiteral("Login Successed. "));
        QCOMPARE(first.LastLog, QStringLiteral("Recorded Time: Jan 1, 2009  12:00 PM.\r\n"
                                               "Operation Type: Test Login \r\n"
                                               "Return Message: \r\n"
                                               "Connect to 127.0.0.2:2222 (login as vtst_bat1)... \r\n"
                                               "Login Successed. \r\n"));
        const QList<LogRow> rows = f.LogRows();
        QCOMPARE(rows.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(rows[i].logID, i + 1);
            QCOMPARE(rows[i].userID, i + 1);
            QCOMPARE(rows[i].addressPort, QStringLiteral("127.0.0.2:2222"));
            QCOMPARE(rows[i].doAction, QStringLiteral("Test Login "));
            QCOMPARE(rows[i].actionTime, QStringLiteral("39814.50"));
            QCOMPARE(rows[i].pwBefore, users[i].pwNow);
            QCOMPARE(rows[i].actionDone, QStringLiteral("True"));
            QCOMPARE(rows[i].actionLog, runner.Users()[i].LastLog);
            const TUser stored = f.StoredUser(i + 1);
            QCOMPARE(stored.LastLog, runner.Users()[i].LastLog);
            QCOMPARE(stored.pwNow, users[i].pwNow);
            QCOMPARE(stored.pwLastTime, users[i].pwLastTime);
        }
        QCOMPARE(runner.RunLogText(), UserHistoryText(runner.Users()[0]) + UserHistoryText(runner.Users()[1]) +
                                          UserHistoryText(runner.Users()[2]));
        QVERIFY(f.LogFiles().isEmpty());
        VerifyNoSecret(f.EverythingKept() + observer.everything(), {Password});

        runner.RunBatch(); // a batch runs once per window
        QCOMPARE(f.LogRows().size(), 3);
    }

    void failuresAreOutcomes()
    {
        BatchFixture f;
        f.AddHost(1, ClosedAddress);
        f.AddHost(2, OpenSshAddress);
        const QList<TUser> users = {
            f.AddUser(1, 1, ClosedAddress, QStringLiteral("vtst_bat1"), Password),
            f.AddUser(2, 2, OpenSshAddress, QStringLiteral("vtst_bat2"), QStringLiteral("Wrong-Pass#1")),
            f.AddUser(3, 2, OpenSshAddress, QStringLiteral("vtst_bat3"), Password),
        };
        TBatchRunner runner(f.dm, f.operations, otTestLogin, 0, users);
        RecordingObserver observer(3);
        runner.SetObserver(&observer);
        runner.RunBatch();

        QCOMPARE(observer.rows[0].state, TRowState::Failed);
        QVERIFY(elapsedThen(observer.rows[0].text, QStringLiteral("Connected Failed. ") + kClosedPort));
        QCOMPARE(observer.rows[1].state, TRowState::Failed);
        QVERIFY(elapsedThen(observer.rows[1].text, QStringLiteral("Login failed. ") + kRefusedPassword));
        QCOMPARE(observer.rows[2].state, TRowState::Succeeded);
        QCOMPARE(observer.finalTitle, QStringLiteral("Test Login  - Total: 3     Successed: 1     Failed: 2     "));
        const QList<LogRow> rows = f.LogRows();
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].actionDone, QStringLiteral("False"));
        QCOMPARE(rows[1].actionDone, QStringLiteral("False"));
        QCOMPARE(rows[2].actionDone, QStringLiteral("True"));
        QVERIFY(
            rows[0].actionLog.endsWith(QStringLiteral("Connected Failed. ") + kClosedPort + QStringLiteral("\r\n")));
        VerifyNoSecret(f.EverythingKept() + observer.everything(), {Password, QStringLiteral("Wrong-Pass#1")});
    }

    void stopDuringTheSecondOfFiveUsers()
    {
        BatchFixture f;
        f.AddHost(1, DialogAddress);
        const QString newPassword = freshPassword();
        QList<TUser> users;
        const QStringList logins = {QStringLiteral("vtdlg_debian1"), QStringLiteral("vtdlg_slow1"),
                                    QStringLiteral("vtdlg_debian1"), QStringLiteral("vtdlg_debian1"),
                                    QStringLiteral("vtdlg_debian1")};
        for (int i = 0; i < logins.size(); ++i)
            users << f.AddUser(i + 1, 1, DialogAddress, logins[i], Password, newPassword);
        TBatchRunner runner(f.dm, f.operations, otChangePassword, 0, users);
        RecordingObserver observer(5);
        observer.onRowStarted = [&](int row) {
            if (row == 1) // the slow dialog answers each prompt after a second: stop in the middle
                QTimer::singleShot(1500, [&] { runner.Stop(); });
        };
        runner.SetObserver(&observer);
        runner.RunBatch();

        QCOMPARE(observer.rows[0].state, TRowState::Succeeded);
        QCOMPARE(observer.rows[1].state, TRowState::Failed);
        QVERIFY2(elapsedThen(observer.rows[1].text, QStringLiteral("Changed Failed. Cancelled by user. ")),
                 qPrintable(observer.rows[1].text));
        for (int row = 2; row < 5; ++row) {
            QCOMPARE(observer.rows[row].state, TRowState::None);
            QCOMPARE(observer.rows[row].text, QString());
            QCOMPARE(runner.Users()[row].ResultText, QString());
            QCOMPARE(f.StoredUser(row + 1).LastLog, QString());
        }
        QCOMPARE(observer.finalTitle,
                 QStringLiteral("Change Password  - Total: 5     Successed: 1     Failed: 4     "));
        QCOMPARE(observer.lastDone, 2);
        QCOMPARE(f.LogRows().size(), 2);
        QCOMPARE(runner.RunLogText(), UserHistoryText(runner.Users()[0]) + UserHistoryText(runner.Users()[1]));
        VerifyNoSecret(f.EverythingKept() + observer.everything(), {Password, newPassword});
    }

    void realChangeSwapsThePasswordsAndLogsBoth()
    {
        const QString account = QStringLiteral("vtst_bat4");
        QVERIFY(ResetPassword(account, Password));
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        const QString newPassword = freshPassword();
        const TUser before = f.AddUser(1, 1, OpenSshAddress, account, Password, newPassword);
        TBatchRunner runner(f.dm, f.operations, otChangePassword, 0, {before});
        RecordingObserver observer(1);
        runner.SetObserver(&observer);
        runner.RunBatch();

        QCOMPARE(observer.rows[0].state, TRowState::Succeeded);
        QVERIFY(elapsedThen(observer.rows[0].text, QStringLiteral("Changed Successed. ")));
        const TUser after = runner.Users()[0];
        QCOMPARE(after.pwNow, before.pwNew);
        QCOMPARE(after.pwNew, QString());
        QCOMPARE(after.pwLastTime, 39814.5);
        const TUser stored = f.StoredUser(1);
        QCOMPARE(stored.pwNow, before.pwNew);
        QCOMPARE(stored.pwNew, QString());
        QCOMPARE(stored.pwLastTime, 39814.5);
        QCOMPARE(stored.LastLog, after.LastLog);
        const QList<LogRow> rows = f.LogRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].pwBefore, before.pwNow);
        QCOMPARE(rows[0].pwAfter, before.pwNew);
        QCOMPARE(rows[0].actionDone, QStringLiteral("True"));
        QCOMPARE(rows[0].doAction, QStringLiteral("Change Password "));
        QCOMPARE(runner.Succeeded(), 1);
        VerifyNoSecret(f.EverythingKept() + observer.everything(), {Password, newPassword});

        // The host really took it: the stored record now logs in.
        TBatchRunner probe(f.dm, f.operations, otTestLogin, 0, {after});
        probe.RunBatch();
        QCOMPARE(probe.Users()[0].ResultText, QStringLiteral("Login Successed. "));
        QVERIFY(ResetPassword(account, Password));
    }

    void failedChangeOnlyRecordsTheMessage()
    {
        BatchFixture f;
        f.AddHost(1, DialogAddress);
        const QString newPassword = freshPassword();
        const TUser before = f.AddUser(1, 1, DialogAddress, QStringLiteral("vtdlg_reject"), Password, newPassword);
        TBatchRunner runner(f.dm, f.operations, otChangePassword, 0, {before});
        RecordingObserver observer(1);
        runner.SetObserver(&observer);
        runner.RunBatch();

        QCOMPARE(observer.rows[0].state, TRowState::Failed);
        QVERIFY2(runner.Users()[0].ResultText.startsWith(QStringLiteral("Changed Failed. ")),
                 qPrintable(runner.Users()[0].ResultText));
        // The default profile takes the colon of the refusal for the retype prompt; the refusal itself
        // stays in the transcript.
        QVERIFY(runner.Users()[0].LastLog.contains(QStringLiteral("bad password: too short")));
        const TUser stored = f.StoredUser(1);
        QCOMPARE(stored.pwNow, before.pwNow);
        QCOMPARE(stored.pwNew, before.pwNew);
        QCOMPARE(stored.pwLastTime, before.pwLastTime);
        QCOMPARE(runner.Users()[0].pwNow, before.pwNow);
        QCOMPARE(runner.Users()[0].pwNew, before.pwNew);
        QVERIFY(stored.LastLog.contains(QStringLiteral("bad password: too short")));
        QCOMPARE(f.LogRows().size(), 1);
        QCOMPARE(f.LogRows()[0].actionDone, QStringLiteral("False"));
        QCOMPARE(f.LogRows()[0].pwAfter, before.pwNew);
        QCOMPARE(runner.Succeeded(), 0);
        VerifyNoSecret(f.EverythingKept() + observer.everything(), {Password, newPassword});
    }

    void changeAndMailIsRecordedAsAChange()
    {
        BatchFixture f;
        f.UseTestMailServer();
        f.AddHost(1, DialogAddress);
        const QString newPassword = freshPassword();
        const QString owner = uniqueAddress();
        const QList<TUser> users = {
            f.AddUser(1, 1, DialogAddress, QStringLiteral("vtdlg_debian1"), Password, newPassword),
            f.AddUser(2, 1, DialogAddress, QStringLiteral("vtdlg_debian1"), Password, newPassword, owner),
        };
        TBatchRunner runner(f.dm, f.operations, otChangePassword, ooSendNoticeMail, users);
        RecordingObserver observer(2);
        runner.SetObserver(&observer);
        runner.RunBatch();

        const QStringList results = {QStringLiteral("Changed Successed. Send Failed. E-mail is empty."),
                                     QStringLiteral("Changed Successed. Send Successed. ")};
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(runner.Users()[i].ResultText, results[i]);
            QCOMPARE(observer.rows[i].state, TRowState::Succeeded);
            QVERIFY(elapsedThen(observer.rows[i].text, results[i]));
            QVERIFY(runner.Users()[i].LastLog.endsWith(results[i] + QStringLiteral("\r\n")));
            QCOMPARE(f.StoredUser(i + 1).pwNow, users[i].pwNew);
            QCOMPARE(f.StoredUser(i + 1).pwNew, QString());
            QCOMPARE(f.LogRows()[i].actionDone, QStringLiteral("True"));
            QCOMPARE(f.LogRows()[i].doAction, QStringLiteral("Change Password  and Send Notice Mail "));
        }
        QCOMPARE(runner.Succeeded(), 2);
        QCOMPARE(observer.finalTitle, QStringLiteral("Change Password  and Send Notice Mail  - Total: 2     "
                                                     "Successed: 2     Failed: 0     "));
        QCOMPARE(mailsTo(owner), 1);
        VerifyNoSecret(f.EverythingKept() + observer.everything(), {Password, newPassword, MailTestServer::Password});
    }

    void noticeMailBatch()
    {
        BatchFixture f;
        f.UseTestMailServer();
        f.AddHost(1, OpenSshAddress);
        const QString first = uniqueAddress();
        const QString second = uniqueAddress();
        const QList<TUser> users = {
            f.AddUser(1, 1, OpenSshAddress, QStringLiteral("vtst_bat1"), Password, QString(), first + ", " + second),
            f.AddUser(2, 1, OpenSshAddress, QStringLiteral("vtst_bat2"), Password),
        };
        TBatchRunner runner(f.dm, f.operations, otSendMail, 0, users);
        RecordingObserver observer(2);
        runner.SetObserver(&observer);
        runner.RunBatch();

        QCOMPARE(observer.rows[0].state, TRowState::Succeeded);
        QVERIFY(elapsedThen(observer.rows[0].text, QStringLiteral("Send Successed. ")));
        QCOMPARE(observer.rows[1].state, TRowState::Failed);
        QVERIFY(elapsedThen(observer.rows[1].text, QStringLiteral("Send Failed. E-mail is empty.")));
        for (const QString& stage :
             {QStringLiteral(" Connect to ..."), QStringLiteral(" Authentication..."), QStringLiteral(" Sending...")})
            QVERIFY(observer.statuses.contains(stage));
        QCOMPARE(mailsTo(first), 1);
        QCOMPARE(mailsTo(second), 1);
        // A mail adds nothing but the runner's own lines to the transcript.
        QCOMPARE(runner.Users()[0].LastLog, QStringLiteral("Recorded Time: Jan 1, 2009  12:00 PM.\r\n"
                                                           "Operation Type: Send Notice Mail \r\n"
                                                           "Return Message: \r\n"
                                                           "Send Successed. \r\n"));
        QCOMPARE(f.LogRows()[0].actionDone, QStringLiteral("True"));
        QCOMPARE(f.LogRows()[1].actionDone, QStringLiteral("False"));
        QCOMPARE(f.StoredUser(1).pwNow, users[0].pwNow);
        VerifyNoSecret(f.EverythingKept() + observer.everything(), {MailTestServer::Password});
    }

    void lockedDatabaseGoesToTheLogFile_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::addColumn<bool>("statementReported");
        QTest::newRow("reader keeps the commit from finishing") << "shared" << false;
        QTest::newRow("writer refuses every statement") << "exclusive" << true;
    }
    void lockedDatabaseGoesToTheLogFile()
    {
        QFETCH(QString, lock);
        QFETCH(bool, statementReported);
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        const TUser before = f.AddUser(1, 1, OpenSshAddress, QStringLiteral("vtst_bat5"), Password);
        TBatchRunner runner(f.dm, f.operations, otTestLogin, 0, {before});
        RecordingObserver observer(1);
        runner.SetObserver(&observer);
        {
            DatabaseLock holder(f.env.databasePath(), lock);
            QVERIFY(holder.locked());
            runner.RunBatch();
        }

        const TUser after = runner.Users()[0];
        QCOMPARE(after.ResultText, SaveDataErrorText);
        QVERIFY(elapsedThen(observer.rows[0].text, QStringLiteral("Save data error, logfile instead.")));
        QCOMPARE(observer.rows[0].state, TRowState::Succeeded); // the login itself succeeded
        QCOMPARE(runner.Succeeded(), 1);
        QCOMPARE(f.dm.DBSession.TransactionDepth(), 0);
        QCOMPARE(f.ui.shown(QStringLiteral("runlog")).isEmpty(), !statementReported);

        QCOMPARE(f.LogFiles(), QStringList{QStringLiteral("20090101120000_vtst_bat5.log")});
        const QList<QByteArray> lines = f.LogFile(f.LogFiles()[0]).split('\n');
        QCOMPARE(DecipherPassword(QString::fromLatin1(lines[0].chopped(1))),
                 QStringLiteral("1,vtst_bat5,") + before.pwNow + QLatin1Char(','));
        QVERIFY(f.LogFile(f.LogFiles()[0]).contains(after.LastLog.toUtf8()));

        // Nothing of the step reached the file, and the connection works again afterwards.
        QCOMPARE(f.LogRows().size(), 0);
        QCOMPARE(f.StoredUser(1).LastLog, QString());
        QVERIFY(SaveUserOutcome(f.dm, const_cast<TUser&>(runner.Users()[0]), runner.OperationCaption(), true, false,
                                39814.5)
                    .saved);
        QCOMPARE(f.LogRows().size(), 1);
        VerifyNoSecret(f.EverythingKept() + observer.everything(), {Password});
    }

    void briefLockOfAnotherProgramIsWaitedOut()
    {
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        TUser user = f.AddUser(1, 1, OpenSshAddress, QStringLiteral("vtst_bat5"), Password);
        user.LastLog = QStringLiteral("kept");
        DatabaseLock holder(f.env.databasePath(), QStringLiteral("exclusive"), 1000);
        QVERIFY(holder.locked());
        QVERIFY(SaveUserOutcome(f.dm, user, QStringLiteral("Test Login "), true, false, 39814.5).saved);
        QCOMPARE(f.StoredUser(1).LastLog, QStringLiteral("kept"));
        QCOMPARE(f.LogRows().size(), 1);
        QVERIFY(f.LogFiles().isEmpty());
    }

    void waitForAnotherProgramsLockKeepsTheWindowAlive()
    {
        // Operations that take no time, so every pump counted comes from the database wait.
        ScriptedOperations instant;
        BatchFixture f;
        f.AddHost(1, OpenSshAddress);
        const TUser user = f.AddUser(1, 1, OpenSshAddress, QStringLiteral("vtst_bat5"), Password);
        TBatchRunner runner(f.dm, instant, otTestLogin, 0, {user});
        DatabaseLock holder(f.env.databasePath(), QStringLiteral("exclusive"), 1000);
        QVERIFY(holder.locked());
        const int before = f.ui.pumps;
        runner.RunBatch();
        QVERIFY2(f.ui.pumps - before > 50, qPrintable(QString::number(f.ui.pumps - before)));
        QCOMPARE(runner.Users()[0].ResultText, QStringLiteral("Login Successed. "));
        QCOMPARE(f.LogRows().size(), 1);
    }

    void refusedUserUpdateRollsBackTheLogRow()
    {
        BatchFixture f;
        f.AddHost(1, DialogAddress);
        const QString newPassword = freshPassword();
        const QList<TUser> users = {
            f.AddUser(1, 1, DialogAddress, QStringLiteral("vtdlg_debian1"), Password, newPassword),
            f.AddUser(2, 1, DialogAddress, QStringLiteral("vtdlg_debian1"), Password, newPassword),
        };
        f.dm.DBSession.Execute(
            QStringLiteral("create trigger refuse_first before update of LastLog on Users when old.uID = 1 "
                           "begin select raise(abort, 'user 1 is read-only'); end;"));
        TBatchRunner runner(f.dm, f.operations, otChangePassword, 0, users);
        RecordingObserver observer(2);
        runner.SetObserver(&observer);
        runner.RunBatch();

        // The host has the new password, so the record in memory holds it although the save failed.
        const TUser first = runner.Users()[0];
        QCOMPARE(first.ResultText, SaveDataErrorText);
        QCOMPARE(first.pwNow, users[0].pwNew);
        QCOMPARE(first.pwNew, QString());
        QCOMPARE(observer.rows[0].state, TRowState::Succeeded);
        const auto reports = f.ui.shown(QStringLiteral("runlog"));
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].caption, QStringLiteral("Operation Error"));
        QVERIFY(reports[0].text.contains(QStringLiteral("user 1 is read-only")));

        QCOMPARE(f.StoredUser(1).pwNow, users[0].pwNow);
        QCOMPARE(f.StoredUser(1).pwNew, users[0].pwNew);
        QCOMPARE(f.StoredUser(1).LastLog, QString());
        const QList<LogRow> rows = f.LogRows();
        QCOMPARE(rows.size(), 1); // only the second user's: the first one's was rolled back
        QCOMPARE(rows[0].userID, 2);
        QCOMPARE(rows[0].logID, 1);
        QCOMPARE(f.StoredUser(2).pwNow, users[1].pwNew);

        QCOMPARE(f.LogFiles().size(), 1);
        const QByteArray file = f.LogFile(f.LogFiles()[0]);
        QCOMPARE(DecipherPassword(QString::fromLatin1(file.left(file.indexOf('\r')))),
                 QStringLiteral("1,vtdlg_debian1,") + users[0].pwNew + QLatin1Char(','));
        QCOMPARE(observer.finalTitle,
                 QStringLiteral("Change Password  - Total: 2     Successed: 2     Failed: 0     "));
        VerifyNoSecret(f.EverythingKept() + observer.everything(), {Password, newPassword});
    }

    void unwritableLogFolderStopsTheBatchWithTheRowFinished_data()
    {
        QTest::addColumn<bool>("changing");
        QTest::newRow("test login") << false;
        QTest::newRow("password change") << true;
    }
    void unwritableLogFolderStopsTheBatchWithTheRowFinished()
    {
        QFETCH(bool, changing);
        BatchFixture f;
        const QString address = changing ? DialogAddress : OpenSshAddress;
        const QString login = changing ? QStringLiteral("vtdlg_debian1") : QStringLiteral("vtst_bat6");
        const QString newPassword = changing ? freshPassword() : QString();
        f.AddHost(1, address);
        const QList<TUser> users = {f.AddUser(1, 1, address, login, Password, newPassword),
                                    f.AddUser(2, 1, address, login, Password, newPassword)};
        f.dm.DBSession.Execute(QStringLiteral("create trigger refuse before update of LastLog on Users "
                                              "begin select raise(abort, 'read-only'); end;"));
        QFile blocker(f.env.dir() + QStringLiteral("/Logs"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TBatchRunner runner(f.dm, f.operations, changing ? otChangePassword : otTestLogin, 0, users);
        RecordingObserver observer(2);
        runner.SetObserver(&observer);
        try {
            runner.RunBatch();
            QFAIL("the batch went on although the outcome was kept nowhere");
        } catch (const UnsavedOutcomeError& error) {
            QVERIFY(error.message().contains(QStringLiteral("Logs")));
            QVERIFY(error.message().contains(login + QStringLiteral(" on ") + address));
            QCOMPARE(error.passwordChanged(), changing);
            // The error carries the record as the host now has it.
            QCOMPARE(error.user().pwNow, changing ? users[0].pwNew : users[0].pwNow);
        }

        // The row that could not be kept still ends as its operation did, and says so truthfully.
        const TUser first = runner.Users()[0];
        QCOMPARE(first.ResultText, SaveAndLogFileErrorText);
        QCOMPARE(observer.rows[0].state, TRowState::Succeeded);
        QVERIFY(elapsedThen(observer.rows[0].text, SaveAndLogFileErrorText));
        QCOMPARE(observer.rows[1].state, TRowState::None); // no further user started
        QVERIFY(runner.Finished());
        QCOMPARE(observer.finished, 1);
        QCOMPARE(observer.statuses.last(), QStringLiteral(" Finished!"));
        QCOMPARE(observer.finalTitle,
                 runner.OperationCaption() + QStringLiteral(" - Total: 2     Successed: 1     Failed: 1     "));
        QCOMPARE(f.dm.DBSession.TransactionDepth(), 0);
        QCOMPARE(f.LogRows().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestBatchRunner)
#include "tst_batchrunner.moc"
