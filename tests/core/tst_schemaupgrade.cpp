// A database written before hosts had an elevation and profiles had rules: brought up to date on open
// without losing a row or changing what the old rows mean, and still usable when it cannot be written.
#include "core/DatabaseCreator.h"
#include "core/DefaultProfiles.h"
#include "core/PasswordCipher.h"
#include "core/SchemaUpgrade.h"
#include "core/TDBSession.h"
#include "core/TdmPublic.h"
#include "engine/TActionFlg.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

namespace {

QStringList rows(TdmPublic& dm, const QString& statement)
{
    QStringList result;
    auto query = dm.NewQuery();
    query->SelectSQL = statement;
    if (!dm.OpenQuery(*query))
        return {QStringLiteral("<failed>")};
    for (; !query->Eof(); query->Next()) {
        QStringList fields;
        for (int i = 0; i < query->FieldCount(); ++i)
            fields << query->Fields(i).AsString();
        result << fields.join(QLatin1Char('|'));
    }
    return result;
}

THost hostOf(TdmPublic& dm, int hostId)
{
    auto query = dm.NewQuery();
    query->SelectSQL = QStringLiteral("select * from Hosts where hID = %1").arg(hostId);
    THost host;
    if (dm.OpenQuery(*query) && !query->Eof())
        HostFromQuery(*query, host);
    return host;
}

TActionFlg profileOf(TdmPublic& dm, int osid)
{
    TActionFlg flg;
    flg.OSID = osid;
    LoadActionFlg(dm, flg);
    return flg;
}

/// Turns a new database into one as earlier versions left it: the nine Hosts columns, the four
/// profiles they shipped, no ActionRules. Then the user's own history: Solaris edited, a profile of
/// their own (AIX, 5), "Solaris (manager account)" deleted, a host still naming a deleted profile 7.
void makeOld(const QString& path)
{
    CreateDatabase(path);
    TDBSession old;
    QVERIFY(old.OpenDatabase(path, true));
    old.Execute(QStringLiteral("drop table Hosts"));
    old.Execute(QStringLiteral("create table Hosts(hID integer, hAddress text, hPort integer, hNote text, OSID "
                               "integer, MngLogin text, MngPwd text, MngKeyPath text, UseManager integer)"));
    old.Execute(QStringLiteral("insert into Hosts values(1,'db1',22,'n',1,'root','%1','/k/id',-1),"
                               "(2,'db2',2222,'',7,'','','',1)")
                    .arg(EncipherPassword(QStringLiteral("pw"))));
    old.Execute(QStringLiteral("drop table ActionRules"));
    old.Execute(QStringLiteral("delete from ActionFlg where OSID > 4"));
    old.Execute(QStringLiteral("delete from UnixOS where OSID > 4"));
    old.Execute(QStringLiteral("update ActionFlg set flgvalue = 'Neues Passwort:' where OSID = 3 and "
                               "flgname = 'InputNewPassword'"));
    old.Execute(QStringLiteral("delete from ActionFlg where OSID = 4"));
    old.Execute(QStringLiteral("delete from UnixOS where OSID = 4"));
    old.Execute(QStringLiteral("insert into unixos values(5,'AIX')"));
    for (const char* step : {"InputOldPassword", "InputNewPassword", "RetypeNewPassword", "ChangeSuccessfully"})
        old.Execute(QStringLiteral("insert into ActionFlg values(5,'%1','password:',-1,1)").arg(QLatin1String(step)));
    QVERIFY(!HasHostAccessColumns(old));
    QVERIFY(!HasProfileRulesTable(old));
}

/// A new database as the version before further success texts left it: ActionRules without SuccessTexts.
void makeWithoutSuccessTexts(const QString& path, const QString& edit)
{
    CreateDatabase(path);
    TDBSession old;
    QVERIFY(old.OpenDatabase(path, true));
    old.Execute(QStringLiteral("CREATE TABLE r AS SELECT OSID, SuccessByExitStatus, FailureTexts, EnglishMessages "
                               "FROM ActionRules; DROP TABLE ActionRules; ALTER TABLE r RENAME TO ActionRules"));
    if (!edit.isEmpty())
        old.Execute(edit);
}

} // namespace

