// The traces an operation leaves without any host involved: the Logs row, the history block, the
// fallback log file and its name, and the "Recorded Time: " stamp.
#include "batch/FallbackLogFile.h"
#include "batch/History.h"
#include "batch/TBatchRunner.h"
#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

TUser sampleUser()
{
    TUser user;
    user.uID = 7;
    user.HostIP = QStringLiteral("10.0.0.5");
    user.HostPort = 2222;
    user.LoginName = QStringLiteral("oracle");
    user.pwNow = EncipherPasswordWithStart(QStringLiteral("old-one"), 17);
    user.pwNew = EncipherPasswordWithStart(QStringLiteral("new-one"), 42);
    user.LastLog = QStringLiteral("Recorded Time: Jan 1, 2009  12:00 PM.\r\nLogin Successed. \r\n");
    return user;
}

QString stars()
{
    return QString(69, QLatin1Char('*'));
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

private slots:
    void historyText_data()
    {
        QTest::addColumn<QString>("lastLog");
        QTest::addColumn<QString>("expected");
        const QString frame = stars() + QStringLiteral("\r 10.0.0.5:2222 - oracle\r") + stars() + QStringLiteral("\r");
        QTest::newRow("no last message") << QString() << QString();
        QTest::newRow("one line") << "Login Successed. \r\n" << frame + "Login Successed. \r\n\r\r";
        QTest::newRow("lines kept as they are") << "a\r\nb's \"c\"\r\n" << frame + "a\r\nb's \"c\"\r\n\r\r";
    }
    void historyText()
    {
        QFETCH(QString, lastLog);
        QFETCH(QString, expected);
        TUser user = sampleUser();
        user.LastLog = lastLog;
        QCOMPARE(UserHistoryText(user), expected);
        QVERIFY(!UserHistoryText(user).contains(QStringLiteral("\n\r\r\n")));
    }

    void logRowsNumberThemselvesAndKeepEveryValue()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        TUser user = sampleUser();
        user.LoginName = QStringLiteral("o'brien");
        user.LastLog = QStringLiteral("it's 'quoted'\r\n");
        const double noon = DayNumber::FromDateTime(QDateTime(QDate(2009, 1, 1), QTime(12, 0)));
        QVERIFY(AddLogRecord(dm, QStringLiteral("Test Login "), QStringLiteral("True"), user, noon));
        user.uID = 3;
        user.pwNew.clear();
        QVERIFY(AddLogRecord(dm, QStringLiteral("Change Password "), QStringLiteral("False"), user, noon + 0.25));

        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select logID, UserID, AddressPort, LoginName, DoAction, ActionTime, "
                                          "pwBefore, pwAfter, ActionDone, ActionLog, typeof(ActionTime) from Logs "
                                          "order by logID");
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->Fields(0).AsInteger(), 1);
        QCOMPARE(query->Fields(1).AsInteger(), 7);
        QCOMPARE(query->Fields(2).AsString(), QStringLiteral("10.0.0.5:2222"));
        QCOMPARE(query->Fields(3).AsString(), QStringLiteral("o'brien"));
        QCOMPARE(query->Fields(4).AsString(), QStringLiteral("Test Login "));
        QCOMPARE(query->Fields(5).AsFloat(), 39814.50);
        QCOMPARE(query->Fields(6).AsString(), sampleUser().pwNow);
        QCOMPARE(query->Fields(7).AsString(), sampleUser().pwNew);
        QCOMPARE(query->Fields(8).AsString(), QStringLiteral("True"));
        QCOMPARE(query->Fields(9).AsString(), QStringLiteral("it's 'quoted'\r\n"));
        QCOMPARE(query->Fields(10).AsString(), QStringLiteral("real"));
        query->Next();
        QCOMPARE(query->Fields(0).AsInteger(), 2);
        QCOMPARE(query->Fields(1).AsInteger(), 3);
        QCOMPARE(query->Fields(5).AsFloat(), 39814.75);
        QCOMPARE(query->Fields(7).AsString(), QString());
        QCOMPARE(query->Fields(8).AsString(), QStringLiteral("False"));
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
    }

    void actionTimeIsRoundedToTwoDecimals()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        // 12:07 is 0.5049 of a day: stored as .50, like every time value written into SQL text.
        const double time = DayNumber::FromDateTime(QDateTime(QDate(2009, 1, 1), QTime(12, 7)));
        QVERIFY(AddLogRecord(dm, QStringLiteral("Test Login "), QStringLiteral("True"), sampleUser(), time));
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select ActionTime from Logs");
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->Fields(0).AsFloat(), 39814.50);
    }

    void aFailedInsertIsReportedAndReturned()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        dm.DBSession.Execute(QStringLiteral("drop table Logs"));
        QVERIFY(!AddLogRecord(dm, QStringLiteral("Test Login "), QStringLiteral("True"), sampleUser(), 39814.5));
        const auto shown = ui.shown(QStringLiteral("runlog"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].caption, QStringLiteral("Operation Error"));
        QVERIFY(shown[0].text.contains(QStringLiteral("Insert into Logs(logID,UserID,AddressPort,LoginName,DoAction,"
                                                      "ActionTime,pwBefore,pwAfter,ActionDone,ActionLog) Values "
                                                      "((select (case when max(logID) is null then 1 else "
                                                      "max(logID)+1 end) from Logs),7,'10.0.0.5:2222','oracle',")));
    }

    void logFileNames_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << "root"
                               << "20090305150712_root.log";
        QTest::newRow("empty") << ""
                               << "20090305150712_.log";
        QTest::newRow("path separators") << "../etc/x\\y"
                                         << "20090305150712_.._etc_x_y.log";
        QTest::newRow("windows reserved") << "a:b*c?d\"e<f>g|h"
                                          << "20090305150712_a_b_c_d_e_f_g_h.log";
        QTest::newRow("control characters") << QStringLiteral("a\tb\nc\x7f") << "20090305150712_a_b_c_.log";
        QTest::newRow("kept as they are") << "d.o'm-ä_1 x"
                                          << "20090305150712_d.o'm-ä_1 x.log";
    }
    void logFileNames()
    {
        QFETCH(QString, login);
        QFETCH(QString, expected);
        QCOMPARE(FallbackLogFileName(QDateTime(QDate(2009, 3, 5), QTime(15, 7, 12)), login), expected);
    }

    void longLoginNamesStillGiveAFileThatCanBeCreated_data()
    {
        QTest::addColumn<QString>("login");
        QTest::newRow("ascii") << QString(400, QLatin1Char('a'));
        QTest::newRow("four-byte characters") << QString::fromUtf8("\xF0\x9F\x94\x91").repeated(100);
    }
    void longLoginNamesStillGiveAFileThatCanBeCreated()
    {
        QFETCH(QString, login);
        QTemporaryDir dir;
        const QString name = FallbackLogFileName(QDateTime(QDate(2009, 3, 5), QTime(15, 7, 12)), login);
        QVERIFY(name.toUtf8().size() <= 255);
        QVERIFY(name.endsWith(QStringLiteral(".log")));
        QVERIFY(!name.contains(QChar(QChar::ReplacementCharacter)));
        QFile file(dir.filePath(name));
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(file.errorString()));
    }

    void logFileHoldsOnlyEncipheredPasswordsAndTheTranscript()
    {
        QTemporaryDir dir;
        const TUser user = sampleUser();
        const QDateTime time(QDate(2009, 3, 5), QTime(15, 7, 12));
        const QString transcript = QStringLiteral("Recorded Time: x\r\nSave me\r\n");
        QFile stale(dir.filePath(QStringLiteral("Logs/20090305150712_oracle.log")));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Logs")));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray(5000, 'x'));
        stale.close();

        const QString path = WriteFallbackLogFile(dir.path(), user, transcript, time);
        QCOMPARE(path, dir.filePath(QStringLiteral("Logs/20090305150712_oracle.log")));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        const qsizetype firstEnd = content.indexOf("\r\n");
        const QString identity = QString::fromLatin1(content.left(firstEnd));
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]+$")).match(identity).hasMatch());
        QCOMPARE(DecipherPassword(identity), QStringLiteral("7,oracle,") + user.pwNow + ',' + user.pwNew);
        QCOMPARE(content.mid(firstEnd), "\r\n" + stars().toLatin1() + "\r\r\nRecorded Time: x\r\nSave me\r\n\r\n");
        QCOMPARE(file.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions());
        QVERIFY(!content.contains("old-one"));
    }

    void logFolderIsCreatedWhenMissing()
    {
        QTemporaryDir dir;
        const QString path = WriteFallbackLogFile(dir.path(), sampleUser(), QString(), QDateTime::currentDateTime());
        QVERIFY(QFile::exists(path));
        QCOMPARE(QFileInfo(path).absolutePath(), dir.filePath(QStringLiteral("Logs")));
    }

    void unwritableLogFolderThrowsASayingError_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a file where the folder should be") << "file"
                                                           << "not a folder";
        // A run as root would otherwise write wherever the link leads.
        QTest::newRow("a symbolic link to a folder") << "symlink"
                                                     << "symbolic link";
        QTest::newRow("writable by others") << "open"
                                            << "other users can write to it";
        QTest::newRow("another user's folder") << "foreign"
                                               << "belongs to another user";
    }
    void unwritableLogFolderThrowsASayingError()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QTemporaryDir elsewhere;
        const QString logs = dir.filePath(QStringLiteral("Logs"));
        const QByteArray encoded = QFile::encodeName(logs);
        if (kind == QLatin1String("file")) {
            QFile blocker(logs);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        } else if (kind == QLatin1String("symlink")) {
            QVERIFY(QFile::link(elsewhere.path(), logs));
        } else {
            QVERIFY(QDir().mkdir(logs));
            QCOMPARE(::chmod(encoded.constData(), 0777), 0);
            if (kind == QLatin1String("foreign")) {
                if (::geteuid() != 0)
                    QSKIP("only root can give a folder away");
                QCOMPARE(::chmod(encoded.constData(), 0700), 0);
                QCOMPARE(::chown(encoded.constData(), 65534, 65534), 0);
            }
        }
        try {
            WriteFallbackLogFile(dir.path(), sampleUser(), QString(), QDateTime::currentDateTime());
            QFAIL("no error");
        } catch (const FallbackLogError& error) {
            QVERIFY(error.message().contains(logs));
            QVERIFY2(error.message().contains(reason), qPrintable(error.message()));
        }
        QCOMPARE(QDir(elsewhere.path()).entryList(QDir::Files), QStringList());
        if (kind != QLatin1String("file") && kind != QLatin1String("symlink"))
            QCOMPARE(QDir(logs).entryList(QDir::Files), QStringList());
    }

    void recordedTime_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("expected");
        const QDate day(2009, 1, 1);
        QTest::newRow("noon") << "en_US" << QDateTime(day, QTime(12, 0)) << "Jan 1, 2009  12:00 PM.";
        QTest::newRow("after midnight") << "en_US" << QDateTime(day, QTime(0, 5)) << "Jan 1, 2009  12:05 AM.";
        QTest::newRow("morning, leading zero") << "en_US" << QDateTime(day, QTime(9, 7)) << "Jan 1, 2009  09:07 AM.";
        QTest::newRow("evening") << "en_US" << QDateTime(QDate(2009, 12, 31), QTime(23, 59))
                                 << "Dec 31, 2009  11:59 PM.";
        // English like the rest of the line, so that transcripts read the same on every desktop.
        QTest::newRow("German desktop") << "de_DE" << QDateTime(QDate(2009, 3, 5), QTime(15, 7))
                                        << "Mar 5, 2009  03:07 PM.";
    }
    void recordedTime()
    {
        QFETCH(QString, locale);
        QFETCH(QDateTime, time);
        QFETCH(QString, expected);
        const QLocale saved;
        QLocale::setDefault(QLocale(locale));
        const QString text = TBatchRunner::RecordedTimeText(time);
        QLocale::setDefault(saved);
        QCOMPARE(text, expected);
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"
