// veltrane-cli's batch commands against the real loopback SSH and SMTP test servers, scripted as
// an administrator would use them.
#include "batch/NoticeMailSettings.h"
#include "core/DayNumber.h"
#include "core/IniFile.h"
#include "core/PasswordCipher.h"
#include "core/TDBSession.h"
#include "core/TdmPublic.h"
#include "tests/cli/CliInstall.h"
#include "tests/support/MailTestServer.h"
#include "tests/support/TestServers.h"

#include <QRegularExpression>
#include <QtTest>

#include <csignal>

namespace {

QByteArray userRow(const QString& address, const QString& login, const QString& password, const QString& email = {})
{
    return QStringLiteral("%1,2222,%2,%3,,,,%4,\r\n").arg(address, login, password, email).toUtf8();
}

/// "LOGIN  HOST:PORT  [1.27s]  TEXT" as one regular expression.
QRegularExpression resultLine(const QString& login, const QString& address, const QString& text)
{
    return QRegularExpression(
        QStringLiteral("^") +
        QRegularExpression::escape(login + QStringLiteral("  ") + address + QStringLiteral(":2222  [")) +
        QStringLiteral("\\d+\\.\\d\\ds\\]  ") + QRegularExpression::escape(text) + QStringLiteral("$"));
}

} // namespace

class TestCliBatch : public QObject
{
    Q_OBJECT

    std::unique_ptr<CliInstall> m_install;
    const QStringList m_accounts = TestServers::Accounts(QStringLiteral("vtst_cli"), 4);

