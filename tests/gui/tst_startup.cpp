// The real program at start-up: a second instance ends at once and silently while the first keeps
// running, and a killed program keeps no column widths (they are written only when the window goes).

#include "core/DatabaseCreator.h"
#include "tests/support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString GuardFile = QStringLiteral("Tarnwell Inc. No.2.lock");

// Whether some process holds the single-instance guard in dir.
bool GuardHeld(const QString& dir)
{
    const QByteArray path = QFile::encodeName(dir + QLatin1Char('/') + GuardFile);
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void secondInstanceEndsSilently();
};

void TestStartup::secondInstanceEndsSilently()
{
    // An installation of our own: the program and its database side by side, and a runtime folder
    // for the guard that no other test or desktop session shares.
    QTemporaryDir install;
    QTemporaryDir runtime;
    const QString program = install.filePath(QStringLiteral("veltrane"));
    QVERIFY(QFile::copy(BuiltProgram(QStringLiteral("veltrane")), program));
    CreateDatabase(install.filePath(QStringLiteral("veltrane.db")));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess first;
    first.setProcessEnvironment(environment);
    first.start(program, {});
    QVERIFY(first.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(GuardHeld(runtime.path()), 10000);
    QTest::qWait(500); // past the guard: the first one builds its window now

    QProcess second;
    second.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    second.start(program, {});
    QVERIFY(second.waitForFinished(10000));
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(second.readAllStandardOutput(), QByteArray());
    QCOMPARE(second.readAllStandardError(), QByteArray());
    QCOMPARE(first.state(), QProcess::Running);

    // Killed, the program never destroys its window: no column widths are kept.
    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QFile options(install.filePath(QStringLiteral("Options.ini")));
    QVERIFY(!options.exists() || !options.open(QIODevice::ReadOnly) || !options.readAll().contains("frmMain-lvUsers"));
    QVERIFY(!GuardHeld(runtime.path()));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
