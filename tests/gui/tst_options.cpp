#include "batch/TfrmRunLog.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "engine/TfrmOperationSetting.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ModalDialogKeeper.h"
#include "ui/TfrmAbout.h"
#include "ui/TfrmBase.h"
#include "ui/TfrmChangePass.h"
#include "ui/TfrmLogin.h"
#include "ui/TfrmOptions.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>
#include <vector>

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void minimisedModalDialogComesBack()
    {
        TModalDialogKeeper keeper;
        qApp->installEventFilter(&keeper);
        RecordingUiServices ui;
        TestEnvironment env;
        TfrmOptions dialog(env.dm());
        dialog.setModal(true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.setWindowState(Qt::WindowMinimized);
        QTRY_VERIFY(!(dialog.windowState() & Qt::WindowMinimized));
        qApp->removeEventFilter(&keeper);
    }

    void cleanup() { TfrmBase::SetModalHook({}); }

    void stepLengthStaysWithinZeroAndThirty_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("next");
        QTest::newRow("down from 0") << "0" << -1 << "0";
        QTest::newRow("up from 0") << "0" << 1 << "1";
        QTest::newRow("up from 30") << "30" << 1 << "30";
        QTest::newRow("down from 30") << "30" << -1 << "29";
        QTest::newRow("not a number") << "abc" << 1 << "1";
        QTest::newRow("beyond, hand-edited") << "45" << -1 << "30";
        QTest::newRow("negative, hand-edited") << "-4" << 1 << "0";
    }
    void stepLengthStaysWithinZeroAndThirty()
    {
        QFETCH(QString, text);
        QFETCH(int, step);
        QFETCH(QString, next);
        QCOMPARE(TfrmOptions::StepLength(text, step), next);
    }

    void spinButtonsAndDefaultsChangeOnlyTheControlsUntilOk()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        const TOptionsFile& options = env.dm().OptionsFile;
        options.SetPassLength(29);
        options.SetPassNumber(false);
        options.SetTestLogin(false);
        TfrmOptions dialog(env.dm());
        QCOMPARE(dialog.edtLength->text(), QStringLiteral("29"));
        QVERIFY(!dialog.chkNumeric->isChecked());
        dialog.xafdsUp->click();
        dialog.xafdsUp->click();
        QCOMPARE(dialog.edtLength->text(), QStringLiteral("30"));
        dialog.RzBitBtn1->click();
        QCOMPARE(dialog.edtLength->text(), QStringLiteral("10")); // not the 8 an absent key reads as
        QVERIFY(dialog.chkNumeric->isChecked());
        QVERIFY(dialog.chkTestLogin->isChecked());
        QCOMPARE(options.PassLength(), 29);
        QVERIFY(!options.PassNumber());
        dialog.btnCancel->click();
        QCOMPARE(options.PassLength(), 29);
        QVERIFY(!options.TestLogin());

        TfrmOptions again(env.dm());
        again.RzBitBtn1->click();
        again.xafdsDown->click();
        again.chkSpechar->setChecked(false);
        again.btnSave->click();
        QCOMPARE(options.PassLength(), 9);
        QVERIFY(options.PassNumber());
        QVERIFY(!options.PassSpechar());
        QVERIFY(options.TestLogin());
    }

    void hiddenSendMailSwitchSurvivesOk()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        env.dm().OptionsFile.SetSendMail(false);
        TfrmOptions dialog(env.dm());
        QVERIFY(!dialog.chkSendMail->isVisibleTo(&dialog));
        dialog.btnSave->click();
        QVERIFY(!env.dm().OptionsFile.SendMail());
    }

    void tabReadsTheChosenNode()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TfrmOptions dialog(env.dm());
        dialog.show(); // the tree takes the focus, which must not choose a node by itself
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.pcOptions->count(), 1);
        QCOMPARE(dialog.pcOptions->tabText(0), QStringLiteral(" Setting Details "));
        QCOMPARE(dialog.pages->currentIndex(), 0);
        QCOMPARE(dialog.tvOption->topLevelItemCount(), 3);
        dialog.tvOption->setCurrentItem(dialog.tvOption->topLevelItem(2));
        QCOMPARE(dialog.pcOptions->tabText(0), QStringLiteral("Operation Confirmation"));
        QCOMPARE(dialog.pages->currentIndex(), 2);
        int visibleChecks = 0;
        for (QCheckBox* box : dialog.pages->currentWidget()->findChildren<QCheckBox*>())
            visibleChecks += box->isVisibleTo(dialog.pages->currentWidget());
        QCOMPARE(visibleChecks, 6); // delete, test login, generate, change, verify; the check after a change
        dialog.tvOption->setCurrentItem(dialog.tvOption->topLevelItem(1));
        QCOMPARE(dialog.pcOptions->tabText(0), QStringLiteral("Generate Password Rules"));
        QCOMPARE(dialog.pages->currentIndex(), 1);
    }

    void treeCaptionsFitWithAnyFont()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TfrmOptions dialog(env.dm());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTreeWidget* tree = dialog.tvOption;
        const QFontMetrics metrics(tree->font());
        for (int node = 0; node < tree->topLevelItemCount(); ++node) {
            const QString caption = tree->topLevelItem(node)->text(0);
            QVERIFY2(metrics.horizontalAdvance(caption) + tree->iconSize().width() < tree->viewport()->width(),
                     qPrintable(caption));
        }
        QVERIFY(tree->parentWidget()->width() >= 182);
        // The pages and buttons moved with the tree and stay inside the dialog.
        QVERIFY(dialog.pages->x() >= tree->parentWidget()->geometry().right());
        QVERIFY(dialog.pages->geometry().right() < dialog.width());
        QVERIFY(dialog.btnCancel->geometry().right() < dialog.width());
    }

    void dialogsHaveOnlyACloseBox()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        std::vector<std::unique_ptr<QDialog>> dialogs;
        dialogs.push_back(std::make_unique<TfrmOptions>(env.dm()));
        dialogs.push_back(std::make_unique<TfrmOperationSetting>(env.dm()));
        dialogs.push_back(std::make_unique<TfrmLogin>(env.dm()));
        dialogs.push_back(std::make_unique<TfrmChangePass>(env.dm()));
        dialogs.push_back(std::make_unique<TfrmAbout>());
        dialogs.push_back(std::make_unique<TfrmRunLog>()); // stands for every dialog built on TfrmBase
        for (const auto& dialog : dialogs) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
            // What the window system is asked for, after Qt filled in its defaults.
            const Qt::WindowFlags flags = dialog->windowHandle()->flags();
            const char* name = dialog->metaObject()->className();
            QVERIFY2(flags.testFlag(Qt::CustomizeWindowHint), name);
            QVERIFY2(flags.testFlag(Qt::WindowTitleHint), name);
            QVERIFY2(flags.testFlag(Qt::WindowCloseButtonHint), name);
            QVERIFY2(!flags.testFlag(Qt::WindowMinimizeButtonHint), name);
            QVERIFY2(!flags.testFlag(Qt::WindowMaximizeButtonHint), name);
            QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
            dialog->hide();
        }
    }

    void protectionSwitchesAtOnceAndSurvivesCancel()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        TfrmOptions dialog(dm);
        QVERIFY(!dialog.btnChange->isEnabled());
        QCOMPARE(dialog.btnEnablePWD->text(), QStringLiteral("Enable P&assword Protection"));
        // Without a password, one is asked for first; cancelling it leaves protection off.
        TfrmBase::SetModalHook([](QDialog& d) {
            d.reject();
            return d.result();
        });
        dialog.btnEnablePWD->click();
        QVERIFY(!dm.PasswordProtectionEnabled());
        QCOMPARE(dialog.btnEnablePWD->text(), QStringLiteral("Enable P&assword Protection"));
        TfrmBase::SetModalHook([](QDialog& d) {
            auto& change = dynamic_cast<TfrmChangePass&>(d);
            change.edtNew->setText(QStringLiteral("First#1"));
            change.edtVerify->setText(QStringLiteral("First#1"));
            change.btnSaveClick();
            return change.result();
        });
        dialog.btnEnablePWD->click();
        QVERIFY(dm.PasswordProtectionEnabled());
        QCOMPARE(DecipherPassword(dm.GetUserPass()), QStringLiteral("First#1"));
        QVERIFY(dialog.btnChange->isEnabled());
        QCOMPARE(dialog.btnEnablePWD->text(), QStringLiteral("Disable P&assword Protection"));

        // The password changed through the dialog is stored at once, and Cancel keeps it all.
        TfrmBase::SetModalHook([](QDialog& d) {
            auto& change = dynamic_cast<TfrmChangePass&>(d);
            change.edtOld->setText(QStringLiteral("First#1"));
            change.edtNew->setText(QStringLiteral("Lock'd"));
            change.edtVerify->setText(QStringLiteral("Lock'd"));
            change.btnSaveClick();
            return change.result();
        });
        dialog.btnChange->click();
        dialog.btnCancel->click();
        QVERIFY(dm.PasswordProtectionEnabled());
        QCOMPARE(DecipherPassword(dm.GetUserPass()), QStringLiteral("Lock'd"));
        QCOMPARE(dm.GetSysParam(QStringLiteral("EnablePWD")), QStringLiteral("1"));

        TfrmOptions later(dm);
        later.btnEnablePWD->click();
        QCOMPARE(dm.GetSysParam(QStringLiteral("EnablePWD")), QStringLiteral("-1"));
        QVERIFY(!later.btnChange->isEnabled());
    }
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
