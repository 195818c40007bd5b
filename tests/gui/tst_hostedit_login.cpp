// The host editor's Test Login against the loopback SSH servers: the manager account typed in the
// dialog is probed and the outcome shown beside the Test button; nothing is stored.
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/gui/EditorTestSupport.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestServers.h"
#include "transport/KnownHostsFile.h"
#include "ui/TfrmHostEdit.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using EditorTest::Rows;
using EditorTest::ServerFingerprint;

class TestHostEditLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString problem = ServerProblem();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void testLoginShowsTheOutcomeBesideTheButton_data()
    {
        using namespace TestServers;
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("loginAs");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        const QString reason = QStringLiteral("Please check network connection and login account.");
        const QString refused = reason + QStringLiteral(" The host refused the password.");
        const QString closed =
            reason + QStringLiteral(" The host refused the connection: nothing listens on that port.");
        QTest::newRow("manager logs in") << OpenSshAddress << -1 << "vtst_gui3" << Password << "Login Successed. "
                                         << int(BalloonIcon::Info);
        // The test uses the manager fields whichever account the host changes passwords with.
        QTest::newRow("user's account chosen, manager tested")
            << OpenSshAddress << 1 << "vtst_gui3" << Password << "Login Successed. " << int(BalloonIcon::Info);
        QTest::newRow("wrong password") << OpenSshAddress << -1 << "vtst_gui3"
                                        << "not-it"
                                        << "Login failed. " + refused << int(BalloonIcon::Error);
        QTest::newRow("nothing listens") << ClosedAddress << -1 << "vtst_gui3" << Password
                                         << "Connected Failed. " + closed << int(BalloonIcon::Error);
        QTest::newRow("user's account, no manager") << OpenSshAddress << 1 << ""
                                                    << ""
                                                    << "Login failed. " + reason << int(BalloonIcon::Error);
    }
    void testLoginShowsTheOutcomeBesideTheButton()
    {
        QFETCH(QString, address);
        QFETCH(int, loginAs);
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(QString, message);
        QFETCH(int, icon);
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        TfrmHostEdit dialog(dm);
        THost host;
        host.hID = 1;
        host.OSID = 1;
        host.UseManager = loginAs;
        dialog.ShowHost(host);
        dialog.show();
        dialog.edtName->setText(address);
        dialog.edtPort->setText(QString::number(TestServers::Port));
        dialog.edtMngLogin->setText(login);
        dialog.edtMngPwd->setText(password);

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
        QCOMPARE(Rows(dm, QStringLiteral("select count(*) from Hosts")), QStringList{"0"});
        if (!password.isEmpty()) {
            for (const auto& shown : ui.all)
                QVERIFY2(!shown.text.contains(password), qPrintable(shown.text));
        }
    }

    void aProbeThatIsStillWaitingIgnoresClicksAndShowsNothingOnceClosed()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TfrmHostEdit dialog(env.dm());
        THost host;
        host.UseManager = -1;
        dialog.ShowHost(host);
        dialog.edtName->setText(TestServers::SilentAddress);
        dialog.edtPort->setText(QString::number(TestServers::Port));
        dialog.edtMngLogin->setText(QStringLiteral("vtst_gui3"));
        dialog.edtMngPwd->setText(TestServers::Password);
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
        QVERIFY(!dialog.Accepted);
    }

    void failedCheckStopsTheTestBeforeConnecting()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TfrmHostEdit dialog(env.dm());
        THost host;
        host.UseManager = -1;
        host.hPort = TestServers::Port;
        dialog.ShowHost(host);
        dialog.edtName->setText(TestServers::OpenSshAddress);
        dialog.edtMngLogin->setText(QStringLiteral("vtst_gui3"));
        dialog.show();

        QTest::mouseClick(dialog.sbTest, Qt::LeftButton);

        const auto balloons = ui.shown(QStringLiteral("balloon"));
        QCOMPARE(balloons.size(), 1);
        QCOMPARE(balloons[0].control, dialog.edtMngPwd);
        QCOMPARE(balloons[0].text, QStringLiteral("Please input [Manager Password] "));
        QVERIFY(ui.shown(QStringLiteral("status")).isEmpty());
        QVERIFY(!dialog.ProbeRunning());
    }
};

QTEST_MAIN(TestHostEditLogin)
#include "tst_hostedit_login.moc"
