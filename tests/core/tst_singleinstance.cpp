#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime;

    QProcess* start()
    {
        auto* process = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        process->setProcessEnvironment(env);
        process->start(qEnvironmentVariable("INSTANCE_HOLDER"), QStringList());
        return process;
    }

private slots:
    void secondProcessEndsAtOnceAndTheFirstKeepsRunning()
    {
        QProcess* first = start();
        QVERIFY(first->waitForReadyRead(5000));
        QCOMPARE(first->readLine().trimmed(), QByteArray("acquired"));

        QProcess* second = start();
        QVERIFY(second->waitForFinished(2000));
        QCOMPARE(second->exitCode(), 3);
        QCOMPARE(second->readAllStandardOutput().trimmed(), QByteArray("refused"));
        QCOMPARE(first->state(), QProcess::Running);

        // The system drops the guard when the holder ends, even when it is killed.
        first->kill();
        QVERIFY(first->waitForFinished(2000));
        QProcess* third = start();
        QVERIFY(third->waitForReadyRead(5000));
        QCOMPARE(third->readLine().trimmed(), QByteArray("acquired"));
        third->closeWriteChannel();
        QVERIFY(third->waitForFinished(2000));
        QCOMPARE(third->exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
