#include "transport/SshTransport.h"

#include "tests/support/TestServers.h"
#include "transport/CancelSignal.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

using namespace TestServers;

namespace {

const QString kAccount = QStringLiteral("vtst_tr1");
const QString kHostKeyAccount = QStringLiteral("vtst_tr3"); // only the changed-key test uses it
const QString kDialogAccount = QStringLiteral("vtdlg_debian4");

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The "type base64" part of a public key file.
QByteArray KeyOf(const QString& publicKeyPath)
{
    const QList<QByteArray> fields = ReadFile(publicKeyPath).trimmed().split(' ');
    return fields.size() >= 2 ? fields[0] + ' ' + fields[1] : QByteArray();
}

/// What a reader of the transport collected.
struct Collected
{
    QByteArray channel;
    QByteArray extended;
    int nonEmptyReads = 0;
    int largestRead = 0;
};

} // namespace

class tst_SshTransport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_knownHostsCount = 0;

    /// A fresh known_hosts path per open, so host-key state never leaks between tests.
    QString freshKnownHosts() { return m_dir.filePath(QStringLiteral("kh%1/known_hosts").arg(++m_knownHostsCount)); }

    SshOpenParams params(const QString& address, const QString& account, const QString& command,
                         const QString& password = Password)
    {
        SshOpenParams p;
        p.address = address;
        p.port = Port;
        p.username = account;
        p.password = SecretBuffer(password);
        p.command = command;
        p.knownHostsPath = freshKnownHosts();
        return p;
    }

    /// Reads with the given chunk size until `until` has arrived (or, when empty, until the
    /// session has ended and everything is taken), or until limitMs passes.
    static Collected read(SshTransport& transport, const QByteArray& until, int chunk = 1024, int limitMs = 8000)
    {
        Collected got;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < limitMs) {
            if (!until.isEmpty() && got.channel.contains(until))
                break;
            const bool active = transport.SessionActive();
            if (!transport.PollOutput() && !active) {
                // A last read picks up error-stream bytes that PollOutput does not announce.
                QByteArray channel, extended;
                transport.ReadOutput(chunk, channel, extended);
                got.extended += extended;
                if (channel.isEmpty())
                    break;
                got.channel += channel;
                continue;
            }
            QByteArray channel, extended;
            transport.ReadOutput(chunk, channel, extended);
            got.largestRead = std::max<int>({got.largestRead, int(channel.size()), int(extended.size())});
            if (!channel.isEmpty())
                ++got.nonEmptyReads;
            got.channel += channel;
            got.extended += extended;
            if (channel.isEmpty() && extended.isEmpty())
                QThread::msleep(10);
        }
        return got;
    }

