// Prompt profiles in the database: loading with defaults, saving, deleting, identifier reuse.
#include "core/TdmPublic.h"
#include "engine/TActionFlg.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"

#include <QtTest>

#include <algorithm>

namespace {

int scalar(TdmPublic& dm, const QString& statement)
{
    auto query = dm.NewQuery();
    query->SelectSQL = statement;
    if (!dm.OpenQuery(*query))
        return -999;
    return query->Fields(0).AsInteger();
}

int rowsOf(TdmPublic& dm, int osid)
{
    return scalar(dm, QStringLiteral("select count(*) from ActionFlg where OSID = %1").arg(osid));
}

void run(TdmPublic& dm, const QString& statement)
{
    auto query = dm.NewQuery();
    query->SelectSQL = statement;
    QVERIFY2(dm.OpenQuery(*query), qPrintable(statement));
}

TActionFlg profile(const QString& name, const QString& old, int canskip, const QString& next, const QString& again,
                   const QString& done)
{
    TActionFlg flg;
    flg.OSName = name;
    flg.InputOldPassword = old;
    flg.canskip = canskip;
    flg.InputNewPassword = next;
    flg.RetypeNewPassword = again;
    flg.ChangeSuccessfully = done;
    return flg;
}

void compareSteps(const TActionFlg& actual, const TActionFlg& expected)
{
    QCOMPARE(actual.InputOldPassword, expected.InputOldPassword);
    QCOMPARE(actual.canskip, expected.canskip);
    QCOMPARE(actual.InputNewPassword, expected.InputNewPassword);
    QCOMPARE(actual.RetypeNewPassword, expected.RetypeNewPassword);
    QCOMPARE(actual.ChangeSuccessfully, expected.ChangeSuccessfully);
    QCOMPARE(actual.SuccessTexts, expected.SuccessTexts);
}

} // namespace