class TestSchemaUpgrade : public QObject
{
    Q_OBJECT

private slots:
    void oldDatabaseKeepsItsRowsAndMeaning()
    {
        TestEnvironment env(false);
        makeOld(env.databasePath());
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        QVERIFY(dm.HostAccessColumns);
        QVERIFY(dm.HostSwitchColumns);
        QVERIFY(dm.ProfileRulesTable);
        QVERIFY(dm.ProfileSuccessTexts);

        // Old hosts: every row kept, and none of them elevates or has a passphrase.
        QCOMPARE(rows(dm, QStringLiteral("select hID, hAddress, MngKeyPath from Hosts order by hID")),
                 (QStringList{"1|db1|/k/id", "2|db2|"}));
        const THost old = hostOf(dm, 1);
        QCOMPARE(old.MngElevation, TElevation::None);
        QVERIFY(old.MngRootPwd.isEmpty());
        QVERIFY(old.MngKeyPass.isEmpty());
        QVERIFY(!old.MngUseAgent && !old.hLegacyAlgorithms);
        QCOMPARE(DecipherPassword(old.MngPwd), QStringLiteral("pw"));
        THost switched = old;
        switched.MngUseAgent = switched.hLegacyAlgorithms = true;
        QVERIFY(dm.SaveHost(switched, TSaveMode::Update));
        QVERIFY(hostOf(dm, 1).MngUseAgent && hostOf(dm, 1).hLegacyAlgorithms);

        // The statements of earlier versions still run.
        dm.DBSession.Execute(QStringLiteral("Insert into Hosts(hID,hAddress,hPort,hNote,OSID,MngLogin,MngPwd,"
                                            "MngKeyPath,UseManager) Values(3,'db3',22,'',1,'','','',1)"));
        QCOMPARE(hostOf(dm, 3).MngElevation, TElevation::None);
        dm.DBSession.Execute(QStringLiteral("insert into unixos values(40,'X')"));
        dm.DBSession.Execute(QStringLiteral("insert into ActionFlg values(40,'InputOldPassword','x:',-1,1)"));

        // Untouched shipped profiles gain the shipped rules; edited and own ones keep their behaviour.
        QCOMPARE(profileOf(dm, 1).FailureTexts, DefaultFailureTexts(true));
        QVERIFY(profileOf(dm, 1).EnglishMessages);
        QCOMPARE(profileOf(dm, 2).SuccessTexts, (QStringList{"changed by", "password changed."}));
        QCOMPARE(profileOf(dm, 2).FailureTexts, DefaultFailureTexts(false));
        for (int osid : {3, 5}) {
            const TActionFlg kept = profileOf(dm, osid);
            QVERIFY2(kept.FailureTexts.isEmpty(), qPrintable(QString::number(osid)));
            QVERIFY(!kept.EnglishMessages);
            QVERIFY(!kept.SuccessByExitStatus);
            QVERIFY(kept.SuccessTexts.isEmpty());
        }
        QCOMPARE(profileOf(dm, 3).InputNewPassword, QStringLiteral("Neues Passwort:"));

        // The profiles shipped since are added above every identifier a host may still name; a shipped
        // profile the user deleted stays deleted.
        QCOMPARE(rows(dm, QStringLiteral("select OSID, OSName from UnixOS where OSID > 5 and OSID < 40 order by OSID")),
                 (QStringList{"8|FreeBSD", "9|FreeBSD (manager account)", "10|OpenBSD", "11|OpenBSD (manager account)",
                              "12|macOS", "13|macOS (manager account)"}));
        const TActionFlg freebsd = profileOf(dm, 8);
        QCOMPARE(freebsd.InputOldPassword, QStringLiteral("Old Password:"));
        QCOMPARE(freebsd.RetypeNewPassword, QStringLiteral("Retype New Password:"));
        QVERIFY(freebsd.SuccessByExitStatus);
        QVERIFY(freebsd.ChangeSuccessfully.isEmpty());
        QVERIFY(freebsd.FailureTexts.contains(QStringLiteral("BAD PASSWORD")));
        QVERIFY(!profileOf(dm, 13).FailureTexts.contains(QStringLiteral("BAD PASSWORD")));
        QCOMPARE(profileOf(dm, 13).canskip, 1);
        QCOMPARE(profileOf(dm, 7).ChangeSuccessfully, QStringLiteral("successfully")); // still the defaults
        QCOMPARE(rows(dm, QStringLiteral("select count(*) from UnixOS where OSName = 'Solaris (manager account)'")),
                 QStringList{"0"});
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());

