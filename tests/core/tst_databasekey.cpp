// The database under a password of the user's: what a re-key keeps, what a copied file gives away,
// how a wrong password and every way a re-key can fail leave the file.

#include "core/DatabaseError.h"
#include "core/DatabaseKeyProbe.h"
#include "core/DatabaseProtection.h"
#include "core/DatabaseRekey.h"
#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/core/FailingVfs.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"

#include <sqlcipher/sqlite3.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Password = QStringLiteral("Corr3ct horse");

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

/// Every row of every table but SysParams (which a protection step rewrites), in a fixed order.
QStringList snapshot(TDBSession& session)
{
    QStringList rows;
    const auto collect = [](void* out, int columns, char** values, char**) {
        QStringList fields;
        for (int i = 0; i < columns; ++i)
            fields << (values[i] ? QString::fromUtf8(values[i]) : QStringLiteral("<null>"));
        static_cast<QStringList*>(out)->append(fields.join(QLatin1Char('|')));
        return 0;
    };
    for (const char* table : {"Hosts", "Users", "Logs", "UnixOS", "ActionFlg"}) {
        const QByteArray sql = QByteArrayLiteral("select '") + table + "', * from " + table + " order by rowid";
        if (sqlite3_exec(session.Handle(), sql.constData(), collect, &rows, nullptr) != SQLITE_OK)
            rows << QStringLiteral("unreadable ") + QLatin1String(table);
    }
    return rows;
}

/// Enough hosts, users and log rows to fill many pages, so that a re-key has much to rewrite.
void seed(TdmPublic& dm)
{
    dm.DBSession.StartTransaction();
    for (int h = 1; h <= 10; ++h) {
        THost host;
        host.hID = h;
        host.hAddress = QStringLiteral("10.0.0.%1").arg(h);
        host.hPort = 22;
        host.MngLogin = QStringLiteral("root");
        host.MngPwd = EncipherPassword(QStringLiteral("manager-%1").arg(h));
        QVERIFY(dm.SaveHost(host, TSaveMode::Insert));
    }
    for (int u = 1; u <= 200; ++u) {
        TUser user;
        user.uID = u;
        user.hID = 1 + u % 10;
        user.LoginName = QStringLiteral("account%1").arg(u);
        user.pwNow = EncipherPassword(QStringLiteral("now-%1").arg(u));
        user.pwNew = EncipherPassword(QStringLiteral("new-%1").arg(u));
        user.pwPeriod = 30;
        user.RecTime = 45000.25;
        user.pwLastTime = DayNumber::None;
        user.uRemark = QStringLiteral("remark of account %1").arg(u);
        QVERIFY(dm.SaveUser(user, TSaveMode::Insert));
        dm.DBSession.Execute(QStringLiteral("insert into Logs values(%1,%1,'10.0.0.1:22','account%1','Change',"
                                            "45000.5,'a','b','Yes','log text of a change')")
                                 .arg(u));
    }
    dm.DBSession.Commit();
}

/// Whether a fresh connection opens path with password (empty: the built-in key) and reads it all.
bool opensWith(const QString& path, const QString& password)
{
    TDBSession session;
    return session.OpenDatabaseWithPassword(path, SecretBuffer(password), false) && !snapshot(session).isEmpty() &&
           !snapshot(session).join(QString()).contains(QStringLiteral("unreadable"));
}

} // namespace

class TestDatabaseKey : public QObject
{
    Q_OBJECT

private slots:
    void protectingAndReturningKeepEveryRow()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        seed(dm);
        const QStringList before = snapshot(dm.DBSession);
        QVERIFY(before.size() > 400);

        ProtectDatabase(dm, Password);
        QVERIFY(dm.DBSession.KeyedByPassword());
        QCOMPARE(snapshot(dm.DBSession), before);
        QCOMPARE(DecipherPassword(dm.GetUserPass()), Password);
        QVERIFY(dm.PasswordProtectionEnabled());

        // A new start: the built-in key no longer opens it, the password does, and every stored
        // password still deciphers with the program's cipher.
        TdmPublic again(env.executablePath());
        QVERIFY(again.NeedsDatabasePassword());
        QVERIFY(again.OpenWithPassword(SecretBuffer(Password)));
        QCOMPARE(snapshot(again.DBSession), before);
        {
            auto query = again.NewQuery();
            query->SelectSQL = QStringLiteral("select pwNow from Users where uID = 7");
            QVERIFY(again.OpenQuery(*query));
            QCOMPARE(DecipherPassword(query->Fields(0).AsString()), QStringLiteral("now-7"));
        }