    CliResult cli(const QStringList& arguments) { return m_install->run(arguments, QByteArray(), 120000); }
    TdmPublic& dm() { return m_install->environment().dm(); }
    QString text(const QString& statement)
    {
        auto query = dm().NewQuery();
        query->SelectSQL = statement;
        if (!dm().OpenQuery(*query) || query->Eof())
            return QStringLiteral("<no row>");
        return query->Fields(0).AsString();
    }
    void importData(const QByteArray& hosts, const QByteArray& users)
    {
        m_install->writeFile(QStringLiteral("hosts.csv"), kHostsHeader + hosts);
        m_install->writeFile(QStringLiteral("users.csv"), kUsersHeader + users);
        const CliResult hostImport = cli({"import", "hosts", "hosts.csv"});
        EXPECT_EXIT(hostImport, 0);
        const CliResult userImport = cli({"import", "users", "users.csv"});
        EXPECT_EXIT(userImport, 0);
    }

private slots:
    void initTestCase()
    {
        const QString problem = ServerProblem();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    void init()
    {
        for (const QString& account : m_accounts)
            QVERIFY2(ResetPassword(account, TestServers::Password), qPrintable(account));
        m_install = std::make_unique<CliInstall>();
    }
    void cleanup()
    {
        m_install.reset();
        for (const QString& account : m_accounts)
            ResetPassword(account, TestServers::Password);
    }

    // The scripted Debian dialog prints "successfully" and changes nothing: the check after the change
    // finds the old password still in use, and the record keeps it; --no-verify-after takes the host's word.
    void hostThatSaysSuccessButKeepsTheOldPassword()
    {
        using namespace TestServers;
        const QString pending = QStringLiteral("Vt-Said#2026q");
        importData(
            "127.0.0.3,2222,Linux,,,user,\r\n",
            QStringLiteral("127.0.0.3,2222,%1,%2,%3,,,,\r\n").arg(DialogDebian + "2", Password, pending).toUtf8());
        CliResult result = cli({"change-password", "--all"});
        EXPECT_EXIT(result, 1);
        QVERIFY2(result.out.contains(QLatin1String("Changed Failed. The host reported a success, but it still takes "
                                                   "the old password. Verified: the old password is still in use.")),
                 qPrintable(result.out));
        QCOMPARE(DecipherPassword(text(QStringLiteral("select pwNow from Users where uID=1"))), Password);
        QCOMPARE(DecipherPassword(text(QStringLiteral("select pwNew from Users where uID=1"))), pending);

        result = cli({"change-password", "--all", "--no-verify-after"});
        EXPECT_EXIT(result, 0);
        QVERIFY2(result.out.contains(QLatin1String("Changed Successed. ")), qPrintable(result.out));
        QCOMPARE(DecipherPassword(text(QStringLiteral("select pwNow from Users where uID=1"))), pending);
    }

    void importGenerateChangeAndLogInWithTheNewPassword()
    {
        using namespace TestServers;
        importData("127.0.0.2,2222,Linux,,,user,test host\r\n",
                   userRow(OpenSshAddress, "vtst_cli1", Password) + userRow(OpenSshAddress, "vtst_cli2", Password));
        // Long passwords with every class, so that the host's password rules accept them.
        m_install->writeFile(QStringLiteral("Options.ini"), "[Options]\r\nPass_Length=14\r\n");

        CliResult result = cli({"generate", "--all"});
        EXPECT_EXIT(result, 0);
        QStringList generated;
        for (int id : {1, 2})
            generated << DecipherPassword(text(QStringLiteral("select pwNew from Users where uID=%1").arg(id)));
        QCOMPARE(generated[0].size(), 14);

        const double before = DayNumber::Now();
        result = cli({"change-password", "--all"});
        EXPECT_EXIT(result, 0);
        const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        // Each change is checked at once by a login with the new password.
        const QString verified = QStringLiteral("Changed Successed. Verified: the new password is in use.");
        QVERIFY2(resultLine("vtst_cli1", OpenSshAddress, verified).match(lines[0]).hasMatch(), qPrintable(lines[0]));
        QVERIFY2(resultLine("vtst_cli2", OpenSshAddress, verified).match(lines[1]).hasMatch(), qPrintable(lines[1]));
        QCOMPARE(lines[2], QStringLiteral("Change Password  - Total: 2     Successed: 2     Failed: 0     "));

        // Stored state: the new password is now the current one, with the change's time and history.
        for (int id : {1, 2}) {
            const QString where = QStringLiteral(" from Users where uID=%1").arg(id);
            QCOMPARE(DecipherPassword(text(QStringLiteral("select pwNow") + where)), generated[id - 1]);
            QCOMPARE(text(QStringLiteral("select pwNew") + where), QString());
            const double changed = text(QStringLiteral("select pwLastTime") + where).toDouble();
            QVERIFY(changed >= before - 0.01 && changed <= DayNumber::Now() + 0.01);
            QVERIFY(text(QStringLiteral("select LastLog") + where)
                        .contains(QLatin1String("Operation Type: Change Password ")));
            const QString log = QStringLiteral(" from Logs where UserID=%1").arg(id);
            QCOMPARE(text(QStringLiteral("select DoAction") + log), QStringLiteral("Change Password "));
            QCOMPARE(text(QStringLiteral("select ActionDone") + log), QStringLiteral("True"));
            QCOMPARE(text(QStringLiteral("select AddressPort") + log), QStringLiteral("127.0.0.2:2222"));
            QCOMPARE(DecipherPassword(text(QStringLiteral("select pwBefore") + log)), Password);
            QCOMPARE(DecipherPassword(text(QStringLiteral("select pwAfter") + log)), generated[id - 1]);
        }

        // The new passwords log in.
        result = cli({"test-login", "--all"});
        EXPECT_EXIT(result, 0);
        QVERIFY(result.out.endsWith(QLatin1String("Test Login  - Total: 2     Successed: 2     Failed: 0     \n")));
        QCOMPARE(text("select count(*) from Logs"), QStringLiteral("4"));
    }

    void anyFailedUserMakesExitOne()
    {
        using namespace TestServers;
        importData("127.0.0.2,2222,,,,user,\r\n127.0.0.4,2222,,,,user,closed\r\n",
                   userRow(OpenSshAddress, "vtst_cli3", "not-the-password") +
                       userRow(OpenSshAddress, "vtst_cli4", Password) + userRow(ClosedAddress, "vtst_cli4", Password));
        // One host at a time: the lines come in list order, exactly as a batch has always printed them.
        const CliResult result = cli({"--parallel", "1", "test-login", "--all"});
        EXPECT_EXIT(result, 1);
        const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QVERIFY2(lines[0].contains(QLatin1String("]  Login failed. ")), qPrintable(lines[0]));
        QVERIFY2(resultLine("vtst_cli4", OpenSshAddress, "Login Successed. ").match(lines[1]).hasMatch(),
                 qPrintable(lines[1]));
        QVERIFY2(lines[2].startsWith(QLatin1String("vtst_cli4  127.0.0.4:2222  [")) &&
                     lines[2].contains(QLatin1String("]  Connected Failed. ")),
                 qPrintable(lines[2]));
        QCOMPARE(lines[3], QStringLiteral("Test Login  - Total: 3     Successed: 1     Failed: 2     "));
        QCOMPARE(text("select group_concat(ActionDone) from Logs"), QStringLiteral("False,True,False"));
    }

    void parallelOutOfRangeIsAUsageError()
    {
        for (const char* value : {"0", "33", "many"}) {
            const CliResult result = cli({"--parallel", value, "test-login", "--all"});
            EXPECT_EXIT(result, 2);
            QVERIFY2(result.err.contains(QLatin1String("--parallel takes a number of hosts from 1 to 32")),
                     qPrintable(result.err));
        }
    }

    void ctrlCStopsAfterTheUserInProgress()
    {
        using namespace TestServers;
        // The middle user's host accepts the connection and never answers, so the batch waits there.
        importData("127.0.0.2,2222,,,,user,\r\n127.0.0.5,2222,,,,user,silent\r\n",
                   userRow(OpenSshAddress, "vtst_cli3", Password) + userRow(SilentAddress, "vtst_cli1", Password) +
                       userRow(OpenSshAddress, "vtst_cli4", Password));
        QProcess process;
        m_install->start(process, {"--parallel", "1", "test-login", "--all"});
        QVERIFY(process.waitForStarted(10000));
        process.closeWriteChannel();
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!out.contains('\n') && clock.elapsed() < 30000 && process.state() == QProcess::Running) {
            process.waitForReadyRead(200);
            out += process.readAllStandardOutput();
        }
        QVERIFY2(out.contains("Login Successed. "), out.constData());
        QTest::qWait(700); // well inside the silent host's wait
        QCOMPARE(process.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(20000));
        out += process.readAllStandardOutput();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);