class TestActionFlg : public QObject
{
    Q_OBJECT

private slots:
    void newDatabaseHoldsTheDefaultProfiles_data()
    {
        QTest::addColumn<int>("osid");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("canskip");
        QTest::addColumn<QStringList>("successTexts");
        // BusyBox and shadow without PAM word the success differently from Linux-PAM.
        const QStringList linux{"changed by", "password changed."};
        QTest::newRow("Linux") << 1 << "Linux" << -1 << linux;
        QTest::newRow("Linux manager") << 2 << "Linux (manager account)" << 1 << linux;
        QTest::newRow("Solaris") << 3 << "Solaris" << -1 << QStringList();
        QTest::newRow("Solaris manager") << 4 << "Solaris (manager account)" << 1 << QStringList();
    }
    void newDatabaseHoldsTheDefaultProfiles()
    {
        QFETCH(int, osid);
        QFETCH(QString, name);
        QFETCH(int, canskip);
        QFETCH(QStringList, successTexts);
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select OSName from UnixOS where OSID = %1").arg(osid);
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->Fields(0).AsString(), name);
        QCOMPARE(rowsOf(dm, osid), 4);
        TActionFlg flg;
        flg.OSID = osid;
        LoadActionFlg(dm, flg);
        const QString prompt = QStringLiteral("password:");
        TActionFlg expected = profile({}, prompt, canskip, prompt, prompt, QStringLiteral("successfully"));
        expected.SuccessTexts = successTexts;
        compareSteps(flg, expected);
        QCOMPARE(scalar(dm, QStringLiteral("select count(*) from UnixOS")), 10);
        // What real hosts print: BusyBox and shadow succeed, no refusal is taken for a success.
        const QStringList texts = flg.AllSuccessTexts();
        const auto found = [&texts](const QString& line) {
            return std::any_of(texts.cbegin(), texts.cend(),
                               [&line](const QString& text) { return line.contains(text, Qt::CaseInsensitive); });
        };
        QCOMPARE(found(QStringLiteral("passwd: password for al changed by al")), !successTexts.isEmpty());
        QCOMPARE(found(QStringLiteral("passwd: password changed.")), !successTexts.isEmpty());
        QVERIFY(!found(QStringLiteral("passwd: password for al is unchanged")));
        QVERIFY(!found(QStringLiteral("passwd: Password unchanged.")));
    }

    void profileWithoutRowsGivesTheDefaults_data()
    {
        QTest::addColumn<int>("osid");
        QTest::newRow("Other OS...") << -1;
        QTest::newRow("never existed") << 77;
        QTest::newRow("zero") << 0;
    }
    void profileWithoutRowsGivesTheDefaults()
    {
        QFETCH(int, osid);
        TestEnvironment env;
        RecordingUiServices ui;
        TActionFlg flg = profile(QStringLiteral("kept"), QStringLiteral("x"), 5, QStringLiteral("y"),
                                 QStringLiteral("z"), QStringLiteral("w"));
        flg.OSID = osid;
        flg.SuccessTexts = {QStringLiteral("stale")};
        LoadActionFlg(env.dm(), flg);
        compareSteps(flg, profile({}, QStringLiteral(":"), -1, QStringLiteral(":"), QStringLiteral(":"),
                                  QStringLiteral("successfully")));
        QCOMPARE(flg.OSName, QStringLiteral("kept"));
        QCOMPARE(flg.OSID, osid);
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
    }

    void nullValueGivesTheDefaultOfThatStepOnly()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        run(dm, QStringLiteral("insert into ActionFlg values(99,'InputOldPassword','old:',NULL,1)"));
        run(dm, QStringLiteral("insert into ActionFlg values(99,'InputNewPassword',NULL,-1,1)"));
        run(dm, QStringLiteral("insert into ActionFlg values(99,'RetypeNewPassword','again:',-1,1)"));
        run(dm, QStringLiteral("insert into ActionFlg values(99,'ChangeSuccessfully',NULL,-1,1)"));
        TActionFlg flg;
        flg.OSID = 99;
        LoadActionFlg(dm, flg);
        compareSteps(flg, profile({}, QStringLiteral("old:"), -1, QStringLiteral(":"), QStringLiteral("again:"),
                                  QStringLiteral("successfully")));
    }

    void skipFlagComesFromTheOldPasswordRow_data()
    {
        QTest::addColumn<int>("canskip");
        QTest::newRow("perform") << -1;
        QTest::newRow("skip, as the editor writes") << 1;
        QTest::newRow("skip, zero") << 0;
        QTest::newRow("skip, any other value") << 42;
    }
    void skipFlagComesFromTheOldPasswordRow()
    {
        QFETCH(int, canskip);
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        TActionFlg saved = profile(QStringLiteral("Probe"), QStringLiteral("old:"), canskip, QStringLiteral("new:"),
                                   QStringLiteral("again:"), QStringLiteral("done"));
        const int osid = SaveOSProfile(dm, saved);
        // The three other rows carry -1 whatever the profile says.
        QCOMPARE(scalar(dm, QStringLiteral("select count(*) from ActionFlg where OSID = %1 and canskip = -1 and "
                                           "flgname <> 'InputOldPassword'")
                                .arg(osid)),
                 3);
        QCOMPARE(
            scalar(dm, QStringLiteral("select count(*) from ActionFlg where OSID = %1 and flgorder = 1").arg(osid)), 4);
        TActionFlg loaded;
        loaded.OSID = osid;
        LoadActionFlg(dm, loaded);
        compareSteps(loaded, saved);
    }

    void quotesSurviveSaveAndLoad()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        TActionFlg saved =
            profile(QStringLiteral("O'Brien's Unix"), QStringLiteral("user's old password:"), -1,
                    QStringLiteral("'new':"), QStringLiteral("''again'':"), QStringLiteral("isn't it changed"));
        saved.SuccessTexts = {QStringLiteral("it's done"), QStringLiteral("%1 changed")};
        const int osid = SaveOSProfile(dm, saved);
        TActionFlg loaded;
        loaded.OSID = osid;
        LoadActionFlg(dm, loaded);
        compareSteps(loaded, saved);
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select OSName from UnixOS where OSID = %1").arg(osid);
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->Fields(0).AsString(), saved.OSName);

        saved.OSName = QStringLiteral("it's renamed");
        SaveOSProfile(dm, saved);
        query->Close();
        QVERIFY(dm.OpenQuery(*query));
        QCOMPARE(query->Fields(0).AsString(), saved.OSName);
    }

    void identifiersAreLargestPlusOneAndReusedAfterDelete()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        run(dm, QStringLiteral("delete from ActionFlg"));
        run(dm, QStringLiteral("delete from UnixOS"));
        TActionFlg first = profile(QStringLiteral("first"), QStringLiteral("a:"), -1, QStringLiteral("b:"),
                                   QStringLiteral("c:"), QStringLiteral("d"));
        QCOMPARE(SaveOSProfile(dm, first), 1);
        QCOMPARE(first.OSID, 1);
        TActionFlg second = first;
        second.OSID = -1;
        second.OSName = QStringLiteral("second");
        second.ChangeSuccessfully = QStringLiteral("second done");
        QCOMPARE(SaveOSProfile(dm, second), 2);

        // A host still naming 2 falls back to the defaults, then takes over the next new profile.
        DeleteOSProfile(dm, 2);
        QCOMPARE(rowsOf(dm, 2), 0);
        QCOMPARE(scalar(dm, QStringLiteral("select count(*) from UnixOS where OSID = 2")), 0);
        TActionFlg hostView;
        hostView.OSID = 2;
        LoadActionFlg(dm, hostView);
        QCOMPARE(hostView.ChangeSuccessfully, QStringLiteral("successfully"));

        TActionFlg third = first;
        third.OSID = -1;
        third.ChangeSuccessfully = QStringLiteral("third done");
        QCOMPARE(SaveOSProfile(dm, third), 2);
        LoadActionFlg(dm, hostView);
        QCOMPARE(hostView.ChangeSuccessfully, QStringLiteral("third done"));
        QCOMPARE(rowsOf(dm, 1), 4);
        QVERIFY(ui.shown(QStringLiteral("msgbox")).isEmpty());
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
    }

    void savingAnExistingProfileReplacesItsFourRows()
    {
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        TActionFlg flg = profile(QStringLiteral("Edited"), QStringLiteral("a:"), -1, QStringLiteral("b:"),
                                 QStringLiteral("c:"), QStringLiteral("d"));
        const int osid = SaveOSProfile(dm, flg);
        flg.InputNewPassword = QStringLiteral("changed:");
        flg.canskip = 1;
        flg.SuccessTexts = {QStringLiteral("done")};
        QCOMPARE(SaveOSProfile(dm, flg), osid);
        QCOMPARE(SaveOSProfile(dm, flg), osid);
        QCOMPARE(rowsOf(dm, osid), 4);
        QCOMPARE(scalar(dm, QStringLiteral("select count(*) from UnixOS where OSID = %1").arg(osid)), 1);
        TActionFlg loaded;
        loaded.OSID = osid;
        LoadActionFlg(dm, loaded);
        compareSteps(loaded, flg);
        // Other profiles are untouched.
        QCOMPARE(rowsOf(dm, 1), 4);
    }

    void deleteRemovesOnlyThatProfile()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        DeleteOSProfile(dm, 3);
        QCOMPARE(rowsOf(dm, 3), 0);
        QCOMPARE(scalar(dm, QStringLiteral("select count(*) from UnixOS")), 9);
        QCOMPARE(scalar(dm, QStringLiteral("select count(*) from ActionFlg")), 36);
        QCOMPARE(scalar(dm, QStringLiteral("select count(*) from ActionRules where OSID = 3")), 0);
        DeleteOSProfile(dm, -1);
        QCOMPARE(scalar(dm, QStringLiteral("select count(*) from UnixOS")), 9);
        QVERIFY(ui.shown(QStringLiteral("msgbox")).isEmpty());
        QCOMPARE(dm.DBSession.TransactionDepth(), 0);
    }

    void failuresOnAClosedDatabase()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        dm.DBSession.Close();

        DeleteOSProfile(dm, -1); // nothing to do, so nothing to report
        QVERIFY(ui.shown(QStringLiteral("msgbox")).isEmpty());
        DeleteOSProfile(dm, 1);
        const auto boxes = ui.shown(QStringLiteral("msgbox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].caption, QStringLiteral("Error"));
        QCOMPARE(boxes[0].style, int(StyleError));
        QVERIFY(boxes[0].text.contains(QStringLiteral("closed database")));

        TActionFlg flg;
        QVERIFY_THROWS_EXCEPTION(std::exception, SaveOSProfile(dm, flg));
        QCOMPARE(dm.DBSession.TransactionDepth(), 0);

        // The load statement cannot run: the failure reaches the caller.
        flg.OSID = 1;
        QVERIFY_THROWS_EXCEPTION(std::exception, LoadActionFlg(dm, flg));
        QVERIFY(!ui.shown(QStringLiteral("runlog")).isEmpty());
        QCOMPARE(ui.shown(QStringLiteral("runlog")).last().caption, QStringLiteral("Operation Error"));
    }
};

QTEST_GUILESS_MAIN(TestActionFlg)
#include "tst_actionflg.moc"