        // A changed password re-keys again; the old one is refused from then on.
        ProtectDatabase(again, QStringLiteral("next one"));
        QVERIFY(!opensWith(env.databasePath(), Password));
        QVERIFY(opensWith(env.databasePath(), QStringLiteral("next one")));

        UnprotectDatabase(again);
        QVERIFY(!again.DBSession.KeyedByPassword());
        QCOMPARE(snapshot(again.DBSession), before);
        QVERIFY(opensWith(env.databasePath(), QString()));
        // The program password and protection stay as they were.
        QCOMPARE(DecipherPassword(again.GetUserPass()), QStringLiteral("next one"));
        QVERIFY(again.PasswordProtectionEnabled());
        QVERIFY(ui.shown(QStringLiteral("msgbox")).isEmpty());
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
    }

    void aCopiedProtectedFileGivesNothingAway()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        seed(env.dm());
        ProtectDatabase(env.dm(), Password);
        QTemporaryDir elsewhere;
        const QString copy = elsewhere.filePath(QStringLiteral("copied.db"));
        QVERIFY(QFile::copy(env.databasePath(), copy));

        const QByteArray bytes = fileBytes(copy);
        for (const char* plain : {"CREATE TABLE", "account17", "remark of account", "SQLite format 3"})
            QVERIFY2(!bytes.contains(plain), plain);
        TDBSession session;
        QVERIFY(!session.OpenDatabase(copy, false));
        QVERIFY(session.KeyRefused());
        // Not with SQLCipher directly either, as anyone holding the program could try.
        sqlite3* raw = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(copy).constData(), &raw), SQLITE_OK);
        sqlite3_key(raw, TDBSession::Key.constData(), static_cast<int>(TDBSession::Key.size()));
        QCOMPARE(sqlite3_exec(raw, "select count(*) from Users", nullptr, nullptr, nullptr), SQLITE_NOTADB);
        sqlite3_close(raw);
        QVERIFY(opensWith(copy, Password));
    }

    void aWrongPasswordOpensNothingAndWritesNothing()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        seed(env.dm());
        ProtectDatabase(env.dm(), Password);
        const QByteArray before = fileBytes(env.databasePath());

        TdmPublic dm(env.executablePath());
        QVERIFY(dm.NeedsDatabasePassword());
        QVERIFY(!dm.DBSession.Connected());
        const QString builtIn = QString::fromLatin1(TDBSession::Key);
        for (const QString& wrong : QStringList{QString(), QStringLiteral("corr3ct horse"), Password + QLatin1Char(' '),
                                                Password.left(Password.size() - 1), builtIn}) {
            QVERIFY2(!dm.OpenWithPassword(SecretBuffer(wrong)), qPrintable(wrong));
            QVERIFY(!dm.DBSession.Connected());
            QVERIFY(dm.NeedsDatabasePassword());
        }
        QCOMPARE(fileBytes(env.databasePath()), before);
        QVERIFY(ui.all.isEmpty()); // refused quietly: the caller says it its own way
        QVERIFY(dm.OpenWithPassword(SecretBuffer(Password)));
        QVERIFY(dm.IntentColumns);
    }

    void onlyARandomLookingFileWaitsForAPassword_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("waits");
        QTest::newRow("missing file") << "missing" << false;
        QTest::newRow("empty file") << "empty" << false;
        QTest::newRow("text") << "text" << false;
        QTest::newRow("zeros") << "zeros" << false;
        QTest::newRow("plain SQLite") << "plain" << false;
        QTest::newRow("random, not whole pages") << "random-odd" << false;
        QTest::newRow("under the user's password") << "password" << true;
        // Indistinguishable from a password of the user's: it is asked for one, which fails.
        QTest::newRow("random, whole pages") << "random" << true;
    }
    void onlyARandomLookingFileWaitsForAPassword()
    {
        QFETCH(QString, kind);
        QFETCH(bool, waits);
        RecordingUiServices ui;
        TestEnvironment env(false);
        const QString path = env.databasePath();
        QByteArray random(8192, 0);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(random.data()), random.size() / 4);
        if (kind == QLatin1String("empty"))
            writeFile(path, QByteArray());
        else if (kind == QLatin1String("text"))
            writeFile(path, QByteArray(8192, 'x'));
        else if (kind == QLatin1String("zeros"))
            writeFile(path, QByteArray(4096, '\0'));
        else if (kind == QLatin1String("random-odd"))
            writeFile(path, random.left(5000));
        else if (kind == QLatin1String("random"))
            writeFile(path, random);
        else if (kind == QLatin1String("plain")) {
            sqlite3* raw = nullptr;
            QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &raw), SQLITE_OK);
            QCOMPARE(
                sqlite3_exec(raw, "create table Users(a); insert into Users values(1);", nullptr, nullptr, nullptr),
                SQLITE_OK);
            sqlite3_close(raw);
        } else if (kind == QLatin1String("password")) {
            TestEnvironment source;
            ProtectDatabase(source.dm(), Password);
            QVERIFY(QFile::copy(source.databasePath(), path));
            ui.clear();
        }

        TdmPublic dm(env.executablePath());
        QCOMPARE(dm.NeedsDatabasePassword(), waits);
        QCOMPARE(MayBeUnderPassword(path), waits);
        const auto boxes = ui.shown(QStringLiteral("msgbox"));
        if (waits) {
            QVERIFY(boxes.isEmpty());
        } else {
            // Reported as any file that does not open, exactly as before.
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].text, QStringLiteral("Cannot perform this operation on a closed database"));
        }
    }

    void aFailedRekeyLeavesTheFileOnItsOldKey_data()
    {
        QTest::addColumn<bool>("fromPassword");
        QTest::addColumn<QString>("fault");
        for (const bool fromPassword : {false, true}) {
            const char* direction = fromPassword ? "to the built-in key: " : "to a password: ";
            QTest::addRow("%sjournal write fails", direction) << fromPassword << "journal";
            QTest::addRow("%sa page write fails in the commit", direction) << fromPassword << "page";
            QTest::addRow("%sthe program dies in the commit", direction) << fromPassword << "crash";
            QTest::addRow("%sanother program reads the file", direction) << fromPassword << "reader";
        }
    }
    void aFailedRekeyLeavesTheFileOnItsOldKey()
    {
        QFETCH(bool, fromPassword);
        QFETCH(QString, fault);
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        seed(dm);
        dm.SetUserPass(EncipherPassword(Password));
        if (fromPassword)
            ProtectDatabase(dm, Password);
        const QString oldKey = fromPassword ? Password : QString();
        const QString newKey = fromPassword ? QString() : Password;
        const QStringList before = snapshot(dm.DBSession);

        FailingVfs vfs;
        // Re-opened so that the connection goes through the failing layer.
        QVERIFY(dm.DBSession.OpenDatabaseWithPassword(env.databasePath(), SecretBuffer(oldKey), true));
        sqlite3* reader = nullptr;
        sqlite3_stmt* reading = nullptr;
        if (fault == QLatin1String("journal"))
            vfs.failWrites(FailingVfs::Target::Journal, 3, 1);
        else if (fault == QLatin1String("page"))
            vfs.failWrites(FailingVfs::Target::Database, 3, 1);
        else if (fault == QLatin1String("crash"))
            vfs.failWrites(FailingVfs::Target::Database, 3, FailingVfs::UntilDisarmed);
        else {
            // A read in progress holds a shared lock, so the re-key never gets to write.
            QCOMPARE(sqlite3_open(QFile::encodeName(env.databasePath()).constData(), &reader), SQLITE_OK);
            const QByteArray key = oldKey.isEmpty() ? TDBSession::Key : oldKey.toUtf8();
            sqlite3_key(reader, key.constData(), static_cast<int>(key.size()));
            QCOMPARE(sqlite3_prepare_v2(reader, "select * from Users", -1, &reading, nullptr), SQLITE_OK);
            QCOMPARE(sqlite3_step(reading), SQLITE_ROW);
        }

        QString message;
        try {
            if (fromPassword)
                UnprotectDatabase(dm);
            else
                ProtectDatabase(dm, Password);
        } catch (const DatabaseError& error) {
            message = error.message();
        }
        QVERIFY2(!message.isEmpty(), "a failed re-key must say so");
        if (fault != QLatin1String("reader"))
            QVERIFY(vfs.failures() > 0);
        vfs.disarm();
        sqlite3_finalize(reading);
        sqlite3_close(reader);

        if (fault == QLatin1String("crash")) {
            // Nothing could be written any more, not even the way back: the session is closed and
            // the next start finds the file as it was.
            QVERIFY(!dm.DBSession.Connected());
            QVERIFY2(message.contains(QStringLiteral("start it again")), qPrintable(message));
        } else {
            QVERIFY2(message.contains(QStringLiteral("unchanged")), qPrintable(message));
            QCOMPARE(dm.DBSession.KeyedByPassword(), fromPassword);
            QCOMPARE(snapshot(dm.DBSession), before);
        }
        TDBSession fresh;
        QVERIFY(fresh.OpenDatabaseWithPassword(env.databasePath(), SecretBuffer(oldKey), false));
        QCOMPARE(snapshot(fresh), before);
        fresh.Close();
        QVERIFY(!opensWith(env.databasePath(), newKey));
        QVERIFY(!QFile::exists(env.databasePath() + QStringLiteral("-journal")));
    }

    void aFullDiskIsNamedAsSuch()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        seed(dm);
        FailingVfs vfs;
        QVERIFY(dm.DBSession.OpenDatabase(env.databasePath(), true));
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("update Hosts set hNote = 'x'");
        // A statement: the Operation Error window names the disk, not the file.
        vfs.failWrites(FailingVfs::Target::Journal, 1, FailingVfs::UntilDisarmed, true);
        QVERIFY(!dm.OpenQuery(*query));
        const QString line = ui.shown(QStringLiteral("runlog")).value(0).text.split(QLatin1Char('\r')).value(4);
        QCOMPARE(line, QStringLiteral("the disk is full (database or disk is full)"));
        QVERIFY(TDBSession::IsDiskFullMessage(line));
        // A commit.
        vfs.failWrites(FailingVfs::Target::Database, 1, FailingVfs::UntilDisarmed, true);
        dm.DBSession.StartTransaction();
        QVERIFY(dm.OpenQuery(*query));
        try {
            dm.DBSession.Commit();
            QFAIL("a commit on a full disk succeeded");
        } catch (const DatabaseError& error) {
            QVERIFY2(error.message().startsWith(QStringLiteral("the disk is full")), qPrintable(error.message()));
        }
        vfs.disarm();
        dm.DBSession.Rollback();
    }

    void aPasswordThatCannotBeStoredTakesTheKeyBack()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        seed(dm);
        dm.SetUserPass(EncipherPassword(QStringLiteral("old")));
        const QStringList before = snapshot(dm.DBSession);
        // The re-key goes through; storing the password that goes with it fails.
        dm.DBSession.Execute(
            QStringLiteral("create trigger refuse before update on SysParams begin select raise(abort, 'disk says "
                           "no'); end"));
        try {
            ProtectDatabase(dm, Password);
            QFAIL("the step must fail as a whole");
        } catch (const DatabaseError& error) {
            QVERIFY2(error.message().contains(QStringLiteral("keeps its old key")), qPrintable(error.message()));
        }
        QVERIFY(!dm.DBSession.KeyedByPassword());
        QCOMPARE(snapshot(dm.DBSession), before);
        QCOMPARE(DecipherPassword(dm.GetUserPass()), QStringLiteral("old"));
        QVERIFY(opensWith(env.databasePath(), QString()));
        QVERIFY(!opensWith(env.databasePath(), Password));
    }

    void passwordsThatCannotProtectTouchNothing_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << ""
                               << "empty password";
        QTest::newRow("longer than the login dialog takes") << QString(31, QLatin1Char('p')) << "longer than 30";
        QTest::newRow("a control character") << QStringLiteral("pass\tword") << "control character";
        QTest::newRow("the built-in key") << QString::fromLatin1(TDBSession::Key) << "choose another one";
    }
    void passwordsThatCannotProtectTouchNothing()
    {
        QFETCH(QString, password);
        QFETCH(QString, reason);
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        const QByteArray before = fileBytes(env.databasePath());
        QVERIFY(DatabasePasswordProblem(password).contains(reason));
        QVERIFY_THROWS_EXCEPTION(DatabaseError, ProtectDatabase(dm, password));
        QVERIFY(!dm.DBSession.KeyedByPassword());
        QCOMPARE(fileBytes(env.databasePath()), before);
        QVERIFY(DatabasePasswordProblem(QString(30, QLatin1Char('p'))).isEmpty());
    }

    void noRekeyInTheMiddleOfAnOperation()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        dm.DBSession.StartTransaction();
        QVERIFY_THROWS_EXCEPTION(DatabaseError, RekeyDatabase(dm.DBSession, SecretBuffer(Password)));
        QCOMPARE(dm.DBSession.TransactionDepth(), 1);
        dm.DBSession.Rollback();
        {
            // A query still reading keeps its statement on the connection a re-key would replace.
            auto query = dm.NewQuery();
            query->SelectSQL = QStringLiteral("select * from UnixOS");
            QVERIFY(dm.OpenQuery(*query));
            QVERIFY_THROWS_EXCEPTION(DatabaseError, RekeyDatabase(dm.DBSession, SecretBuffer(Password)));
            QVERIFY(!query->Eof());
        }
        QVERIFY(opensWith(env.databasePath(), QString()));
        RekeyDatabase(dm.DBSession, SecretBuffer(Password));
        QVERIFY(opensWith(env.databasePath(), Password));
    }
};

QTEST_MAIN(TestDatabaseKey)
#include "tst_databasekey.moc"
