// The prompt profile editor: what it shows, the order of its checks, and what OK, Cancel and Delete do
// to the profile tables.
#include "core/TdmPublic.h"
#include "engine/TActionFlg.h"
#include "engine/TfrmOperationSetting.h"
#include "tests/gui/EditorTestSupport.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QtTest>

using EditorTest::ModalDriver;
using EditorTest::Profiles;
using EditorTest::Rows;

namespace {

/// What the dialog showed when it opened.
struct Opened
{
    QString caption;
    QString name;
    QStringList texts;
    bool skipTicked = false;
    bool deleteEnabled = false;
    bool oldTextEnabled = false;
};

Opened snapshot(TfrmOperationSetting& dialog)
{
    return {dialog.windowTitle(),
            dialog.edtName->text(),
            {dialog.edtOldTxt->toPlainText(), dialog.edtNewText->toPlainText(), dialog.edtReNewText->toPlainText(),
             dialog.edtSuccessText->toPlainText()},
            dialog.chkOLDPass->isChecked(),
            dialog.btnDelete->isEnabled(),
            dialog.edtOldTxt->isEnabled()};
}

TActionFlg loaded(TdmPublic& dm, int osid)
{
    TActionFlg flg;
    flg.OSID = osid;
    LoadActionFlg(dm, flg);
    return flg;
}

void fill(TfrmOperationSetting& dialog, const QStringList& texts, const QString& name)
{
    dialog.edtOldTxt->setPlainText(texts.value(0));
    dialog.edtNewText->setPlainText(texts.value(1));
    dialog.edtReNewText->setPlainText(texts.value(2));
    dialog.edtSuccessText->setPlainText(texts.value(3));
    dialog.edtName->setText(name);
}

/// Runs EditOSProfile with drive acting on the dialog; returns its result and updates osid.
bool edit(TdmPublic& dm, int& osid, const QString& name, const std::function<void(TfrmOperationSetting&)>& drive)
{
    ModalDriver driver([&](QDialog& dialog) {
        auto* settings = qobject_cast<TfrmOperationSetting*>(&dialog);
        QVERIFY(settings);
        drive(*settings);
    });
    return EditOSProfile(nullptr, dm, osid, name);
}

} // namespace

