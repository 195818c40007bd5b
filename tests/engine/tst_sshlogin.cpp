// SSHLogin against the loopback servers: every outcome of the login table, cancel while opening,
// a command left running, and the known-hosts decisions.
#include "tests/engine/EngineFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QtTest>

using namespace TestServers;

namespace {

const QString kCheck = QStringLiteral("Please check network connection and login account.");

QString connectText(const QString& address, const QString& login)
{
    return QStringLiteral("Connect to %1:%2 (login as %3)").arg(address).arg(Port).arg(login);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TestSshLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        REQUIRE_TEST_SERVERS();
        const QString problem = RealFleetServerProblem();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        // As on an administrator's desktop: an agent runs and holds a key that some accounts accept.
        qputenv("SSH_AUTH_SOCK", AgentSocket.toUtf8());
    }

    void probeOutcomes_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("detail");
        QTest::newRow("right password") << OpenSshAddress << "vtst_eng5" << Password << 2 << "Login Successed. "
                                        << "";
        QTest::newRow("manager's forced command")
            << OpenSshAddress << ManagerAccount << Password << 2 << "Login Successed. "
            << "";
        QTest::newRow("scripted host") << DialogAddress << DialogDebian << Password << 2 << "Login Successed. "
                                       << "";
        const QString refused = kCheck + QStringLiteral(" The host refused the password.");
        QTest::newRow("wrong password") << OpenSshAddress << "vtst_eng5"
                                        << "not-the-password" << 1 << "Login failed. " << refused;
        QTest::newRow("port closed") << ClosedAddress << "vtst_eng5" << Password << 0 << "Connected Failed. "
                                     << kCheck + " The host refused the connection: nothing listens on that port.";
        QTest::newRow("empty login name") << OpenSshAddress << "" << Password << 1 << "Login failed. " << kCheck;
        // The test runs with an ssh-agent whose key these accounts accept: only the password may prove itself.
        QTest::newRow("agent key accepted, password wrong")
            << OpenSshAddress << AgentAccount(1) << "not-the-password" << 1 << "Login failed. " << refused;
        QTest::newRow("agent key accepted, password right")
            << OpenSshAddress << AgentAccount(2) << Password << 2 << "Login Successed. "
            << "";
        QTest::newRow("one try, the agent's key not spent on it")
            << OneTryAddress << OneTryAgentAccount << Password << 2 << "Login Successed. "
            << "";
        QTest::newRow("one try, wrong password")
            << OneTryAddress << OneTry(1) << "not-the-password" << 1 << "Login failed. "
            << kCheck + " The host closed the login after too many authentication attempts.";
        QTest::newRow("restricted account")
            << ForcedAddress << Forced(2) << Password << 2 << "Login Successed. "
            << "The host accepted the password but did not run the test command (the account may be restricted).";
        QTest::newRow("SHA-1 host")
            << Sha1Address << Sha1(3) << Password << 1 << "Login failed. "
            << kCheck + " The host offers only SHA-1 algorithms (diffie-hellman-group14-sha1, "
                        "diffie-hellman-group1-sha1); allow them for this host if it cannot be upgraded.";
        // One account's name fails that account alone; nothing marks the host unreachable.
        QTest::newRow("name libssh refuses")
            << OpenSshAddress << "j'doe" << Password << 1 << "Login failed. "
            << "The login name \"j'doe\" cannot be used over SSH (libssh refuses its characters); correct the "
               "login name.";
        QTest::newRow("name with white space")
            << OpenSshAddress << "j doe" << Password << 1 << "Login failed. "
            << "The login name \"j doe\" contains white space. Correct the login name.";
        QTest::newRow("lines without end, no greeting")
            << FloodAddress << "vtst_eng5" << Password << 1 << "Login failed. "
            << "No SSH greeting from 127.0.0.17:2222 within 15 s: the host sent ";
    }
    void probeOutcomes()
    {
        QFETCH(QString, address);
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(int, code);
        QFETCH(QString, text);
        QFETCH(QString, detail);
        EngineFixture f;
        TActionStaus status;
        status.Set(acSendFailed);
        status.Detail = QStringLiteral("left over from an earlier call");
        f.login(EngineFixture::User(address, login, password), QString(), status);

        QCOMPARE(int(status.Code), code);
        QCOMPARE(status.Text, text);
        // How many bytes a flood got out before the greeting limit varies from run to run.
        const bool noGreeting = detail.startsWith(QLatin1String("No SSH greeting"));
        QVERIFY2(noGreeting ? status.Detail.startsWith(detail) : status.Detail == detail, qPrintable(status.Detail));
        const QString connect = connectText(address, login);
        QCOMPARE(f.run.Transcript, QStringList{connect + QStringLiteral("... ")});
        QCOMPARE(f.progressTexts,
                 (QStringList{connect + QStringLiteral(", Please wait... "), connect + QStringLiteral("... ") + text}));
        // Progress goes to the run's receiver only: the engine never touches a window.
        QVERIFY(f.ui.shown(QStringLiteral("status")).isEmpty());
        QVERIFY(!f.engine.SessionActive());
        QVERIFY(!f.EverythingShown().contains(password));
        // Only a host that is no SSH server spares the batch's other accounts on it a try of their own.
        QVERIFY(status.HostUnreachable == noGreeting || code == acConnectFailed);
        QVERIFY(!status.LoginRefused || !noGreeting);
    }

    void silentServerFailsAfterIdleLimit()
    {
        EngineFixture f;
        TActionStaus status;
        QElapsedTimer clock;
        clock.start();
        f.login(EngineFixture::User(SilentAddress, "vtst_eng5", Password), QString(), status);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(int(status.Code), 1);
        QCOMPARE(status.Text, QStringLiteral("Login failed. "));
        // Said as what it is, not as a wrong password.
        QCOMPARE(status.Detail, QStringLiteral("No SSH greeting from 127.0.0.5:2222 within 15 s: the host accepted the "
                                               "connection but sent nothing; check that an SSH server listens on "
                                               "that port."));
        QVERIFY(!status.LoginRefused);
        // The batch's other accounts on this host need not wait for it again.
        QVERIFY(status.HostUnreachable);
        QVERIFY2(elapsed >= 14500 && elapsed < 25000, qPrintable(QString::number(elapsed)));
    }

    void stopWhileOpening_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("password");
        QTest::newRow("server never speaks") << SilentAddress << Password;
        QTest::newRow("during the failed-password delay") << OpenSshAddress << "not-the-password";
    }
    void stopWhileOpening()
    {
        QFETCH(QString, address);
        QFETCH(QString, password);
        EngineFixture f;
        TActionStaus status;
        f.cancelAfter(700);
        QElapsedTimer clock;
        clock.start();
        f.login(EngineFixture::User(address, "vtst_eng5", password), QString(), status);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(int(status.Code), 1);
        QCOMPARE(status.Shown(), QStringLiteral("Login failed. Cancelled by user. "));
        QVERIFY(!f.engine.SessionActive());
    }

    void commandIsLeftRunning()
    {
        EngineFixture f;
        TActionStaus status;
        f.login(EngineFixture::User(DialogAddress, DialogDebian, Password), QStringLiteral("passwd"), status);
        QCOMPARE(int(status.Code), 2);
        QVERIFY(f.engine.SessionActive());
        QVERIFY(f.engine.WaitForText(QStringLiteral("password:")));
        f.engine.CloseSession();
        QVERIFY(!f.engine.SessionActive());
    }

    void hostKeyIsTrustedOnFirstUseAndCheckedAfter()
    {
        EngineFixture f;
        const QString knownHosts = f.knownHostsPath();
        QCOMPARE(knownHosts, f.env.dir() + QStringLiteral("/known_hosts"));
        TActionStaus status;
        const TUser user = EngineFixture::User(OpenSshAddress, "vtst_eng5", Password);

        f.login(user, QString(), status);
        QCOMPARE(int(status.Code), 2);
        const QByteArray firstKey = readFile(knownHosts);
        QVERIFY(firstKey.startsWith("[127.0.0.2]:2222 "));
        f.login(user, QString(), status);
        QCOMPARE(int(status.Code), 2);
        QCOMPARE(readFile(knownHosts), firstKey);

        // Record the other server's key, then claim it belongs to the first server.
        f.login(EngineFixture::User(DialogAddress, DialogDebian, Password), QString(), status);
        QCOMPARE(int(status.Code), 2);
        const QList<QByteArray> lines = readFile(knownHosts).trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        const QByteArray otherKey = lines[1].mid(lines[1].indexOf(' '));
        QVERIFY(!firstKey.contains(otherKey.trimmed()));
        const QByteArray forged = "[127.0.0.2]:2222" + otherKey + "\n";
        writeFile(knownHosts, forged);

        f.run.ClearTranscript();
        f.login(user, QString(), status);
        QCOMPARE(int(status.Code), 1);
        QCOMPARE(status.Text, QStringLiteral("Login failed. "));
        QVERIFY2(status.Detail.contains(knownHosts), qPrintable(status.Detail));
        QVERIFY(!f.engine.SessionActive());
        QCOMPARE(readFile(knownHosts), forged);
        QCOMPARE(f.run.Transcript.size(), 1);
    }

    void knownHostsThatCannotBeWrittenIsNamed()
    {
        EngineFixture f;
        // A folder where the file should be: even root cannot write it.
        QVERIFY(QDir().mkpath(f.knownHostsPath()));
        TActionStaus status;
        f.login(EngineFixture::User(OpenSshAddress, "vtst_eng5", Password), QString(), status);
        QCOMPARE(int(status.Code), 1);
        QVERIFY2(status.Detail.contains(QStringLiteral("could not be recorded in ") + f.knownHostsPath()),
                 qPrintable(status.Detail));
        QVERIFY(!status.LoginRefused);
    }
};

QTEST_GUILESS_MAIN(TestSshLogin)
#include "tst_sshlogin.moc"
