// WaitForText and SendLine on scripted passwd dialogs: case folding, split and long output, the
// error stream, every way a wait fails, cancel, and the processor time of a full wait.
#include "tests/engine/EngineFixture.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

using namespace TestServers;

namespace {

// Logs in to a scripted dialog and leaves its command running.
bool startDialog(EngineFixture& f, const QString& address, const QString& account)
{
    TActionStaus status;
    f.login(EngineFixture::User(address, account, Password), QStringLiteral("passwd"), status);
    f.run.ClearTranscript();
    return status.Code == acLoginSucceeded;
}

// The message of the failed wait, or "matched".
QString waitOutcome(EngineFixture& f, const QString& expected)
{
    try {
        return f.engine.WaitForText(expected) ? QStringLiteral("matched") : QStringLiteral("false");
    } catch (const RemoteError& error) {
        return error.message();
    }
}

} // namespace

class TestWaitForText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { REQUIRE_TEST_SERVERS(); }

    void matchesCaseOfAToZOnly_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("entry");
        const QString debianPrompt = QStringLiteral("current password: ");
        QTest::newRow("lower") << DialogDebian << "current password:"
                               << "matched" << debianPrompt;
        QTest::newRow("upper") << DialogDebian << "CURRENT PASSWORD:"
                               << "matched" << debianPrompt;
        QTest::newRow("mixed") << DialogDebian << "cUrReNt PaSsWoRd: "
                               << "matched" << debianPrompt;
        QTest::newRow("capitals on the host side")
            << DialogAix << "OLD PASSWORD:"
            << "matched" << QStringLiteral("changing password for \"%1\"\r\n%1's old password: ").arg(DialogAix);
        QTest::newRow("other bytes exact") << DialogDebian << "current password;"
                                           << "Receive data timeout." << debianPrompt;
        QTest::newRow("non-ASCII not folded")
            << DialogDebian << QStringLiteral("CURRENT PASSWORD\u00c4") << "Receive data timeout." << debianPrompt;
        QTest::newRow("empty never matches") << DialogDebian << ""
                                             << "Receive data timeout." << debianPrompt;
        QTest::newRow("split prompt") << DialogSplit << "current password:"
                                      << "matched" << debianPrompt;
    }
    void matchesCaseOfAToZOnly()
    {
        QFETCH(QString, account);
        QFETCH(QString, expected);
        QFETCH(QString, outcome);
        QFETCH(QString, entry);
        EngineFixture f;
        QVERIFY(startDialog(f, DialogAddress, account));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(waitOutcome(f, expected), outcome);
        if (outcome == QLatin1String("Receive data timeout.")) {
            // The limit counts from the start of the wait; equal is still in time.
            QVERIFY2(clock.elapsed() > 5000 && clock.elapsed() < 6000, qPrintable(QString::number(clock.elapsed())));
        }
        QCOMPARE(f.run.Transcript, QStringList{entry});
    }

    void outputLongerThanOneRead()
    {
        EngineFixture f;
        QVERIFY(startDialog(f, DialogAddress, DialogLong));
        QVERIFY(f.engine.WaitForText(QStringLiteral("Current Password:")));
        QCOMPARE(f.run.Transcript.size(), 1);
        const QString entry = f.run.Transcript[0];
        QVERIFY2(entry.size() > 3 * 1024 / 2, qPrintable(QString::number(entry.size())));
        QCOMPARE(entry.count(QStringLiteral("this host enforces the password policy")), 20);
        QVERIFY(entry.endsWith(QStringLiteral("current password: ")));
    }

    void outputBufferedBeforeTheWaitBelongsToIt()
    {
        EngineFixture f;
        QVERIFY(startDialog(f, DialogAddress, DialogDebian));
        QTRY_VERIFY_WITH_TIMEOUT(f.engine.Shell().PollOutput(), 10000); // the prompt arrives while nobody waits
        QElapsedTimer clock;
        clock.start();
        QVERIFY(f.engine.WaitForText(QStringLiteral("password:")));
        QVERIFY(clock.elapsed() < 500);
        QCOMPARE(f.run.Transcript, QStringList{QStringLiteral("current password: ")});
    }

    void textAfterTheMatchInTheSameReadIsDropped()
    {
        EngineFixture f;
        QVERIFY(startDialog(f, DialogAddress, DialogDebian));
        QVERIFY(f.engine.WaitForText(QStringLiteral("current")));
        QCOMPARE(waitOutcome(f, QStringLiteral("password:")), QStringLiteral("Receive data timeout."));
        QCOMPARE(f.run.Transcript, (QStringList{QStringLiteral("current password: "), QString()}));
    }

    void errorStreamIsNeitherMatchedNorRecorded()
    {
        EngineFixture f;
        QVERIFY(startDialog(f, StreamsAddress, StreamsStderr));
        QCOMPARE(waitOutcome(f, QStringLiteral("password:")), QStringLiteral("Receive data timeout."));
        QCOMPARE(f.run.Transcript, QStringList{QString()});
    }

    void hostEndingAfterErrorStreamOutputIsClosedAtOnce()
    {
        EngineFixture f;
        QVERIFY(startDialog(f, StreamsAddress, StreamsErrorExit));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(waitOutcome(f, QStringLiteral("password:")), QStringLiteral("Connection is closed."));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(f.run.Transcript, QStringList{QString()});
    }

    void sendLineSendsTheTextAndOneCR()
    {
        EngineFixture f;
        QVERIFY(startDialog(f, StreamsAddress, StreamsMixed));
        QVERIFY(f.engine.WaitForText(QStringLiteral("OUT-2")));
        QCOMPARE(f.run.Transcript, QStringList{QStringLiteral("out-1\r\nout-2\r\n")});
        f.engine.SendLine(SecretBuffer(QByteArray("p\xc3\xa4ss word'\"")));
        QVERIFY(f.engine.WaitForText(QStringLiteral("\r\n")));
        QCOMPARE(f.run.Transcript.last(), QStringLiteral("got 70c3a4737320776f726427220d\r\n"));
    }

    void hostEndsTheCommand_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("failure"); // the transcript keeps all the host printed
        QTest::addColumn<QString>("reason");  // the failure is said on one line
        QTest::newRow("after printing an error") << DialogReject << "\r\nbad password: too short\r\n"
                                                 << "bad password: too short";
        // The dialog echoes the line end of the answer, then ends without a word.
        QTest::newRow("without a message") << DialogSilent << "\r\n"
                                           << "Connection is closed.";
    }
    void hostEndsTheCommand()
    {
        QFETCH(QString, account);
        QFETCH(QString, failure);
        QFETCH(QString, reason);
        EngineFixture f;
        QVERIFY(startDialog(f, DialogAddress, account));
        QVERIFY(f.engine.WaitForText(QStringLiteral("password:")));
        f.engine.SendLine(SecretBuffer(QStringLiteral("old")));
        if (account == DialogReject) {
            QVERIFY(f.engine.WaitForText(QStringLiteral("password:")));
            f.engine.SendLine(SecretBuffer(QStringLiteral("new")));
        }
        QCOMPARE(waitOutcome(f, QStringLiteral("retype new password:")), reason);
        QCOMPARE(f.run.Transcript.last(), failure);

        // Nothing more can come: the next wait fails at once, and so does sending.
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(waitOutcome(f, QStringLiteral("password:")), QStringLiteral("Connection is closed."));
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(f.run.Transcript.last(), QString());
        try {
            f.engine.SendLine(SecretBuffer(QStringLiteral("late")));
            QFAIL("sending on an ended session must fail");
        } catch (const RemoteError& error) {
            QVERIFY(!error.message().isEmpty());
        }
    }

    void hostDropsTheConnection()
    {
        EngineFixture f;
        QVERIFY(startDialog(f, StreamsAddress, StreamsDrop));
        // The host's last words are the message, not the transport's complaint about the socket.
        const QString last = QStringLiteral("passwd: authentication token manipulation error");
        QCOMPARE(waitOutcome(f, QStringLiteral("password:")), last);
        QCOMPARE(f.run.Transcript.last(), last + QStringLiteral("\r\n"));
        QCOMPARE(waitOutcome(f, QStringLiteral("password:")), QStringLiteral("Connection is closed."));
    }

    void waitWithoutSession()
    {
        EngineFixture f;
        QCOMPARE(waitOutcome(f, QStringLiteral(":")), QStringLiteral("Connection is closed."));
        QCOMPARE(f.run.Transcript, QStringList{QString()});
    }

    void stopDuringTheWait()
    {
        EngineFixture f;
        QVERIFY(startDialog(f, DialogAddress, DialogLate));
        f.cancelAfter(1000);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(waitOutcome(f, QStringLiteral("password:")), QStringLiteral("Cancelled by user. "));
        QVERIFY2(clock.elapsed() >= 1000 && clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(f.run.Transcript, QStringList{QString()});
    }

    void fullWaitBlocksOnTheSocketWithoutTouchingTheWindows()
    {
        EngineFixture f;
        QVERIFY(startDialog(f, DialogAddress, DialogLate));
        const int pumpsBefore = f.ui.pumps;
        const double cpuBefore = ProcessCpuMs();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(waitOutcome(f, QStringLiteral("password:")), QStringLiteral("Receive data timeout."));
        const double share = (ProcessCpuMs() - cpuBefore) / double(clock.elapsed());
        qInfo("processor time during a %lld ms wait: %.2f %% of a core", clock.elapsed(), share * 100);
        // A wait that polls would cost a few percent; one that sleeps on the socket next to nothing.
        QVERIFY2(share < 0.01, qPrintable(QString::number(share * 100)));
        // The engine runs on a worker: it must never pump the main thread's events.
        QCOMPARE(f.ui.pumps, pumpsBefore);
    }
};

QTEST_GUILESS_MAIN(TestWaitForText)
#include "tst_waitfortext.moc"
