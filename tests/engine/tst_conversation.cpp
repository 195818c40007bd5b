// The passwd conversation on a scripted remote shell: every way through a prompt profile, in
// milliseconds. The real servers prove the same paths in tst_changepassword.
#include "engine/TRemoteEngine.h"
#include "tests/support/ScriptedShell.h"

#include <QElapsedTimer>
#include <QtTest>

#include <thread>

namespace {

TChangeRequest request(bool oldPasswordStep = true)
{
    TChangeRequest r;
    r.login.address = QStringLiteral("192.0.2.1");
    r.login.loginName = QStringLiteral("alice");
    r.login.password = SecretBuffer(QStringLiteral("Old-pw#1"));
    r.login.command = QStringLiteral("passwd");
    r.login.knownHostsPath = QStringLiteral("/nonexistent/known_hosts");
    r.userLogin = QStringLiteral("alice");
    r.profile.canskip = oldPasswordStep ? -1 : 0;
    r.profile.InputOldPassword = QStringLiteral("current password:");
    r.profile.InputNewPassword = QStringLiteral("new password:");
    r.profile.RetypeNewPassword = QStringLiteral("retype new password:");
    r.oldPassword = SecretBuffer(QStringLiteral("Old-pw#1"));
    r.newPassword = SecretBuffer(QStringLiteral("N\u00ebw-pw#2"));
    return r;
}

} // namespace

class TestConversation : public QObject
{
    Q_OBJECT

private slots:
    void profilePaths_data()
    {
        QTest::addColumn<QList<QByteArray>>("says");
        QTest::addColumn<bool>("oldStep");
        QTest::addColumn<bool>("hangs");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QList<QByteArray>>("typed");
        QTest::addColumn<bool>("sent");
        const QByteArray old = "Old-pw#1", fresh = "N\xc3\xabw-pw#2";
        QTest::newRow("own login, every step")
            << QList<QByteArray>{"Current password: ", "New password: ", "Retype new password: ",
                                 "passwd: password updated successfully\r\n"}
            << true << false << "Changed Successed. " << QList<QByteArray>{old, fresh, fresh} << true;
        QTest::newRow("manager skips the old password")
            << QList<QByteArray>{"New password: ", "Retype new password: ", "password updated successfully"} << false
            << false << "Changed Successed. " << QList<QByteArray>{fresh, fresh} << true;
        QTest::newRow("host ends after the retype with its reason")
            << QList<QByteArray>{"New password: ", "Retype new password: ", "Sorry, passwords do not match.\r\n"}
            << false << false << "Changed Failed. sorry, passwords do not match." << QList<QByteArray>{fresh, fresh}
            << true;
        // Upper-cased, the accent decomposed, split by CSI, OSC (ended by BEL and by ST) and ESC 7: each byte
        // from its first to its last character is masked.
        QTest::newRow("host echoes the new password in another case and form, split by escapes")
            << QList<QByteArray>{"New password: ", "Retype new password: ",
                                 "passwd: rejected N\x1b[38;5;196mE\xcc\x88\x1b]0;x\x07W-P\x1b"
                                 "7W\x1b]2;t\x1b\\#2\r\n"}
            << false << false << "Changed Failed. passwd: rejected " + QString(36, QLatin1Char('*'))
            << QList<QByteArray>{fresh, fresh} << true;
        QTest::newRow("old password refused: the new one never goes out")
            << QList<QByteArray>{"Current password: ", "passwd: Authentication token manipulation error\r\n"} << true
            << false << "Changed Failed. passwd: authentication token manipulation error" << QList<QByteArray>{old}
            << false;
        QTest::newRow("prompt never comes") << QList<QByteArray>{"Changing password for alice.\r\n"} << true << true
                                            << "Changed Failed. Receive data timeout." << QList<QByteArray>{} << false;
        QTest::newRow("success text never comes")
            << QList<QByteArray>{"New password: ", "Retype new password: ", ""} << false << true
            << "Changed Failed. Receive data timeout." << QList<QByteArray>{fresh, fresh} << true;
    }
    void profilePaths()
    {
        QFETCH(QList<QByteArray>, says);
        QFETCH(bool, oldStep);
        QFETCH(bool, hangs);
        QFETCH(QString, shown);
        QFETCH(QList<QByteArray>, typed);
        QFETCH(bool, sent);
        ScriptedShell shell;
        shell.says = says;
        shell.hangsAtTheEnd = hangs;
        TRunContext run;
        TRemoteEngine engine(run, shell);
        engine.ReadTimeOut = 100;
        engine.CommandEndWait = 300;
        TActionStaus status;
        engine.ChangeUserPassword(request(oldStep), status);
        QCOMPARE(status.Shown(), shown);
        // Given up on after the new password went out, passwd gets its time to finish writing it.
        QCOMPARE(run.GetTranscriptText().contains(QStringLiteral("passwd had not ended 0.")), sent && hangs);
        QCOMPARE(shell.typed, typed);
        QCOMPARE(status.NewPasswordSent, sent);
        QCOMPARE(status.PasswordChanged, status.Code == acChangeSucceeded);
        QVERIFY(!shell.SessionActive());
        // Neither password shows anywhere the run keeps, whatever the host printed: not even the "-p" of both.
        QVERIFY(!run.GetTranscriptText().contains(QStringLiteral("pw#")));
        QVERIFY(!run.GetTranscriptText().contains(QStringLiteral("-p"), Qt::CaseInsensitive));
    }