        const QStringList lines = QString::fromUtf8(out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[1].startsWith(QLatin1String("vtst_cli1  127.0.0.5:2222  [")) &&
                     lines[1].endsWith(QLatin1String("Cancelled by user. ")),
                 qPrintable(lines[1]));
        QCOMPARE(lines[2], QStringLiteral("Test Login  - Total: 3     Successed: 1     Failed: 2     "));
        // The stopped user is recorded like any failure; the user never reached has no history.
        QCOMPARE(text("select count(*) from Logs"), QStringLiteral("2"));
        QCOMPARE(text("select LastLog from Users where uID=3"), QString());
    }

    void progressLineOnlyOnATerminal()
    {
        using namespace TestServers;
        importData("127.0.0.2,2222,,,,user,\r\n", userRow(OpenSshAddress, "vtst_cli1", Password));
        m_install->writeFile(QStringLiteral("run.exp"),
                             QStringLiteral("set timeout 60\nspawn %1 test-login --all\nexpect eof\n")
                                 .arg(m_install->program())
                                 .toUtf8());
        QProcess expect;
        expect.setWorkingDirectory(m_install->dir());
        expect.start(QStringLiteral("expect"), {m_install->path("run.exp")});
        QVERIFY2(expect.waitForFinished(90000), "expect did not finish");
        const QByteArray screen = expect.readAll();
        QVERIFY2(screen.contains("\r\x1b[K[1/1] vtst_cli1 127.0.0.2:2222"), screen.constData());
        QVERIFY2(screen.contains("\r\x1b[Kvtst_cli1  127.0.0.2:2222  ["), screen.constData());

        const CliResult piped = cli({"test-login", "--all"});
        EXPECT_EXIT(piped, 0);
        QVERIFY(!piped.out.contains(QLatin1Char('\r')) && !piped.out.contains(QLatin1Char('\x1b')));
    }

    void saveFailureLeavesALogFileThatDecipherLogReads()
    {
        using namespace TestServers;
        importData("127.0.0.2,2222,,,,user,\r\n", userRow(OpenSshAddress, "vtst_cli2", Password));
        // Another program writes to the database for the whole run: the outcome cannot be saved.
        TDBSession other;
        QVERIFY(other.OpenDatabase(m_install->environment().databasePath(), true));
        other.Execute(QStringLiteral("BEGIN IMMEDIATE;"));
        CliResult result = cli({"test-login", "--all"});
        other.Execute(QStringLiteral("ROLLBACK;"));
        EXPECT_EXIT(result, 1);
        const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(
            resultLine("vtst_cli2", OpenSshAddress, "Save data error, logfile instead.").match(lines[0]).hasMatch(),
            qPrintable(lines[0]));
        // The login itself succeeded, so the totals count it, as the runner window does.
        QCOMPARE(lines[1], QStringLiteral("Test Login  - Total: 1     Successed: 1     Failed: 0     "));
        QVERIFY2(result.err.contains(QLatin1String("locked by another program")), qPrintable(result.err));
        QCOMPARE(text("select count(*) from Logs"), QStringLiteral("0"));

        const QStringList logs = QDir(m_install->path("Logs")).entryList({QStringLiteral("*_vtst_cli2.log")});
        QCOMPARE(logs.size(), 1);
        result = cli({"decipher-log", m_install->path("Logs/") + logs[0]});
        EXPECT_EXIT(result, 0);
        QCOMPARE(result.out, QStringLiteral("User ID: 1\nLogin: vtst_cli2\nCurrent password: ") + Password +
                                 QStringLiteral("\nNew password: \n"));
    }

    void changeKeptNowhereHandsTheEncipheredPasswordsOver()
    {
        using namespace TestServers;
        const QString fresh =
            QStringLiteral("Vt-Kept#") + QString::number(QDateTime::currentMSecsSinceEpoch() % 100000);
        importData("127.0.0.2,2222,,,,user,\r\n",
                   QStringLiteral("%1,2222,vtst_cli3,%2,%3,,,,\r\n").arg(OpenSshAddress, Password, fresh).toUtf8());
        // Neither the database nor the Logs folder takes the outcome of a password that did change
        // (the change itself was recorded before it went out: only the outcome is refused).
        m_install->writeFile(QStringLiteral("Logs"), "not a folder");
        TDBSession other;
        QVERIFY(other.OpenDatabase(m_install->environment().databasePath(), true));
        other.Execute(QStringLiteral("create trigger refuse before update of LastLog on Users "
                                     "begin select raise(abort, 'read-only'); end;"));
        const CliResult result = cli({"change-password", "--all"});
        EXPECT_EXIT(result, 1);
        QVERIFY2(result.out.contains(QLatin1String("Save data error, logfile failed too.")), qPrintable(result.out));
        QVERIFY2(result.err.contains(QLatin1String("in neither the database nor a log file")), qPrintable(result.err));

        // The last line of the diagnostics is the one place the new password is kept.
        const QStringList errLines = result.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        m_install->writeFile(QStringLiteral("kept.txt"), errLines.last().toUtf8() + '\n');
        const CliResult deciphered = cli({"decipher-log", m_install->path("kept.txt")});
        EXPECT_EXIT(deciphered, 0);
        QCOMPARE(deciphered.out, QStringLiteral("User ID: 1\nLogin: vtst_cli3\nCurrent password: ") + fresh +
                                     QStringLiteral("\nNew password: \n"));
        QVERIFY(!result.err.contains(fresh) && !result.out.contains(fresh));
    }

    void sendMailUsesTheMailSettings()
    {
        using namespace TestServers;
        importData("127.0.0.2,2222,,,,user,\r\n", userRow(OpenSshAddress, "vtst_cli1", Password, "owner@example.org") +
                                                      userRow(OpenSshAddress, "vtst_cli2", Password));
        NoticeMailSettings settings = NoticeMailSettings::Read(IniFile(m_install->path("Options.ini")));
        settings.server = MailTestServer::Address;
        settings.port = MailTestServer::Port;
        settings.account = MailTestServer::Account;
        settings.password = EncipherPassword(MailTestServer::Password);
        // The shared port offers no STARTTLS, so clear text has to be asked for by hand.
        settings.security = QStringLiteral("none");
        settings.Write(IniFile(m_install->path("Options.ini")));

        const CliResult result = cli({"send-mail", "--all"});
        EXPECT_EXIT(result, 1);
        const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        // The test server stores a message only after the login and the whole exchange went through.
        QVERIFY2(resultLine("vtst_cli1", OpenSshAddress, "Send Successed. ").match(lines[0]).hasMatch(),
                 qPrintable(lines[0]));
        QVERIFY2(resultLine("vtst_cli2", OpenSshAddress, "Send Failed. E-mail is empty.").match(lines[1]).hasMatch(),
                 qPrintable(lines[1]));
        QCOMPARE(lines[2], QStringLiteral("Send Notice Mail  - Total: 2     Successed: 1     Failed: 1     "));
    }
};

QTEST_GUILESS_MAIN(TestCliBatch)
#include "tst_clibatch.moc"
