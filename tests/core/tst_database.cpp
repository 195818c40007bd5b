#include "core/DatabaseCreator.h"
#include "core/DatabaseError.h"
#include "core/DayNumber.h"
#include "core/TdmPublic.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"

#include <sqlcipher/sqlite3.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

/// Records every statement the engine runs on a connection.
struct StatementTrace
{
    QStringList statements;
    static int callback(unsigned, void* context, void*, void* sql)
    {
        auto* self = static_cast<StatementTrace*>(context);
        self->statements.append(QString::fromUtf8(static_cast<const char*>(sql)));
        return 0;
    }
    void attach(TDBSession& session) { sqlite3_trace_v2(session.Handle(), SQLITE_TRACE_STMT, &callback, this); }
};

int count(TdmPublic& dm, const QString& statement)
{
    auto query = dm.NewQuery();
    query->SelectSQL = statement;
    dm.OpenQuery(*query);
    return query->Fields(0).AsInteger();
}

void insertUser(TdmPublic& dm, int uID, int hID, const QString& login)
{
    TUser user;
    user.uID = uID;
    user.hID = hID;
    user.LoginName = login;
    user.pwPeriod = -1;
    user.RecTime = 39814.5;
    user.pwLastTime = -1;
    QVERIFY(dm.SaveUser(user, TSaveMode::Insert));
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private slots:
    void fieldKeptPastItsQueryFailsClearly()
    {
        TestEnvironment env;
        TSelfQuery::TField kept;
        {
            auto query = env.dm().NewQuery();
            query->SelectSQL = QStringLiteral("select 'here'");
            query->Open();
            const TSelfQuery::TField field = query->Fields(0);
            QCOMPARE(field.AsString(), QStringLiteral("here"));
            query->Close();
            QVERIFY_THROWS_EXCEPTION(DatabaseError, field.AsString());
            query->Open();
            kept = query->Fields(0);
        } // the query, and its statement, are gone
        QVERIFY_THROWS_EXCEPTION(DatabaseError, kept.AsInteger());
        QVERIFY(TSelfQuery::TField().IsNull());
    }

    void opensOnlyProperDatabasesWithTheKey_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing file") << "missing";
        QTest::newRow("not a database") << "text";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("plain unencrypted database") << "plain";
        QTest::newRow("database with another key") << "otherkey";
    }
    void opensOnlyProperDatabasesWithTheKey()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x.db"));
        if (kind == QLatin1String("text") || kind == QLatin1String("empty")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (kind == QLatin1String("text"))
                file.write(QByteArray(8192, 'x'));
        } else if (kind == QLatin1String("plain") || kind == QLatin1String("otherkey")) {
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
            if (kind == QLatin1String("otherkey"))
                sqlite3_key(db, "another", 7);
            QCOMPARE(sqlite3_exec(db, "create table t(a); insert into t values(1);", nullptr, nullptr, nullptr),
                     SQLITE_OK);
            sqlite3_close(db);
        }
        const QByteArray before = QFile::exists(path) ? [&] {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            return f.readAll();
        }()
                                                      : QByteArray();

        TDBSession session;
        QVERIFY(!session.OpenDatabase(path, false));
        QVERIFY(!session.Connected());
        QVERIFY_THROWS_EXCEPTION(DatabaseError, session.OpenDatabase(path, true));
        if (kind == QLatin1String("missing"))
            QVERIFY2(!QFile::exists(path), "opening must never create a database file");
        else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
        }
        try {
            session.Execute(QStringLiteral("select 1"));
            QFAIL("a closed connection must refuse statements");
        } catch (const DatabaseError& error) {
            QCOMPARE(error.message(), QStringLiteral("Cannot perform this operation on a closed database"));
        }
    }

    void createdDatabaseOpensAndIsEncrypted()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("v.db"));
        CreateDatabase(path);
        QVERIFY_THROWS_EXCEPTION(DatabaseError, CreateDatabase(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(!file.read(16).startsWith("SQLite format 3"), "the file must not be plain SQLite");
        TDBSession session;
        QVERIFY(session.OpenDatabase(path, false));
    }

    void dataModuleOnAMissingDatabaseReportsOnceAndCarriesOn()
    {
        RecordingUiServices ui;
        TestEnvironment env(false);
        TdmPublic& dm = env.dm();
        QVERIFY(!dm.DBSession.Connected());
        const auto boxes = ui.shown(QStringLiteral("msgbox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, QStringLiteral("Cannot perform this operation on a closed database"));
        QCOMPARE(boxes[0].style, int(StyleError));
        // Every later access fails on its own terms and the program goes on.
        QCOMPARE(dm.NextUserId(), 1);
        QVERIFY(!dm.SaveHost(THost{}, TSaveMode::Insert));
        QVERIFY(ui.shown(QStringLiteral("runlog")).size() >= 2);
        QVERIFY(!QFile::exists(env.databasePath()));
    }

    void operationErrorShowsMessageAndStatement()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select nothing from nowhere");
        QVERIFY(!dm.OpenQuery(*query));
        QVERIFY(!query->Active());
        const auto shown = ui.shown(QStringLiteral("runlog"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].caption, QStringLiteral("Operation Error"));
        const QStringList lines = shown[0].text.split(QLatin1Char('\r'));
        const QString stars(69, QLatin1Char('*'));
        QCOMPARE(lines.size(), 8);
        QCOMPARE(lines[0], QString());
        QCOMPARE(lines[1], QStringLiteral("Please send the message below to ") + SupportAddress);
        QCOMPARE(lines[2], QString());
        QCOMPARE(lines[3], stars);
        QCOMPARE(lines[4], QStringLiteral("no such table: nowhere"));
        QCOMPARE(lines[5], stars);
        QCOMPARE(lines[6], QString());
        QCOMPARE(lines[7], query->SelectSQL);
        // Reading a column of the failed query is an error, not a crash.
        QVERIFY_THROWS_EXCEPTION(DatabaseError, query->FieldByName(QStringLiteral("nothing")));
    }

    void transactionsNestByCount()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        StatementTrace trace;
        trace.attach(dm.DBSession);

        dm.DBSession.Commit();
        dm.DBSession.Rollback();
        QVERIFY(trace.statements.isEmpty());

        dm.DBSession.StartTransaction();
        dm.DBSession.StartTransaction();
        QCOMPARE(trace.statements, QStringList{QStringLiteral("BEGIN DEFERRED TRANSACTION;")});
        dm.DBSession.Commit();
        QCOMPARE(trace.statements.size(), 1);
        dm.DBSession.Commit();
        QCOMPARE(trace.statements.last(), QStringLiteral("COMMIT TRANSACTION;"));
        QCOMPARE(dm.DBSession.TransactionDepth(), 0);

        dm.DBSession.StartTransaction();
        insertUser(dm, 1, 1, QStringLiteral("gone"));
        dm.DBSession.Rollback();
        QCOMPARE(trace.statements.last(), QStringLiteral("ROLLBACK TRANSACTION;"));
        QCOMPARE(count(dm, QStringLiteral("select count(*) from Users")), 0);
    }

    void failingStatementInsideATransactionKeepsTheOthers()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        dm.DBSession.StartTransaction();
        insertUser(dm, 1, 1, QStringLiteral("first"));
        auto bad = dm.NewQuery();
        bad->SelectSQL = QStringLiteral("insert into Users(nope) values(1)");
        QVERIFY(!dm.OpenQuery(*bad));
        insertUser(dm, 2, 1, QStringLiteral("second"));
        dm.DBSession.Commit();
        QCOMPARE(count(dm, QStringLiteral("select count(*) from Users")), 2);
        QCOMPARE(ui.shown(QStringLiteral("runlog")).size(), 1);
    }

    void failedCommitIsRolledBackByTheCaller()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        // A second connection holds a read lock, so the commit cannot get its exclusive lock.
        sqlite3* other = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(env.databasePath()).constData(), &other), SQLITE_OK);
        sqlite3_key(other, "vmr_3317", 8);
        QCOMPARE(sqlite3_exec(other, "begin; select count(*) from Users;", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_stmt* reader = nullptr;
        sqlite3_prepare_v2(other, "select * from Hosts", -1, &reader, nullptr);
        sqlite3_step(reader);

        dm.DBSession.StartTransaction();
        insertUser(dm, 1, 1, QStringLiteral("pending"));
        QVERIFY_THROWS_EXCEPTION(DatabaseError, dm.DBSession.Commit());
        QCOMPARE(dm.DBSession.TransactionDepth(), 1);
        dm.DBSession.Rollback();
        QCOMPARE(dm.DBSession.TransactionDepth(), 0);
        sqlite3_finalize(reader);
        sqlite3_exec(other, "commit;", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        QCOMPARE(count(dm, QStringLiteral("select count(*) from Users")), 0);
        // The connection is usable for the next transaction.
        dm.DBSession.StartTransaction();
        insertUser(dm, 2, 1, QStringLiteral("next"));
        dm.DBSession.Commit();
        QCOMPARE(count(dm, QStringLiteral("select count(*) from Users")), 1);
    }

    void identifiersStartAtOneAndFollowTheMaximum()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        QCOMPARE(dm.NextUserId(), 1);
        QCOMPARE(dm.NextHostId(), 1);
        insertUser(dm, 41, 7, QStringLiteral("a"));
        insertUser(dm, 3, 7, QStringLiteral("b"));
        QCOMPARE(dm.NextUserId(), 42);
        THost host;
        host.hID = 9;
        QVERIFY(dm.SaveHost(host, TSaveMode::Insert));
        QCOMPARE(dm.NextHostId(), 10);
    }

    void columnsByNameIgnoreCaseAndByPosition()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        insertUser(dm, 5, 2, QStringLiteral("root"));
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select loginname, hid, pwLastTime, pwNew, null as nothing from users");
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->FieldByName(QStringLiteral("LoginName")).AsString(), QStringLiteral("root"));
        QCOMPARE(query->FieldByName(QStringLiteral("HID")).AsInteger(), 2);
        QCOMPARE(query->FieldByName(QStringLiteral("pwlasttime")).AsFloat(), -1.0);
        QCOMPARE(query->Fields(0).AsString(), QStringLiteral("root"));
        QVERIFY(query->FieldByName(QStringLiteral("nothing")).IsNull());
        QCOMPARE(query->FieldByName(QStringLiteral("nothing")).AsInteger(), 0);
        QCOMPARE(query->FieldByName(QStringLiteral("nothing")).AsString(), QString());
        query->Next();
        QVERIFY(query->Eof());
    }

    void textSurvivesEveryTextColumn_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quotes") << QStringLiteral("O'Neil's ''quoted'' \"name\"");
        QTest::newRow("non-ASCII") << QStringLiteral("Jürgen Øster 李雷 ﾊﾝｶｸ 🙂");
        QTest::newRow("statement-like") << QStringLiteral("x'); drop table Users; --");
        QTest::newRow("line breaks") << QStringLiteral("a\r\nb\rc\nd");
        QTest::newRow("one megabyte") << QString(1 << 20, QLatin1Char('q')) + QLatin1Char('\'');
    }
    void textSurvivesEveryTextColumn()
    {
        QFETCH(QString, text);
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        THost host;
        host.hID = 1;
        host.hAddress = text;
        host.hPort = 22;
        host.hNote = text;
        host.OSID = -1;
        host.MngLogin = text;
        host.MngKeyPath = text;
        host.UseManager = 1;
        QVERIFY(dm.SaveHost(host, TSaveMode::Insert));
        TUser user;
        user.uID = 1;
        user.hID = 1;
        user.LoginName = text;
        user.uRemark = text;
        user.uName = text;
        user.Email = text;
        user.LastLog = text;
        user.pwPeriod = -1;
        user.RecTime = 1;
        user.pwLastTime = -1;
        QVERIFY(dm.SaveUser(user, TSaveMode::Insert));

        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select * from Hosts");
        QVERIFY(dm.OpenQuery(*query));
        THost read;
        HostFromQuery(*query, read);
        QCOMPARE(read.hAddress, text);
        QCOMPARE(read.hNote, text);
        QCOMPARE(read.MngLogin, text);
        QCOMPARE(read.MngKeyPath, text);
        query->Close();
        query->SelectSQL = QStringLiteral("select * from Users");
        QVERIFY(dm.OpenQuery(*query));
        for (const char* column : {"LoginName", "uRemark", "uName", "Email", "LastLog"})
            QCOMPARE(query->FieldByName(QString::fromLatin1(column)).AsString(), text);

        // And again through the update statements.
        host.hNote = text + QStringLiteral("'2");
        QVERIFY(dm.SaveHost(host, TSaveMode::Update));
        user.LastLog = text + QStringLiteral("'2");
        QVERIFY(dm.SaveUser(user, TSaveMode::Update));
        query->Close();
        query->SelectSQL = QStringLiteral("select h.hNote, u.LastLog from Hosts h, Users u");
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->Fields(0).AsString(), text + QStringLiteral("'2"));
        QCOMPARE(query->Fields(1).AsString(), text + QStringLiteral("'2"));
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
    }

    void decimalCommaLocaleIsReallyActive()
    {
        if (qEnvironmentVariable("VELTRANE_EXPECT_DECIMAL_COMMA") != QLatin1String("1"))
            return;
        QCOMPARE(QLocale().decimalPoint(), QStringLiteral(","));
    }

    void dayNumbersUseAPointAndTwoDecimals()
    {
        // The suite runs this under a decimal-comma locale too (see the test's second registration).
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        QCOMPARE(DayNumber::Format(-1), QStringLiteral("-1.00"));
        QCOMPARE(DayNumber::Format(39814.5), QStringLiteral("39814.50"));
        QCOMPARE(DayNumber::FromDateTime(QDateTime(QDate(2009, 1, 1), QTime(12, 0))), 39814.5);
        QCOMPARE(DayNumber::ToDateTime(39814.5), QDateTime(QDate(2009, 1, 1), QTime(12, 0)));
        TUser user;
        user.uID = 1;
        user.pwPeriod = 30;
        user.RecTime = 39814.534;
        user.pwLastTime = -1;
        QVERIFY(dm.SaveUser(user, TSaveMode::Insert));
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select RecTime, typeof(RecTime), pwLastTime from Users");
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->Fields(0).AsFloat(), 39814.53);
        QCOMPARE(query->Fields(1).AsString(), QStringLiteral("real"));
        QCOMPARE(query->Fields(2).AsFloat(), -1.0);
        // Two decimals of a day: the time read back is within about seven minutes of the time written.
        const QDateTime written(QDate(2026, 3, 5), QTime(15, 7, 12));
        const QDateTime read = DayNumber::ToDateTime(DayNumber::Format(DayNumber::FromDateTime(written)).toDouble());
        QVERIFY(qAbs(read.secsTo(written)) <= 7 * 60 + 12);
    }

    void deletingAUserRemovesItsLogsEvenWhenTheUserDeleteFails()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        insertUser(dm, 1, 1, QStringLiteral("a"));
        insertUser(dm, 2, 1, QStringLiteral("b"));
        dm.DBSession.Execute(QStringLiteral("insert into Logs(logID, UserID) values(1, 1), (2, 1), (3, 2)"));
        dm.DBSession.Execute(
            QStringLiteral("create trigger keep before delete on Users begin select raise(abort, 'kept'); end"));
        TUser user;
        user.uID = 1;
        QVERIFY(!dm.SaveUser(user, TSaveMode::Delete));
        QCOMPARE(count(dm, QStringLiteral("select count(*) from Logs where UserID = 1")), 0);
        QCOMPARE(count(dm, QStringLiteral("select count(*) from Logs")), 1);
        QCOMPARE(count(dm, QStringLiteral("select count(*) from Users")), 2);
        dm.DBSession.Execute(QStringLiteral("drop trigger keep"));
        QVERIFY(dm.SaveUser(user, TSaveMode::Delete));
        QCOMPARE(count(dm, QStringLiteral("select count(*) from Users")), 1);
    }

    void newDatabaseHoldsTheSchemaAndDefaults()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        QCOMPARE(count(dm, QStringLiteral("select count(*) from SysParams")), 1);
        QCOMPARE(dm.GetSysParam(QStringLiteral("EnablePWD")), QStringLiteral("-1"));
        QCOMPARE(count(dm, QStringLiteral("select count(*) from UnixOS")), 10);
        QCOMPARE(count(dm, QStringLiteral("select count(*) from ActionFlg")), 40);
        QCOMPARE(count(dm, QStringLiteral("select count(*) from ActionRules")), 10);
        // Positional inserts must land in the right columns.
        dm.DBSession.Execute(QStringLiteral("insert into unixos values(99,'X')"));
        dm.DBSession.Execute(QStringLiteral("insert into ActionFlg values(99,'InputOldPassword','Old:',1,1)"));
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select OSName, flgname, flgvalue, canskip from UnixOS u join ActionFlg a "
                                          "on a.OSID = u.OSID where u.OSID = 99");
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->Fields(0).AsString(), QStringLiteral("X"));
        QCOMPARE(query->Fields(1).AsString(), QStringLiteral("InputOldPassword"));
        QCOMPARE(query->Fields(2).AsString(), QStringLiteral("Old:"));
        QCOMPARE(query->Fields(3).AsInteger(), 1);
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