class TestOsSettings : public QObject
{
    Q_OBJECT

private slots:
    void opensWithTheProfileOrTheDefaults_data()
    {
        QTest::addColumn<int>("osid");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shownName");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<bool>("skipTicked");
        QTest::addColumn<bool>("deleteEnabled");
        const QStringList defaults{":", ":", ":", "successfully"};
        QTest::newRow("other OS") << -1 << "Other OS..."
                                  << "Operating System Settings - Other OS..."
                                  << "" << defaults << false << false;
        // The name shown by the caller does not matter for OSID -1.
        QTest::newRow("other OS, any name") << -1 << "whatever"
                                            << "Operating System Settings - Other OS..."
                                            << "" << defaults << false << false;
        QTest::newRow("stored profile") << 1 << "Linux"
                                        << "Operating System Settings - Linux"
                                        << "Linux" << QStringList{"password:", "password:", "password:", "successfully"}
                                        << false << true;
        QTest::newRow("profile that skips")
            << 2 << "Linux (manager account)"
            << "Operating System Settings - Linux (manager account)"
            << "Linux (manager account)" << QStringList{"password:", "password:", "password:", "successfully"} << true
            << true;
        QTest::newRow("identifier without rows") << 77 << "Gone"
                                                 << "Operating System Settings - Gone"
                                                 << "Gone" << defaults << false << true;
    }
    void opensWithTheProfileOrTheDefaults()
    {
        QFETCH(int, osid);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, shownName);
        QFETCH(QStringList, texts);
        QFETCH(bool, skipTicked);
        QFETCH(bool, deleteEnabled);
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        const QStringList before = Profiles(dm);
        Opened opened;
        const int original = osid;
        const bool changed = edit(dm, osid, name, [&](TfrmOperationSetting& dialog) {
            opened = snapshot(dialog);
            dialog.btnCancel->click();
        });
        QCOMPARE(opened.caption, caption);
        QCOMPARE(opened.name, shownName);
        QCOMPARE(opened.texts, texts);
        QCOMPARE(opened.skipTicked, skipTicked);
        QCOMPARE(opened.oldTextEnabled, !opened.skipTicked);
        QCOMPARE(opened.deleteEnabled, deleteEnabled);
        QVERIFY(!changed);
        QCOMPARE(osid, original);
        QCOMPARE(Profiles(dm), before);
    }

    void refusesTheFirstEmptyFieldInOrder_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("skip");
        QTest::addColumn<QString>("refused");
        QTest::newRow("everything empty") << QStringList{"", "", "", ""} << "" << false << "edtOldTxt";
        QTest::newRow("old empty") << QStringList{"", "n", "r", "s"} << "x" << false << "edtOldTxt";
        QTest::newRow("old skipped, rest empty") << QStringList{"", "", "", ""} << "" << true << "edtNewText";
        QTest::newRow("new empty") << QStringList{"o", "", "", ""} << "" << false << "edtNewText";
        QTest::newRow("retype empty") << QStringList{"o", "n", "", "s"} << "x" << false << "edtReNewText";
        QTest::newRow("success empty") << QStringList{"o", "n", "r", ""} << "x" << false << "edtSuccessText";
        QTest::newRow("name empty") << QStringList{"o", "n", "r", "s"} << "" << false << "edtName";
        QTest::newRow("name empty, old skipped") << QStringList{"", "n", "r", "s"} << "" << true << "edtName";
    }
    void refusesTheFirstEmptyFieldInOrder()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, name);
        QFETCH(bool, skip);
        QFETCH(QString, refused);
        TestEnvironment env;
        RecordingUiServices ui;
        TfrmOperationSetting dialog(env.dm());
        dialog.ShowProfile();
        dialog.show();
        fill(dialog, texts, name);
        dialog.chkOLDPass->setChecked(skip);
        dialog.btnSave->click();

        const auto balloons = ui.shown(QStringLiteral("balloon"));
        QCOMPARE(balloons.size(), 1);
        QCOMPARE(balloons[0].controlName, refused);
        QCOMPARE(balloons[0].text, QStringLiteral("Please input text here "));
        QCOMPARE(balloons[0].icon, BalloonIcon::Info);
        QCOMPARE(balloons[0].durationMs, 1000);
        QVERIFY(!dialog.Accepted);
        QVERIFY(!dialog.Changed);
        QVERIFY(dialog.isVisible());
    }

    void skipDisablesTheOldTextButKeepsIt()
    {
        TestEnvironment env;
        TfrmOperationSetting dialog(env.dm());
        dialog.ShowProfile();
        dialog.edtOldTxt->setPlainText(QStringLiteral("old:"));
        QTest::mouseClick(dialog.chkOLDPass, Qt::LeftButton);
        QVERIFY(!dialog.edtOldTxt->isEnabled());
        QVERIFY(!dialog.lbOldpass->isEnabled());
        QTest::mouseClick(dialog.chkOLDPass, Qt::LeftButton);
        QVERIFY(dialog.edtOldTxt->isEnabled());
        QVERIFY(dialog.lbOldpass->isEnabled());
        QCOMPARE(dialog.edtOldTxt->toPlainText(), QStringLiteral("old:"));
    }

    void okForOtherOSCreatesTheNextProfile()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        int osid = -1;
        const bool changed = edit(dm, osid, QStringLiteral("Other OS..."), [](TfrmOperationSetting& dialog) {
            fill(dialog, {"Old password: ", "New password: ", "Re-enter new password: ", "changed"}, "AIX 7");
            dialog.btnSave->click();
        });
        QVERIFY(changed);
        QCOMPARE(osid, 11);
        QCOMPARE(Rows(dm, QStringLiteral("select OSName from UnixOS where OSID = 11")), QStringList{"AIX 7"});
        const TActionFlg saved = loaded(dm, 11);
        QCOMPARE(saved.InputOldPassword, QStringLiteral("Old password: "));
        QCOMPARE(saved.canskip, -1);
        QCOMPARE(saved.InputNewPassword, QStringLiteral("New password: "));
        QCOMPARE(saved.RetypeNewPassword, QStringLiteral("Re-enter new password: "));
        QCOMPARE(saved.ChangeSuccessfully, QStringLiteral("changed"));
        QCOMPARE(Rows(dm, QStringLiteral("select count(*) from ActionFlg where OSID = 11")), QStringList{"4"});
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
    }

    void pastedLineBreaksNeverReachAPrompt()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        int osid = -1;
        QString shownAfterPaste;
        QVERIFY(edit(dm, osid, QStringLiteral("Other OS..."), [&](TfrmOperationSetting& dialog) {
            fill(dialog, {"Old password: ", "x", "Again: ", "changed"}, "Pasted");
            dialog.edtNewText->clear();
            dialog.edtNewText->insertPlainText(QStringLiteral("New\r\npassword:\n"));
            shownAfterPaste = dialog.edtNewText->toPlainText();
            dialog.btnSave->click();
        }));
        QCOMPARE(shownAfterPaste, QStringLiteral("Newpassword:"));
        QCOMPARE(loaded(dm, osid).InputNewPassword, QStringLiteral("Newpassword:"));
    }

    void renamingRewritesTheFourRowsWithTheSameTexts()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        const QString rowsOf1 = QStringLiteral("select flgname, flgvalue, canskip from ActionFlg where OSID = 1 "
                                               "order by flgname");
        const QStringList before = Rows(dm, rowsOf1);
        const QStringList others = Rows(dm, QStringLiteral("select * from ActionFlg where OSID <> 1 order by 1, 2"));
        int osid = 1;
        const bool changed = edit(dm, osid, QStringLiteral("Linux"), [](TfrmOperationSetting& dialog) {
            dialog.edtName->setText(QStringLiteral("Debian's Linux"));
            dialog.btnSave->click();
        });
        QVERIFY(changed);
        QCOMPARE(osid, 1);
        QCOMPARE(Rows(dm, QStringLiteral("select OSName from UnixOS where OSID = 1")), QStringList{"Debian's Linux"});
        QCOMPARE(Rows(dm, rowsOf1), before);
        QCOMPARE(before.size(), 4);
        QCOMPARE(Rows(dm, QStringLiteral("select * from ActionFlg where OSID <> 1 order by 1, 2")), others);
    }

    void skippedStepSavesAnEmptyOldText()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        int osid = 1;
        edit(dm, osid, QStringLiteral("Linux"), [](TfrmOperationSetting& dialog) {
            dialog.chkOLDPass->setChecked(true);
            dialog.edtOldTxt->clear();
            dialog.btnSave->click();
        });
        QVERIFY(ui.shown(QStringLiteral("balloon")).isEmpty());
        const TActionFlg saved = loaded(dm, 1);
        QCOMPARE(saved.canskip, 1);
        QCOMPARE(saved.InputOldPassword, QString());
        QCOMPARE(Rows(dm, QStringLiteral("select flgvalue from ActionFlg where OSID = 1 and "
                                         "flgname = 'InputOldPassword'")),
                 QStringList{""});
    }

    void aDuplicateNameNeverMerges_data()
    {
        QTest::addColumn<int>("osid");
        QTest::addColumn<int>("expectedOsid");
        QTest::addColumn<QStringList>("expectedNames");
        const QStringList shippedLater{"5|FreeBSD", "6|FreeBSD (manager account)",
                                       "7|OpenBSD", "8|OpenBSD (manager account)",
                                       "9|macOS",   "10|macOS (manager account)"};
        QTest::newRow("existing takes the name")
            << 1 << 1
            << QStringList{"1|Solaris", "2|Linux (manager account)", "3|Solaris", "4|Solaris (manager account)"} +
                   shippedLater;
        QTest::newRow("new one with the name")
            << -1 << 11
            << QStringList{"1|Linux", "2|Linux (manager account)", "3|Solaris", "4|Solaris (manager account)"} +
                   shippedLater + QStringList{"11|Solaris"};
    }
    void aDuplicateNameNeverMerges()
    {
        QFETCH(int, osid);
        QFETCH(int, expectedOsid);
        QFETCH(QStringList, expectedNames);
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        const QString solarisRows = QStringLiteral("select * from ActionFlg where OSID = 3 order by flgname");
        const QStringList solarisBefore = Rows(dm, solarisRows);
        edit(dm, osid, QStringLiteral("Linux"), [](TfrmOperationSetting& dialog) {
            fill(dialog, {"a:", "b:", "c:", "d"}, QStringLiteral("Solaris"));
            dialog.btnSave->click();
        });
        QCOMPARE(osid, expectedOsid);
        QCOMPARE(Rows(dm, QStringLiteral("select OSID, OSName from UnixOS order by OSID")), expectedNames);
        QCOMPARE(Rows(dm, solarisRows), solarisBefore);
    }

    void deleteRemovesTheProfileWithoutAsking()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        THost host;
        host.hID = 1;
        host.hAddress = QStringLiteral("sol.example");
        host.hPort = 22;
        host.OSID = 3;
        host.UseManager = 1;
        QVERIFY(dm.SaveHost(host, TSaveMode::Insert));
        int osid = 3;
        const bool changed = edit(dm, osid, QStringLiteral("Solaris"), [](TfrmOperationSetting& dialog) {
            dialog.edtName->setText(QStringLiteral("edited but deleted"));
            dialog.btnDelete->click();
        });
        QVERIFY(changed);
        QCOMPARE(osid, 3);
        QVERIFY(ui.shown(QStringLiteral("msgbox")).isEmpty());
        QCOMPARE(Rows(dm, QStringLiteral("select count(*) from UnixOS where OSID = 3")), QStringList{"0"});
        QCOMPARE(Rows(dm, QStringLiteral("select count(*) from ActionFlg where OSID = 3")), QStringList{"0"});
        QCOMPARE(Rows(dm, QStringLiteral("select count(*) from UnixOS")), QStringList{"9"});
        // The host keeps naming the profile and from now on runs with the defaults.
        QCOMPARE(Rows(dm, QStringLiteral("select OSID from Hosts where hID = 1")), QStringList{"3"});
        QCOMPARE(loaded(dm, 3).ChangeSuccessfully, QStringLiteral("successfully"));
        QCOMPARE(loaded(dm, 3).InputOldPassword, QStringLiteral(":"));
    }

    void cancelAfterEditingLeavesTheDatabaseUnchanged_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel button") << "cancel";
        QTest::newRow("Escape key") << "escape";
        QTest::newRow("close box") << "close";
        QTest::newRow("Enter on the focused Cancel") << "enter on cancel";
    }
    void cancelAfterEditingLeavesTheDatabaseUnchanged()
    {
        QFETCH(QString, how);
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        const QStringList before = Profiles(dm);
        int osid = 1;
        const bool changed = edit(dm, osid, QStringLiteral("Linux"), [&](TfrmOperationSetting& dialog) {
            fill(dialog, {"x", "y", "z", "w"}, QStringLiteral("Renamed"));
            dialog.chkOLDPass->setChecked(true);
            if (how == QLatin1String("cancel"))
                dialog.btnCancel->click();
            else if (how == QLatin1String("escape"))
                QTest::keyClick(dialog.edtName, Qt::Key_Escape);
            else if (how == QLatin1String("enter on cancel")) {
                dialog.activateWindow();
                dialog.btnCancel->setFocus();
                QTest::keyClick(dialog.btnCancel, Qt::Key_Return);
            } else
                dialog.close();
        });
        QVERIFY(!changed);
        QCOMPARE(osid, 1);
        QCOMPARE(Profiles(dm), before);
    }

    void rulesAreShownAndSaved()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        int osid = 5;
        bool exitStatusShown = false;
        QString failuresShown;
        QString successesShown = QStringLiteral("<not shown>");
        bool englishShown = false;
        bool acceptedByEnter = true;
        const bool changed = edit(dm, osid, QStringLiteral("FreeBSD"), [&](TfrmOperationSetting& dialog) {
            exitStatusShown = dialog.chkExitStatus->isChecked();
            failuresShown = dialog.edtFailTexts->toPlainText();
            successesShown = dialog.edtSuccessTexts->toPlainText();
            englishShown = dialog.chkEnglish->isChecked();
            // Enter in the list starts another text; it does not press OK.
            dialog.activateWindow();
            dialog.edtFailTexts->setFocus();
            dialog.edtFailTexts->setPlainText(QStringLiteral("  first  \n\nsecond"));
            dialog.edtFailTexts->moveCursor(QTextCursor::End);
            QTest::keyClick(dialog.edtFailTexts, Qt::Key_Return);
            QTest::keyClicks(dialog.edtFailTexts, QStringLiteral("it's third"));
            dialog.edtSuccessTexts->setFocus();
            dialog.edtSuccessTexts->setPlainText(QStringLiteral(" done \n\n"));
            dialog.edtSuccessTexts->moveCursor(QTextCursor::End);
            QTest::keyClicks(dialog.edtSuccessTexts, QStringLiteral("it's set"));
            QTest::keyClick(dialog.edtSuccessTexts, Qt::Key_Return);
            acceptedByEnter = dialog.Accepted;
            dialog.chkEnglish->setChecked(false);
            // With success by exit status no success text is needed.
            dialog.edtSuccessText->clear();
            dialog.btnSave->click();
        });
        QVERIFY(changed);
        QVERIFY(exitStatusShown);
        QVERIFY(englishShown);
        QCOMPARE(failuresShown.split(QLatin1Char('\n')).first(), QStringLiteral("BAD PASSWORD"));
        QVERIFY(failuresShown.endsWith(QLatin1String("\nMismatch")));
        QVERIFY(!acceptedByEnter);
        QCOMPARE(successesShown, QString());
        const TActionFlg saved = loaded(dm, 5);
        QCOMPARE(saved.SuccessTexts, (QStringList{"done", "it's set"}));
        QCOMPARE(saved.FailureTexts, (QStringList{"first", "second", "it's third"}));
        QVERIFY(saved.SuccessByExitStatus);
        QVERIFY(!saved.EnglishMessages);
        QVERIFY(saved.ChangeSuccessfully.isEmpty());
        QCOMPARE(Rows(dm, QStringLiteral("select count(*) from ActionRules where OSID = 5")), QStringList{"1"});

        // Without it, the success text is required as before.
        osid = 1;
        edit(dm, osid, QStringLiteral("Linux"), [&](TfrmOperationSetting& dialog) {
            successesShown = dialog.edtSuccessTexts->toPlainText();
            dialog.edtSuccessText->clear();
            dialog.btnSave->click();
            QVERIFY(!dialog.Accepted);
            dialog.btnCancel->click();
        });
        QCOMPARE(ui.shown(QStringLiteral("balloon")).value(0).controlName, QStringLiteral("edtSuccessText"));
        QCOMPARE(successesShown, QStringLiteral("changed by\npassword changed."));
    }

    void enterInAPromptPressesOkAndInTheNameMovesOn()
    {
        TestEnvironment env;
        RecordingUiServices ui;
        TdmPublic& dm = env.dm();
        int osid = 4;
        QString focusAfterNameEnter;
        const bool changed =
            edit(dm, osid, QStringLiteral("Solaris (manager account)"), [&](TfrmOperationSetting& dialog) {
                dialog.activateWindow();
                dialog.edtName->setFocus();
                QTest::keyClick(dialog.edtName, Qt::Key_Return);
                focusAfterNameEnter = dialog.focusWidget() ? dialog.focusWidget()->objectName() : QString();
                QVERIFY(!dialog.Accepted);
                dialog.edtSuccessText->setFocus();
                QTest::keyClick(dialog.edtSuccessText, Qt::Key_Return);
            });
        QCOMPARE(focusAfterNameEnter, QStringLiteral("btnSave"));
        QVERIFY(changed);
        // The prompt stays one line: Enter pressed OK instead of breaking it.
        QCOMPARE(loaded(dm, 4).ChangeSuccessfully, QStringLiteral("successfully"));
    }
};

QTEST_MAIN(TestOsSettings)
#include "tst_ossettings.moc"
