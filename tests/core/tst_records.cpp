#include "core/DayNumber.h"
#include "core/Records.h"
#include "core/TdmPublic.h"
#include "core/UserListColumns.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void userListTexts_data()
    {
        QTest::addColumn<int>("period");
        QTest::addColumn<double>("lastChange");
        QTest::addColumn<QString>("pwNew");
        QTest::addColumn<QString>("periodText");
        QTest::addColumn<QString>("passedText");
        QTest::addColumn<QString>("maskText");
        QTest::addColumn<bool>("hasChangeTime");
        const double now = DayNumber::FromDateTime(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
        QTest::newRow("never changed, no period") << -1 << -1.0 << ""
                                                  << ""
                                                  << ""
                                                  << "" << false;
        QTest::newRow("changed 23.9 days ago") << 30 << now - 23.9 << "0A1B"
                                               << "30"
                                               << "23"
                                               << "********" << true;
        QTest::newRow("changed today") << 0 << now - 0.2 << ""
                                       << "0"
                                       << "0"
                                       << "" << true;
        QTest::newRow("future change, clock set back") << 7 << now + 3.5 << "FF"
                                                       << "7"
                                                       << "3"
                                                       << "********" << true;
        // A damaged row can hold any real: no number of days and no date, rather than garbage.
        QTest::newRow("damaged: not a number") << 30 << qQNaN() << ""
                                               << "30"
                                               << ""
                                               << "" << false;
        QTest::newRow("damaged: beyond any date") << 30 << 1e300 << ""
                                                  << "30"
                                                  << ""
                                                  << "" << false;
        QTest::newRow("damaged: far before any date") << 30 << -1e300 << ""
                                                      << "30"
                                                      << ""
                                                      << "" << false;
        QTest::newRow("damaged: infinite") << 30 << qInf() << ""
                                           << "30"
                                           << ""
                                           << "" << false;
    }
    void userListTexts()
    {
        QFETCH(int, period);
        QFETCH(double, lastChange);
        QFETCH(QString, pwNew);
        QFETCH(QString, periodText);
        QFETCH(QString, passedText);
        QFETCH(QString, maskText);
        QFETCH(bool, hasChangeTime);
        TUser user;
        user.LoginName = QStringLiteral("oracle");
        user.pwNew = pwNew;
        user.pwPeriod = period;
        user.pwLastTime = lastChange;
        user.uName = QStringLiteral("Ann O'Neil");
        user.Email = QStringLiteral("ann@example.org");
        const QStringList texts = UserListTexts(user, QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
        QCOMPARE(texts.size(), 7);
        QCOMPARE(texts[0], QStringLiteral("oracle"));
        QCOMPARE(texts[1], maskText);
        QCOMPARE(texts[2], periodText);
        QCOMPARE(texts[3], passedText);
        QCOMPARE(texts[4], QStringLiteral("Ann O'Neil"));
        QCOMPARE(texts[5], QStringLiteral("ann@example.org"));
        QCOMPARE(texts[6].isEmpty(), !hasChangeTime);
    }

    void lastChangeTimeFormat()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        TUser user;
        user.pwPeriod = -1;
        user.pwLastTime = DayNumber::FromDateTime(QDateTime(QDate(2009, 3, 5), QTime(7, 4)));
        QCOMPARE(UserListTexts(user, QDateTime::currentDateTime())[6], QStringLiteral("Mar 5, 2009 07:04"));
        user.pwLastTime = DayNumber::FromDateTime(QDateTime(QDate(2009, 11, 25), QTime(19, 30)));
        QCOMPARE(UserListTexts(user, QDateTime::currentDateTime())[6], QStringLiteral("Nov 25, 2009 19:30"));
        QLocale::setDefault(QLocale::system());
    }

    void passwordDueSoon_data()
    {
        QTest::addColumn<QString>("period");
        QTest::addColumn<QString>("passed");
        QTest::addColumn<bool>("due");
        QTest::newRow("23 of 30") << "30"
                                  << "23" << true;
        QTest::newRow("22 of 30") << "30"
                                  << "22" << false;
        QTest::newRow("changed today") << "30"
                                       << "0" << false;
        QTest::newRow("run out") << "30"
                                 << "45" << true;
        QTest::newRow("no period") << ""
                                   << "400" << false;
        QTest::newRow("never changed") << "30"
                                       << "" << false;
        QTest::newRow("not a number") << "abc"
                                      << "29" << false;
        QTest::newRow("short period") << "5"
                                      << "1" << true;
    }
    void passwordDueSoon()
    {
        QFETCH(QString, period);
        QFETCH(QString, passed);
        QFETCH(bool, due);
        QCOMPARE(PasswordDueSoon(period, passed), due);
    }

    void dueWithinCustomDays()
    {
        QVERIFY(PasswordDueSoon(QStringLiteral("90"), QStringLiteral("61"), 30));
        QVERIFY(!PasswordDueSoon(QStringLiteral("90"), QStringLiteral("59"), 30));
    }

    void maskAndClear()
    {
        QCOMPARE(MaskPassword(QString()), QString());
        QCOMPARE(MaskPassword(QStringLiteral("0A")), QStringLiteral("********"));
        TUser user;
        user.uID = 5;
        user.LoginName = QStringLiteral("x");
        user.pwLastTime = -1;
        ClearUser(user);
        QCOMPARE(user.uID, 0);
        QCOMPARE(user.pwLastTime, 0.0);
        QVERIFY(user.LoginName.isEmpty());
    }

    void hostRoundTripThroughTheTable()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        THost host;
        host.hID = dm.NextHostId();
        host.hAddress = QStringLiteral("10.0.0.5");
        host.hPort = 2222;
        host.hNote = QStringLiteral("rack 4");
        host.OSID = -1;
        host.MngLogin = QStringLiteral("root");
        host.MngPwd = QStringLiteral("0A1B2C");
        host.MngKeyPath = QStringLiteral("/keys/id");
        host.UseManager = -1;
        QVERIFY(dm.SaveHost(host, TSaveMode::Insert));
        host.hPort = 22;
        host.UseManager = 1;
        QVERIFY(dm.SaveHost(host, TSaveMode::Update));
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select * from hosts where hid = 1");
        QVERIFY(dm.OpenQuery(*query));
        THost read;
        read.hNote = QStringLiteral("stale");
        HostFromQuery(*query, read);
        QCOMPARE(read.hID, 1);
        QCOMPARE(read.hAddress, host.hAddress);
        QCOMPARE(read.hPort, 22);
        QCOMPARE(read.hNote, host.hNote);
        QCOMPARE(read.OSID, -1);
        QCOMPARE(read.MngLogin, host.MngLogin);
        QCOMPARE(read.MngPwd, host.MngPwd);
        QCOMPARE(read.MngKeyPath, host.MngKeyPath);
        QCOMPARE(read.UseManager, 1);
        query->Close();
        QVERIFY(dm.SaveHost(host, TSaveMode::Delete));
        query->SelectSQL = QStringLiteral("select count(*) from Hosts");
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->Fields(0).AsInteger(), 0);
    }

    void userListStatementJoinsTheHost()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        for (int h : {1, 2}) {
            THost host;
            host.hID = h;
            host.hAddress = QStringLiteral("10.0.0.%1").arg(h);
            host.hPort = 2220 + h;
            QVERIFY(dm.SaveHost(host, TSaveMode::Insert));
            TUser user;
            user.uID = 10 + h;
            user.hID = h;
            user.LoginName = QStringLiteral("u%1").arg(h);
            user.pwPeriod = 30;
            user.RecTime = 1.5;
            user.pwLastTime = 2.25;
            user.LastLog = QStringLiteral("log");
            QVERIFY(dm.SaveUser(user, TSaveMode::Insert));
        }
        auto query = dm.NewQuery();
        query->SelectSQL = UserListStatement(2);
        QVERIFY(query->SelectSQL.contains(QStringLiteral("from hosts  where")));
        QVERIFY(dm.OpenQuery(*query));
        const TUserReader reader(*query);
        TUser user;
        user.ResultText = QStringLiteral("stale");
        reader.Read(user);
        QCOMPARE(user.uID, 12);
        QCOMPARE(user.HostIP, QStringLiteral("10.0.0.2"));
        QCOMPARE(user.HostPort, 2222);
        QCOMPARE(user.pwLastTime, 2.25);
        QCOMPARE(user.LastLog, QStringLiteral("log"));
        QVERIFY(user.ResultText.isEmpty());
        query->Next();
        QVERIFY(query->Eof());
    }

    void userUpdateKeepsTheHost()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        TUser user;
        user.uID = 1;
        user.hID = 3;
        user.LoginName = QStringLiteral("a");
        user.pwPeriod = -1;
        user.RecTime = 40000.25;
        user.pwLastTime = -1;
        QVERIFY(dm.SaveUser(user, TSaveMode::Insert));
        user.hID = 99;
        user.pwNow = QStringLiteral("11AA");
        user.pwLastTime = 40001.5;
        user.ResultText = QStringLiteral("never stored");
        QVERIFY(dm.SaveUser(user, TSaveMode::Update));
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select hID, pwNow, pwLastTime, RecTime from Users");
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->Fields(0).AsInteger(), 3);
        QCOMPARE(query->Fields(1).AsString(), QStringLiteral("11AA"));
        QCOMPARE(query->Fields(2).AsFloat(), 40001.5);
        QCOMPARE(query->Fields(3).AsFloat(), 40000.25);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