private slots:
    void initTestCase()
    {
        const QString problem = ServerProblem();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QVERIFY(ResetPassword(kAccount, Password));
        QVERIFY(ResetPassword(kHostKeyAccount, Password));
    }

    void opensAndRunsTheCommand()
    {
        SshTransport transport;
        transport.OpenSession(params(OpenSshAddress, kAccount, QStringLiteral("echo 2009")));
        QVERIFY(transport.CanConnectSocket());
        const Collected got = read(transport, QByteArray());
        QCOMPARE(got.channel, QByteArray("2009\r\n")); // the terminal turns LF into CR LF
        QVERIFY(!transport.SessionActive());
        transport.CloseSession();
        transport.CloseSession(); // harmless twice
        QVERIFY(!transport.SessionActive());
        QVERIFY(!transport.PollOutput());
    }

    void sessionStaysActiveUntilTheLastOutputIsTaken()
    {
        SshTransport transport;
        transport.OpenSession(params(OpenSshAddress, kAccount, QStringLiteral("printf 'last words'")));
        // The command ends at once; its output must not be lost with the session.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 1000) {
            transport.PollOutput();
            QVERIFY(transport.SessionActive());
            QThread::msleep(20);
        }
        QVERIFY(transport.PollOutput());
        QCOMPARE(read(transport, QByteArray()).channel, QByteArray("last words"));
        QVERIFY(!transport.SessionActive());
        QVERIFY(!transport.PollOutput());
    }

    void failedOpens_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("tcpConnected");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("cause");
        const int refused = int(SshError::Kind::Refused);
        const int failed = int(SshError::Kind::Failed);
        const QString wrong = QStringLiteral("The host refused the password.");

        QTest::newRow("wrong password") << OpenSshAddress << kAccount << "not-the-password" << true << 0 << 12000
                                        << refused << wrong;
        QTest::newRow("unknown account") << OpenSshAddress << "vtst_nobody" << Password << true << 0 << 12000 << refused
                                         << wrong;
        QTest::newRow("empty password") << OpenSshAddress << kAccount << "" << true << 0 << 12000 << refused << wrong;
        QTest::newRow("closed port") << ClosedAddress << kAccount << Password << false << 0 << 1000 << failed
                                     << "The host refused the connection: nothing listens on that port.";
        QTest::newRow("connect unanswered") << UnansweredAddress << kAccount << Password << false << 4900 << 6000
                                            << failed << "No TCP connection to 127.0.0.7:2222 within 5000 ms";
        QTest::newRow("server never speaks") << SilentAddress << kAccount << Password << true << 14500 << 17000
                                             << int(SshError::Kind::Silent) << "No SSH greeting from 127.0.0.5:2222";
        // Every line restarts the idle limit; the greeting limit still ends it 15 s after the connect.
        QTest::newRow("lines without end, no greeting")
            << FloodAddress << kAccount << Password << true << 14500 << 17000 << int(SshError::Kind::Silent)
            << "No SSH greeting from 127.0.0.17:2222 within 15 s: the host sent ";
        // The host counts the keyboard-interactive answer as its one try and hangs up before the password
        // method: still a refused password, said as what happened.
        QTest::newRow("one try only") << OneTryAddress << OneTry(1) << "not-the-password" << true << 0 << 12000
                                      << refused << "The host closed the login after too many authentication attempts.";
        QTest::newRow("SHA-1 host, not allowed") << Sha1Address << Sha1(1) << Password << true << 0 << 5000 << failed
                                                 << "The host offers only SHA-1 algorithms (";
    }

    void failedOpens()
    {
        QFETCH(QString, address);
        QFETCH(QString, account);
        QFETCH(QString, password);
        QFETCH(bool, tcpConnected);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        QFETCH(int, kind);
        QFETCH(QString, cause);

        SshTransport transport;
        QElapsedTimer clock;
        clock.start();
        try {
            transport.OpenSession(params(address, account, QStringLiteral("echo 2009"), password));
            QFAIL("the open succeeded");
        } catch (const SshError& error) {
            // Only a refused password may be taken as "this password is wrong".
            QVERIFY2(error.message().startsWith(cause), qPrintable(error.message()));
            QCOMPARE(int(error.kind()), kind);
            QVERIFY2(!error.message().contains(QStringLiteral("501")), qPrintable(error.message()));
        }
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
        QCOMPARE(transport.CanConnectSocket(), tcpConnected);
        QVERIFY(!transport.SessionActive());
        QVERIFY_THROWS_EXCEPTION(SshError, transport.WriteInput("x\r"));
    }

    void cancelFromAnotherThread_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("cancelAfterMs");
        QTest::addColumn<bool>("tcpConnected");

        // On loopback the TCP connection is up before the first wait step.
        QTest::newRow("first wait step") << OpenSshAddress << Password << 0 << true;
        QTest::newRow("while TCP connects") << UnansweredAddress << Password << 300 << false;
        QTest::newRow("waiting for the greeting") << SilentAddress << Password << 600 << true;
        // PAM takes about two seconds to refuse a wrong password.
        QTest::newRow("during authentication") << OpenSshAddress << "not-the-password" << 700 << true;
    }

    void cancelFromAnotherThread()
    {
        QFETCH(QString, address);
        QFETCH(QString, password);
        QFETCH(int, cancelAfterMs);
        QFETCH(bool, tcpConnected);

        SshTransport transport;
        auto cancel = std::make_shared<CancelSignal>();
        transport.setCancelSignal(cancel);
        QElapsedTimer clock;
        clock.start();
        std::atomic<qint64> cancelledAt{-1};
        // The open blocks on its socket; the signal must wake it, not a timer of this thread.
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(cancelAfterMs));
            cancelledAt = clock.elapsed();
            cancel->raise();
        });
        const auto joined = qScopeGuard([&] { canceller.join(); });
        try {
            transport.OpenSession(params(address, kAccount, QStringLiteral("echo 2009"), password));
            QFAIL("the open succeeded");
        } catch (const SshError& error) {
            QCOMPARE(error.kind(), SshError::Kind::Cancelled);
            QVERIFY2(error.message().contains(QStringLiteral("501")), qPrintable(error.message()));
        }
        QVERIFY(cancelledAt >= 0);
        QVERIFY2(clock.elapsed() - cancelledAt < 100, "the open went on after the cancel");
        QCOMPARE(transport.CanConnectSocket(), tcpConnected);
        QVERIFY(!transport.SessionActive());
    }

    void commandsShareOneConnectionOfTheSameAccount()
    {
        SshTransport transport;
        SshOpenParams p = params(OpenSshAddress, kAccount, QStringLiteral("echo first"));
        p.reuseConnection = true;
        transport.OpenSession(p);
        QVERIFY(!transport.ReusedConnection());
        QCOMPARE(read(transport, QByteArray()).channel, QByteArray("first\r\n"));
        transport.CloseChannel();

        p.command = QStringLiteral("echo second; exit 3");
        transport.OpenSession(p);
        QVERIFY(transport.ReusedConnection());
        QCOMPARE(read(transport, QByteArray()).channel, QByteArray("second\r\n"));
        // The status may follow the end of the output by a packet.
        QTRY_COMPARE_WITH_TIMEOUT((transport.WaitOutput(20), transport.ExitStatus()), 3, 3000);

        // Another password is another login, even for the same account.
        p.password = SecretBuffer(QStringLiteral("not-the-password"));
        QVERIFY_THROWS_EXCEPTION(SshError, transport.OpenSession(p));
        QVERIFY(!transport.ReusedConnection());
    }

    void waitForOutputEndsAtTheCancelSignal()
    {
        SshTransport transport;
        auto cancel = std::make_shared<CancelSignal>();
        transport.setCancelSignal(cancel);
        transport.OpenSession(params(OpenSshAddress, kAccount, QStringLiteral("sleep 20")));
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            cancel->raise();
        });
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!transport.WaitOutput(10000));
        canceller.join();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    }

    void firstConnectionRecordsTheHostKey()
    {
        SshOpenParams p = params(OpenSshAddress, kAccount, QStringLiteral("true"));
        QVERIFY(!QFile::exists(p.knownHostsPath)); // its folder does not exist either
        SshTransport transport;
        transport.OpenSession(p);
        transport.CloseSession();

        const QByteArray recorded = ReadFile(p.knownHostsPath);
        QCOMPARE(recorded.trimmed(), "[127.0.0.2]:2222 " + KeyOf(OpenSshHostKey));

        transport.OpenSession(p); // the same key again is accepted and not recorded twice
        QVERIFY(transport.CanConnectSocket());
        transport.CloseSession();
        QCOMPARE(ReadFile(p.knownHostsPath), recorded);

        // A second host on the same file gets its own line.
        p.address = DialogAddress;
        p.username = kDialogAccount;
        transport.OpenSession(p);
        transport.CloseSession();
        const QList<QByteArray> lines = ReadFile(p.knownHostsPath).trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1], "[127.0.0.3]:2222 " + KeyOf(DialogHostKey));
    }

    void changedHostKeyFailsBeforeAuthentication_data()
    {
        QTest::addColumn<QByteArray>("recordedKey");
        // Same key type, other key: changed. Only another key type recorded: libssh calls it "other".
        QTest::newRow("different key") << KeyOf(DialogHostKey);
        QTest::newRow("other key type") << QByteArray(
            "ecdsa-sha2-nistp256 "
            "AAAAE2VjZHNhLXNoYTItbmlzdHAyNTYAAAAIbmlzdHAyNTYAAABBBFjKhQHMN15a6XUod1paS+8QypI5uacs4T/"
            "zRLhi83U/4OQVjEWZ9cxTfPn6FCaAFeY8RL3NumUhrmfxQJqIzwA=");
    }

    void changedHostKeyFailsBeforeAuthentication()
    {
        QFETCH(QByteArray, recordedKey);
        SshOpenParams p = params(OpenSshAddress, kHostKeyAccount, QStringLiteral("echo 2009"));
        QVERIFY(QDir().mkpath(QFileInfo(p.knownHostsPath).absolutePath()));
        const QByteArray content =
            "# kept by hand\n[127.0.0.3]:2222 " + KeyOf(DialogHostKey) + "\n[127.0.0.2]:2222 " + recordedKey + "\n";
        QFile file(p.knownHostsPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        const qint64 logSizeBefore = QFileInfo(OpenSshLog).size();

        SshTransport transport;
        try {
            transport.OpenSession(p);
            QFAIL("the open succeeded");
        } catch (const SshError& error) {
            QCOMPARE(error.kind(), SshError::Kind::HostKeyChanged);
            QVERIFY2(error.message().contains(QStringLiteral("127.0.0.2:2222")), qPrintable(error.message()));
            QVERIFY2(error.message().contains(QStringLiteral("line 3 of ") + p.knownHostsPath),
                     qPrintable(error.message()));
        }
        QVERIFY(transport.CanConnectSocket());
        QVERIFY(!transport.SessionActive());
        QCOMPARE(ReadFile(p.knownHostsPath), content); // the old key stays until the user removes it

        // The server names an account once the client tries to log in with it.
        QThread::msleep(300);
        QFile log(OpenSshLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        log.seek(logSizeBefore);
        const QByteArray newLog = log.readAll();
        QVERIFY2(!newLog.contains(kHostKeyAccount.toLatin1()), newLog.constData());
    }

    void promptSplitOverTwoWritesIsReadInParts()
    {
        SshTransport transport;
        transport.OpenSession(params(DialogAddress, QStringLiteral("vtdlg_split"), QStringLiteral("passwd")));
        const Collected got = read(transport, "Current password: ");
        QCOMPARE(got.channel, QByteArray("Current password: "));
        QVERIFY2(got.nonEmptyReads >= 2, "both parts came in one read");
    }

    void readsAtMostTheAskedBytesPerStream()
    {
        SshTransport transport;
        transport.OpenSession(params(DialogAddress, QStringLiteral("vtdlg_long"), QStringLiteral("passwd")));
        const Collected got = read(transport, "Current password: ", 100);
        QVERIFY(got.channel.endsWith("Current password: "));
        QVERIFY(got.channel.size() > 1024);
        QCOMPARE(got.largestRead, 100);
    }

    void errorStreamIsKeptApart()
    {
        SshTransport transport;
        transport.OpenSession(params(StreamsAddress, StreamsMixed, QStringLiteral("anything")));
        Collected got = read(transport, "out-2\r\n");
        transport.WriteInput("ab\r");
        const Collected rest = read(transport, QByteArray());
        got.channel += rest.channel;
        got.extended += rest.extended;
        QCOMPARE(got.channel, QByteArray("out-1\r\nout-2\r\ngot 61620d\r\n"));
        QCOMPARE(got.extended, QByteArray("err-1\r\n"));
    }

    void outputOnlyOnTheErrorStreamIsNotAnnounced()
    {
        SshTransport transport;
        transport.OpenSession(params(StreamsAddress, StreamsStderr, QStringLiteral("passwd")));
        QElapsedTimer clock;
        clock.start();
        QByteArray extended;
        while (!extended.contains("Current password: ") && clock.elapsed() < 5000) {
            QVERIFY(!transport.PollOutput());
            QByteArray channel, more;
            transport.ReadOutput(1024, channel, more);
            QVERIFY(channel.isEmpty());
            extended += more;
            QThread::msleep(10);
        }
        QCOMPARE(extended, QByteArray("Current password: "));
    }

    void writesAnswersToADialog()
    {
        QVERIFY(ClearDialogAnswers(kDialogAccount));
        SshTransport transport;
        transport.OpenSession(params(DialogAddress, kDialogAccount, QStringLiteral("passwd")));
        const QList<QPair<QByteArray, QByteArray>> steps = {{"Current password: ", "Old-pw 1\r"},
                                                            {"New password: ", "N\xc3\xa9w-pw\"2\r"},
                                                            {"Retype new password: ", "N\xc3\xa9w-pw\"2\r"}};
        for (const auto& [prompt, answer] : steps) {
            QVERIFY2(read(transport, prompt).channel.contains(prompt), prompt.constData());
            transport.WriteInput(answer);
        }
        QVERIFY(read(transport, QByteArray()).channel.contains("password updated successfully"));
        QVERIFY(!transport.SessionActive());
        QVERIFY_THROWS_EXCEPTION(SshError, transport.WriteInput("late\r")); // the command has ended

        const QList<DialogAnswer> answers = DialogAnswers(kDialogAccount);
        QCOMPARE(answers.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(answers[i].bytes, steps[i].second); // echo off, nothing added, one CR
    }

    void writingWithoutASessionFails()
    {
        SshTransport transport;
        QVERIFY_THROWS_EXCEPTION(SshError, transport.WriteInput("x\r"));
        transport.OpenSession(params(OpenSshAddress, kAccount, QStringLiteral("cat")));
        transport.WriteInput("still here\r");
        transport.CloseSession();
        QVERIFY_THROWS_EXCEPTION(SshError, transport.WriteInput("x\r"));
    }

    void missingKnownHostsPathIsRefused()
    {
        SshOpenParams p = params(OpenSshAddress, kAccount, QStringLiteral("true"));
        p.knownHostsPath.clear();
        SshTransport transport;
        QVERIFY_THROWS_EXCEPTION(SshError, transport.OpenSession(p));
        QVERIFY(!transport.CanConnectSocket());
    }
};

QTEST_GUILESS_MAIN(tst_SshTransport)
#include "tst_SshTransport.moc"