        // Opening again adds nothing twice, and a profile deleted after the upgrade is not brought back.
        DeleteOSProfile(dm, 8);
        const QStringList before = rows(dm, QStringLiteral("select (select count(*) from UnixOS), (select count(*) "
                                                           "from ActionFlg), (select count(*) from ActionRules)"));
        TdmPublic again(env.executablePath());
        QCOMPARE(rows(again, QStringLiteral("select (select count(*) from UnixOS), (select count(*) from ActionFlg), "
                                            "(select count(*) from ActionRules)")),
                 before);
    }

    void successTextsReachOnlyUntouchedShippedProfiles_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("osid");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("as shipped") << "" << 2 << false << QStringList{"changed by", "password changed."};
        QTest::newRow("failure texts edited")
            << "update ActionRules set FailureTexts = 'x' where OSID = 1" << 1 << false << QStringList();
        QTest::newRow("a step edited")
            << "update ActionFlg set flgvalue = 'P:' where OSID = 1 and flgname = 'InputNewPassword'" << 1 << false
            << QStringList();
        QTest::newRow("cannot be written") << "" << 1 << true << QStringList();
    }
    void successTextsReachOnlyUntouchedShippedProfiles()
    {
        QFETCH(QString, edit);
        QFETCH(int, osid);
        QFETCH(bool, locked);
        QFETCH(QStringList, expected);
        TestEnvironment env(false);
        makeWithoutSuccessTexts(env.databasePath(), edit);
        RecordingUiServices ui;
        TDBSession other; // its write lock stands for a file that cannot be written
        QVERIFY(other.OpenDatabase(env.databasePath(), true));
        if (locked)
            other.Execute(QStringLiteral("BEGIN IMMEDIATE"));
        TdmPublic& dm = env.dm();
        QCOMPARE(dm.ProfileSuccessTexts, !locked);
        TActionFlg flg = profileOf(dm, osid);
        QCOMPARE(flg.SuccessTexts, expected);
        if (locked)
            other.Execute(QStringLiteral("ROLLBACK"));
        // Saves still work where the column is missing; the texts are then kept nowhere.
        flg.SuccessTexts << QStringLiteral("done");
        SaveOSProfile(dm, flg);
        QCOMPARE(profileOf(dm, osid).SuccessTexts, locked ? QStringList() : expected + QStringList{"done"});
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
    }

    void databaseThatCannotGainTheColumnsStillReadsAndSaves()
    {
        TestEnvironment env(false);
        makeOld(env.databasePath());
        RecordingUiServices ui;
        // Another program holds the write lock past the busy wait, as a read-only file refuses writes.
        TDBSession other;
        QVERIFY(other.OpenDatabase(env.databasePath(), true));
        other.Execute(QStringLiteral("BEGIN IMMEDIATE"));
        TdmPublic& dm = env.dm();
        QVERIFY(dm.DBSession.Connected());
        QVERIFY(!dm.HostAccessColumns);
        QVERIFY(!dm.HostSwitchColumns);
        QVERIFY(!dm.ProfileRulesTable);
        QVERIFY(!dm.ProfileSuccessTexts);
        QCOMPARE(hostOf(dm, 1).hAddress, QStringLiteral("db1"));
        QCOMPARE(hostOf(dm, 1).MngElevation, TElevation::None);
        const TActionFlg linux = profileOf(dm, 1);
        QCOMPARE(linux.InputNewPassword, QStringLiteral("password:"));
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
        other.Execute(QStringLiteral("ROLLBACK"));

        // Written with the statement of the old schema.
        THost host = hostOf(dm, 1);
        host.hNote = QStringLiteral("saved");
        host.MngElevation = TElevation::Sudo;
        host.MngUseAgent = true;
        QVERIFY(dm.SaveHost(host, TSaveMode::Update));
        QCOMPARE(hostOf(dm, 1).hNote, QStringLiteral("saved"));
        QVERIFY(!HasHostAccessColumns(dm.DBSession));
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSchemaUpgrade)
#include "tst_schemaupgrade.moc"
