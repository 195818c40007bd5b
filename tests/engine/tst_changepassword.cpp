// ChangeUserPassword: real changes of real accounts through the real passwd (as the user and as the
// manager), scripted dialogs of other systems, every row of the failure table, the quoting of the
// manager's command, and the notice-mail follow-up.
#include "engine/TActionFlg.h"
#include "tests/engine/EngineFixture.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTimer>
#include <QtTest>

using namespace TestServers;

namespace {

const QString kCheck = QStringLiteral("Please check network connection and login account.");

QString freshPassword()
{
    return QStringLiteral("Vq7-%1!x").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

int probe(EngineFixture& f, const QString& address, const QString& login, const QString& password)
{
    TActionStaus status;
    f.login(EngineFixture::User(address, login, password), QString(), status);
    return status.Code;
}

// Debian's own wording: unlike "password:", it does not take "BAD PASSWORD:" for the next prompt.
int saveDebianProfile(EngineFixture& f)
{
    TActionFlg flg;
    flg.OSName = QStringLiteral("Debian wording");
    flg.InputOldPassword = QStringLiteral("Current password:");
    flg.InputNewPassword = QStringLiteral("New password:");
    flg.RetypeNewPassword = QStringLiteral("Retype new password:");
    return SaveOSProfile(f.dm, flg);
}

void checkNothingSecretShown(const EngineFixture& f, const QStringList& secrets)
{
    const QString shown = f.EverythingShown();
    for (const QString& secret : secrets)
        QVERIFY2(!shown.contains(secret), qPrintable(QStringLiteral("%1 appears in: %2").arg(secret, shown)));
}

} // namespace

class TestChangePassword : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_TEST_SERVERS(); }

    void cleanupTestCase()
    {
        for (const QString& account : Accounts(QStringLiteral("vtst_eng"), 4))
            ResetPassword(account, Password);
    }

    void realChangeAsTheUser()
    {
        const QString account = QStringLiteral("vtst_eng1");
        QVERIFY(ResetPassword(account, Password));
        EngineFixture f;
        f.AddHost(1, OpenSshAddress, 1);
        const QString newPassword = freshPassword();
        TActionStaus status;
        f.change(EngineFixture::User(OpenSshAddress, account, Password, newPassword), 0, status);
        QCOMPARE(status.Shown(), QStringLiteral("Changed Successed. "));
        QCOMPARE(int(status.Code), 4);
        QVERIFY(status.PasswordChanged);
        QVERIFY(!f.engine.SessionActive());

        const QStringList& transcript = f.run.Transcript;
        QCOMPARE(transcript.size(), 5); // connect line, then old, new, retype and confirmation waits
        QCOMPARE(transcript[0], QStringLiteral("Connect to 127.0.0.2:2222 (login as vtst_eng1)... "));
        QVERIFY(transcript[1].contains(QStringLiteral("current password:")));
        QVERIFY(transcript[4].contains(QStringLiteral("successfully")));
        QVERIFY(f.progressTexts.contains(QStringLiteral("Changing password for user [vtst_eng1], please wait...")));
        checkNothingSecretShown(f, {Password, newPassword});

        QCOMPARE(probe(f, OpenSshAddress, account, newPassword), 2);
    }

    void realChangeAsTheManager_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<int>("useManager");
        QTest::addColumn<int>("options");
        QTest::newRow("host logs in as its manager") << "vtst_eng2" << -1 << 0;
        QTest::newRow("caller asks for the manager") << "vtst_eng3" << 1 << int(ooLoginAsManager);
    }
    void realChangeAsTheManager()
    {
        QFETCH(QString, account);
        QFETCH(int, useManager);
        QFETCH(int, options);
        QVERIFY(ResetPassword(account, Password));
        EngineFixture f;
        f.AddHost(1, OpenSshAddress, 2, ManagerAccount, useManager);
        const QString newPassword = freshPassword();
        // The user's own password is wrong on purpose: root's passwd never asks for it.
        TActionStaus status;
        f.change(EngineFixture::User(OpenSshAddress, account, QStringLiteral("unused"), newPassword),
                 TOperationOptions(options), status);
        QCOMPARE(status.Shown(), QStringLiteral("Changed Successed. "));
        QCOMPARE(f.run.Transcript.size(), 4); // no old-password step
        QCOMPARE(f.run.Transcript[0], QStringLiteral("Connect to 127.0.0.2:2222 (login as vtst_mgr)... "));
        QVERIFY(
            f.progressTexts.contains(QStringLiteral("Changing password for user [%1], please wait...").arg(account)));
        checkNothingSecretShown(f, {Password, newPassword});
        QCOMPARE(probe(f, OpenSshAddress, account, newPassword), 2);
    }

    void managerModeWaitsForAnOldPasswordPromptThatNeverComes()
    {
        const QString account = QStringLiteral("vtst_eng4");
        QVERIFY(ResetPassword(account, Password));
        EngineFixture f;
        const int osid = saveDebianProfile(f);
        f.AddHost(1, OpenSshAddress, osid, ManagerAccount, -1);
        TActionStaus status;
        f.change(EngineFixture::User(OpenSshAddress, account, Password, freshPassword()), 0, status);
        QCOMPARE(status.Shown(), QStringLiteral("Changed Failed. Receive data timeout."));
        QVERIFY(!status.PasswordChanged);
        QCOMPARE(probe(f, OpenSshAddress, account, Password), 2);
    }

    void managerCommandCannotBeHijackedByTheLoginName()
    {
        EngineFixture f;
        f.AddHost(1, OpenSshAddress, 2, ManagerAccount, -1);
        const QString marker =
            QStringLiteral("/tmp/veltrane-engine-injected-%1").arg(QCoreApplication::applicationPid());
        QFile::remove(marker);
        const QString hostile = QStringLiteral("vtst_eng4; touch ") + marker;

        // The manager's host really runs a second command given unquoted: what the quoting must prevent.
        TUser manager = EngineFixture::User(OpenSshAddress, ManagerAccount, Password);
        TActionStaus status;
        f.login(manager, QStringLiteral("passwd ") + hostile, status);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
        f.engine.CloseSession();
        QVERIFY(QFile::remove(marker));

        f.run.ClearTranscript();
        f.change(EngineFixture::User(OpenSshAddress, hostile, Password, freshPassword()), 0, status);
        QCOMPARE(int(status.Code), 3);
        QVERIFY2(status.Detail.contains(QStringLiteral("only \"passwd vtst_name\" is allowed")),
                 qPrintable(status.Detail));
        QTest::qWait(500);
        QVERIFY(!QFile::exists(marker));
    }

    void managerModeRefusesANameThatPasswdTakesForAnOption()
    {
        EngineFixture f;
        f.AddHost(1, OpenSshAddress, 2, ManagerAccount, -1);
        TActionStaus status;
        f.change(EngineFixture::User(OpenSshAddress, QStringLiteral("-d"), Password, freshPassword()), 0, status);
        QCOMPARE(int(status.Code), 3);
        QVERIFY(status.Detail.contains(QStringLiteral("\"-d\"")));
        QVERIFY(f.run.Transcript.isEmpty()); // nothing was even connected
    }

    void dialogsOfOtherSystems_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("profile"); // a stored profile name, "custom AIX" or "defaults"
        QTest::addColumn<int>("waits");
        QTest::newRow("Debian, Linux profile") << DialogDebian << "Linux" << 4;
        QTest::newRow("Debian, no profile") << DialogDebian << "defaults" << 4;
        QTest::newRow("Solaris") << DialogSolaris << "Solaris" << 4;
        QTest::newRow("AIX, own profile") << DialogAix << "custom AIX" << 4;
        QTest::newRow("prompts split in two") << DialogSplit << "Linux" << 4;
        QTest::newRow("long banner first") << DialogLong << "Linux" << 4;
        QTest::newRow("every prompt a second late") << DialogSlow << "Linux" << 4;
    }
    void dialogsOfOtherSystems()
    {
        QFETCH(QString, account);
        QFETCH(QString, profile);
        QFETCH(int, waits);
        EngineFixture f;
        int osid = -1;
        if (profile == QLatin1String("custom AIX")) {
            TActionFlg aix;
            aix.OSName = QStringLiteral("AIX");
            aix.InputOldPassword = QStringLiteral("old password:");
            aix.InputNewPassword = QStringLiteral("new password:");
            aix.RetypeNewPassword = QStringLiteral("again:");
            osid = SaveOSProfile(f.dm, aix);
        } else if (profile != QLatin1String("defaults")) {
            osid = profile == QLatin1String("Linux") ? 1 : 3;
        }
        f.AddHost(1, DialogAddress, osid);
        QVERIFY(ClearDialogAnswers(account));
        const QString newPassword = freshPassword();
        TActionStaus status;
        f.change(EngineFixture::User(DialogAddress, account, Password, newPassword), 0, status);
        QCOMPARE(status.Shown(), QStringLiteral("Changed Successed. "));
        QCOMPARE(f.run.Transcript.size(), 1 + waits);
        checkNothingSecretShown(f, {Password, newPassword});

        // Each password went exactly once, in step order, ending in a single CR.
        const auto answers = DialogAnswers(account);
        QCOMPARE(answers.size(), 3);
        QCOMPARE(answers[0].step, QStringLiteral("old"));
        QCOMPARE(answers[0].bytes, Password.toUtf8() + '\r');
        QCOMPARE(answers[1].step, QStringLiteral("new"));
        QCOMPARE(answers[1].bytes, newPassword.toUtf8() + '\r');
        QCOMPARE(answers[2].step, QStringLiteral("retype"));
        QCOMPARE(answers[2].bytes, newPassword.toUtf8() + '\r');
    }

    void skippedOldPasswordStepAnswersTheFirstPromptWithTheNewPassword()
    {
        EngineFixture f;
        f.AddHost(1, DialogAddress, 2); // "password:" prompts, old-password step skipped
        QVERIFY(ClearDialogAnswers(DialogDebian));
        const QString newPassword = freshPassword();
        TActionStaus status;
        f.change(EngineFixture::User(DialogAddress, DialogDebian, Password, newPassword), 0, status);
        // The retype prompt then arrives where the confirmation is awaited.
        QCOMPARE(status.Shown(), QStringLiteral("Changed Failed. Receive data timeout."));
        const auto answers = DialogAnswers(DialogDebian);
        QCOMPARE(answers.size(), 2);
        QCOMPARE(answers[0].step, QStringLiteral("old"));
        QCOMPARE(answers[0].bytes, newPassword.toUtf8() + '\r');
        QCOMPARE(answers[1].bytes, newPassword.toUtf8() + '\r');
    }

    void failures_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("situation");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("entries");
        const QString pw = Password;
        const QString np = QStringLiteral("Vq7-new-secret!");
        QTest::newRow("no new password") << DialogAddress << DialogDebian << pw << ""
                                         << "" << 3 << "Changed Failed. New password is required. " << 0;
        QTest::newRow("host cannot be read") << DialogAddress << DialogDebian << pw << np << "closed database" << 3
                                             << "Changed Failed. Field 'hID' not found" << 0;
        QTest::newRow("no TCP connection")
            << ClosedAddress << DialogDebian << pw << np << "" << 0
            << "Connected Failed. " + kCheck + " The host refused the connection: nothing listens on that port." << 1;
        QTest::newRow("login failed") << DialogAddress << DialogDebian << "wrong-password" << np << "" << 1
                                      << "Login failed. " + kCheck + " The host refused the password." << 1;
        QTest::newRow("stop during the login") << SilentAddress << DialogDebian << pw << np << "stop at 700 ms" << 1
                                               << "Login failed. Cancelled by user. " << 1;
        QTest::newRow("session gone right after login")
            << DialogAddress << DialogDebian << pw << np << "drop after login" << 3
            << "Changed Failed. Connection is closed." << 1;
        QTest::newRow("prompt too late") << DialogAddress << DialogLate << pw << np << "" << 3
                                         << "Changed Failed. Receive data timeout." << 2;
        QTest::newRow("host rejects the password")
            << DialogAddress << DialogReject << pw << np << "" << 3 << "Changed Failed. bad password: too short" << 4;
        QTest::newRow("host ends after the echo")
            << DialogAddress << DialogSilent << pw << np << "" << 3 << "Changed Failed. Connection is closed." << 3;
        QTest::newRow("third new-password prompt")
            << DialogAddress << DialogWeak << pw << np << "" << 3 << "Changed Failed. Receive data timeout." << 6;
        QTest::newRow("stop during the conversation")
            << DialogAddress << DialogLate << pw << np << "stop in the first wait" << 3
            << "Changed Failed. Cancelled by user. " << 2;
    }
    void failures()
    {
        QFETCH(QString, address);
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(QString, newPassword);
        QFETCH(QString, situation);
        QFETCH(int, code);
        QFETCH(QString, shown);
        QFETCH(int, entries);
        EngineFixture f;
        f.AddHost(1, address, saveDebianProfile(f));
        f.engine.CommandEndWait = 1000;
        if (situation == QLatin1String("closed database"))
            f.dm.DBSession.Close();
        if (situation.startsWith(QLatin1String("stop at ")))
            f.cancelAfter(situation.section(QLatin1Char(' '), 2, 2).toInt());
        if (situation == QLatin1String("drop after login")) {
            // Stands in for a host that closes the session just after accepting the login.
            f.run.Progress = [&](const QString& text) {
                f.progressTexts << text;
                if (text.endsWith(QLatin1String("Login Successed. ")))
                    f.engine.CloseSession();
            };
        } else if (situation == QLatin1String("stop in the first wait")) {
            f.run.Progress = [&](const QString& text) {
                f.progressTexts << text;
                if (text.startsWith(QLatin1String("Changing password")))
                    f.cancelAfter(500);
            };
        }
        TActionStaus status;
        f.change(EngineFixture::User(address, account, password, newPassword), 0, status);
        QCOMPARE(status.Shown(), shown);
        QCOMPARE(int(status.Code), code);
        QVERIFY(!status.PasswordChanged);
        QVERIFY(!f.engine.SessionActive());
        QCOMPARE(f.run.Transcript.size(), entries);
        checkNothingSecretShown(f, {Password, newPassword.isEmpty() ? Password : newPassword});
    }
};

QTEST_GUILESS_MAIN(TestChangePassword)
#include "tst_changepassword.moc"
