// The user editor's Test Login against the loopback SSH server: the login and current password typed
// in the dialog are probed on the user's host; the record takes the typed fields, nothing is stored.
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "engine/ChangePlan.h"
#include "tests/gui/EditorTestSupport.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestServers.h"
#include "transport/KnownHostsFile.h"
#include "ui/TfrmUserEdit.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using EditorTest::Rows;
using EditorTest::ServerFingerprint;

class TestUserEditLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString problem = ServerProblem();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void testLoginProbesTheTypedAccount_data()
    {
        using namespace TestServers;
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        const QString reason = QStringLiteral("Please check network connection and login account.");
        const QString refused = reason + QStringLiteral(" The host refused the password.");
        const QString closed =
            reason + QStringLiteral(" The host refused the connection: nothing listens on that port.");
        QTest::newRow("current password logs in")
            << OpenSshAddress << Password << "Login Successed. " << int(BalloonIcon::Info);
        QTest::newRow("wrong password") << OpenSshAddress << "Vt-Wrong#1"
                                        << "Login failed. " + refused << int(BalloonIcon::Error);
        QTest::newRow("nothing listens") << ClosedAddress << Password << "Connected Failed. " + closed
                                         << int(BalloonIcon::Error);
    }
    void testLoginProbesTheTypedAccount()
    {
        QFETCH(QString, address);
        QFETCH(QString, password);
        QFETCH(QString, message);
        QFETCH(int, icon);
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        TfrmUserEdit dialog(dm);
        ClearUser(dialog.User);
        dialog.User.uID = -1;
        dialog.User.hID = 3;
        dialog.User.HostIP = address;
        dialog.User.HostPort = TestServers::Port;
        dialog.SetAddMode(true);
        dialog.ShowUser(true);
        dialog.show();
        dialog.edtLogin->setText(QStringLiteral("vtst_gui3"));
        dialog.edtOldPwd->setText(password);
        dialog.edtPeriod->setText(QStringLiteral("45"));
        dialog.moRemark->setPlainText(QStringLiteral("probe"));

        QTest::mouseClick(dialog.sbTest, Qt::LeftButton);
        // The probe runs on its own thread: the window answers meanwhile, the outcome comes later.
        QVERIFY(dialog.ProbeRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.ProbeRunning(), 20000);

        const auto balloons = ui.shown(QStringLiteral("balloon"));
        QCOMPARE(balloons.size(), 1);
        QCOMPARE(balloons[0].control, dialog.sbTest);
        // A first successful contact also names the key it recorded, as ssh-keygen -l shows it.
        const QString firstContact =
            message == QLatin1String("Login Successed. ")
                ? QStringLiteral("\nNew host key recorded: ssh-ed25519 ") + ServerFingerprint(address)
                : QString();
        QCOMPARE(balloons[0].text, message + firstContact);
        QCOMPARE(int(balloons[0].icon), icon);
        QCOMPARE(balloons[0].durationMs, 0);
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.Accepted);
        QCOMPARE(Rows(dm, QStringLiteral("select count(*) from Users")), QStringList{"0"});
        QCOMPARE(dialog.User.LoginName, QStringLiteral("vtst_gui3"));
        QCOMPARE(DecipherPassword(dialog.User.pwNow), password);
        QCOMPARE(dialog.User.pwPeriod, 45);
        QCOMPARE(dialog.User.uRemark, QStringLiteral("probe"));
        for (const auto& shown : ui.all)
            QVERIFY2(!shown.text.contains(password), qPrintable(shown.text));
    }

    void aChangedHostKeyIsTrustedOnlyAfterYes()
    {
        using namespace TestServers;
        TestEnvironment env;
        RecordingUiServices ui;
        const QString knownHosts = KnownHostsPathOf(env.dm());
        // Another server's key recorded for this host: what a reinstalled host, or a man in the middle, shows.
        QFile dialogKey(DialogHostKey);
        QVERIFY(dialogKey.open(QIODevice::ReadOnly));
        const QByteArray otherKey = dialogKey.readAll().split(' ').mid(0, 2).join(' ');
        QVERIFY(KnownHostsFile::Replace(knownHosts, OpenSshAddress, Port,
                                        KnownHostsFile::HostPattern(OpenSshAddress, Port) + QLatin1Char(' ') +
                                            QString::fromLatin1(otherKey))
                    .isEmpty());
        TfrmUserEdit dialog(env.dm());
        dialog.User.HostIP = OpenSshAddress;
        dialog.User.HostPort = Port;
        dialog.ShowUser(false);
        dialog.show();
        dialog.edtLogin->setText(QStringLiteral("vtst_gui3"));
        dialog.edtOldPwd->setText(Password);
        const QString presented = QStringLiteral("ssh-ed25519 ") + ServerFingerprint(OpenSshAddress);

        ui.setNextAnswer(ButtonNo);
        QTest::mouseClick(dialog.sbTest, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.ProbeRunning(), 20000);
        const auto questions = ui.shown(QStringLiteral("msgbox"));
        QCOMPARE(questions.size(), 1);
        QVERIFY2(questions[0].text.contains(ServerFingerprint(DialogAddress)) && questions[0].text.contains(presented),
                 qPrintable(questions[0].text));
        QCOMPARE(questions[0].style, int(StyleConfirm)); // No is the default button
        QVERIFY(ui.shown(QStringLiteral("balloon")).last().text.startsWith(QStringLiteral("Login failed. ")));
        QCOMPARE(KnownHostsFile::RecordedKeys(knownHosts, OpenSshAddress, Port).value(0).fingerprint,
                 ServerFingerprint(DialogAddress));

        ui.setNextAnswer(ButtonYes);
        QTest::mouseClick(dialog.sbTest, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(ui.shown(QStringLiteral("balloon")).size() == 2 && !dialog.ProbeRunning(), 20000);
        QCOMPARE(ui.shown(QStringLiteral("balloon")).last().text,
                 QStringLiteral("Login Successed. \nNew host key recorded: ") + presented);
        const auto recorded = KnownHostsFile::RecordedKeys(knownHosts, OpenSshAddress, Port);
        QCOMPARE(recorded.size(), 1);
        QCOMPARE(recorded[0].fingerprint, ServerFingerprint(OpenSshAddress));
    }

    void aProbeThatIsStillWaitingIgnoresClicksAndShowsNothingOnceClosed()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TfrmUserEdit dialog(env.dm());
        dialog.User.HostIP = TestServers::SilentAddress;
        dialog.User.HostPort = TestServers::Port;
        dialog.ShowUser(false);
        dialog.edtLogin->setText(QStringLiteral("vtst_gui3"));
        dialog.edtOldPwd->setText(TestServers::Password);
        dialog.show();
        // The silent server keeps the probe waiting; meanwhile Test is clicked again and the dialog closed.
        QTimer::singleShot(500, &dialog, [&] {
            dialog.sbTest->click();
            dialog.btnCancel->click();
        });

        QTest::mouseClick(dialog.sbTest, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), 5000);
        // Closing stopped the probe at its wait, long before the silent host's 15 s.
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.ProbeRunning(), 3000);

        int probes = 0;
        for (const auto& shown : ui.shown(QStringLiteral("status")))
            probes += shown.text.endsWith(QStringLiteral(", Please wait... ")) ? 1 : 0;
        QCOMPARE(probes, 1);
        QVERIFY(ui.shown(QStringLiteral("balloon")).isEmpty());
        QVERIFY(!dialog.isVisible());
    }

    void emptyPasswordIsRefusedBeforeConnecting()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TfrmUserEdit dialog(env.dm());
        dialog.User.HostIP = TestServers::OpenSshAddress;
        dialog.User.HostPort = TestServers::Port;
        dialog.ShowUser(false);
        dialog.show();
        dialog.edtLogin->setText(QStringLiteral("vtst_gui3"));

        QTest::mouseClick(dialog.sbTest, Qt::LeftButton);

        const auto balloons = ui.shown(QStringLiteral("balloon"));
        QCOMPARE(balloons.size(), 1);
        QCOMPARE(balloons[0].control, dialog.edtOldPwd);
        QVERIFY(!dialog.ProbeRunning());
        QVERIFY(dialog.User.LoginName.isEmpty());
    }
};

QTEST_MAIN(TestUserEditLogin)
#include "tst_useredit_login.moc"