    void exitStatusDecidesWhereNothingIsPrinted_data()
    {
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0") << 0 << "Changed Successed. ";
        QTest::newRow("1") << 1 << "Changed Failed. passwd ended with exit status 1.";
    }
    void exitStatusDecidesWhereNothingIsPrinted()
    {
        QFETCH(int, exitStatus);
        QFETCH(QString, shown);
        ScriptedShell shell;
        shell.says = {"New password:", "Retype new password:", ""};
        shell.exitStatus = exitStatus;
        TRunContext run;
        TRemoteEngine engine(run, shell);
        TChangeRequest r = request(false);
        r.profile.SuccessByExitStatus = true;
        r.profile.ChangeSuccessfully.clear();
        TActionStaus status;
        engine.ChangeUserPassword(r, status);
        QCOMPARE(status.Shown(), shown);
    }

    void loginFailuresNameTheirKind_data()
    {
        QTest::addColumn<int>("open");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<bool>("unreachable");
        QTest::newRow("password refused") << int(ScriptedShell::Open::Refused) << 1 << true << false;
        QTest::newRow("host unreachable") << int(ScriptedShell::Open::Unreachable) << 0 << false << true;
    }
    void loginFailuresNameTheirKind()
    {
        QFETCH(int, open);
        QFETCH(int, code);
        QFETCH(bool, refused);
        QFETCH(bool, unreachable);
        ScriptedShell shell;
        shell.open = ScriptedShell::Open(open);
        TRunContext run;
        TRemoteEngine engine(run, shell);
        TActionStaus status;
        engine.ChangeUserPassword(request(), status);
        QCOMPARE(int(status.Code), code);
        QCOMPARE(status.LoginRefused, refused);
        QCOMPARE(status.HostUnreachable, unreachable);
        QVERIFY(shell.typed.isEmpty());
    }

    void refusedRequestNeverConnects()
    {
        ScriptedShell shell;
        TRunContext run;
        TRemoteEngine engine(run, shell);
        TChangeRequest r = request();
        r.refusal = QStringLiteral("New password is required. ");
        TActionStaus status;
        engine.ChangeUserPassword(r, status);
        QCOMPARE(status.Shown(), QStringLiteral("Changed Failed. New password is required. "));
        QVERIFY(shell.opened.address.isEmpty());
        QVERIFY(run.Transcript.isEmpty());
    }

    void stopEndsAWaitAtOnce()
    {
        ScriptedShell shell;
        shell.says = {"Changing password for alice.\r\n"};
        shell.hangsAtTheEnd = true;
        TRunContext run;
        TRemoteEngine engine(run, shell);
        engine.ReadTimeOut = 10000;
        std::thread stop([&run] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            run.RequestCancel();
        });
        QElapsedTimer clock;
        clock.start();
        TActionStaus status;
        engine.ChangeUserPassword(request(), status);
        stop.join();
        QCOMPARE(status.Shown(), QStringLiteral("Changed Failed. Cancelled by user. "));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestConversation)
#include "tst_conversation.moc"
