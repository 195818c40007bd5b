// The host editor: the order and texts of its checks, the port filter, the OS list and its profile
// editor, reading the record back, the keyboard of the dialog and its balloons.
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "engine/TfrmOperationSetting.h"
#include "tests/gui/EditorTestSupport.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "ui/GuiUiServices.h"
#include "ui/TfrmHostEdit.h"
#include "ui/TfrmKeyBoard.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryFile>
#include <QToolButton>
#include <QtTest>

using EditorTest::ModalDriver;
using EditorTest::OpenBalloons;
using EditorTest::Rows;

namespace {

THost sampleHost()
{
    THost host;
    host.hID = 12;
    host.hAddress = QStringLiteral("db1.example");
    host.hPort = 2200;
    host.hNote = QStringLiteral("Accounting's server");
    host.OSID = 3;
    host.MngLogin = QStringLiteral("root");
    host.MngPwd = EncipherPassword(QStringLiteral("s3cret'pw"));
    host.MngKeyPath = QStringLiteral("/keys/db1");
    host.UseManager = -1;
    host.MngUseAgent = true;
    return host;
}

QStringList osItems(const QComboBox* combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i) + QLatin1Char('=') + combo->itemData(i).toString();
    return items;
}

struct Editor
{
    TestEnvironment env;
    TdmPublic& dm = env.dm();
    TfrmHostEdit dialog{dm};

    explicit Editor(const THost& host = sampleHost())
    {
        dialog.ShowHost(host);
        dialog.show();
    }
};

} // namespace

class TestHostEdit : public QObject
{
    Q_OBJECT

private slots:
    void checksFieldsInOrder_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("port");
        QTest::addColumn<int>("loginAs");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("message");
        const QString addressText = QStringLiteral("Please input [hot address] ");
        const QString portText = QStringLiteral("The port scope is form 1 to 65535. ");
        const QString loginText = QStringLiteral("Please input [Manager Login] ");
        const QString passwordText = QStringLiteral("Please input [Manager Password] ");
        QTest::newRow("no address") << ""
                                    << "22" << -1 << "root"
                                    << "pw"
                                    << "edtName" << addressText;
        QTest::newRow("address before port") << ""
                                             << "" << -1 << ""
                                             << ""
                                             << "edtName" << addressText;
        QTest::newRow("empty port") << "h"
                                    << "" << -1 << "root"
                                    << "pw"
                                    << "edtPort" << portText;
        QTest::newRow("port 0") << "h"
                                << "0" << -1 << "root"
                                << "pw"
                                << "edtPort" << portText;
        QTest::newRow("port 65536") << "h"
                                    << "65536" << -1 << "root"
                                    << "pw"
                                    << "edtPort" << portText;
        QTest::newRow("port not a number") << "h"
                                           << "2x" << 1 << ""
                                           << ""
                                           << "edtPort" << portText;
        QTest::newRow("port before manager") << "h"
                                             << "99999" << -1 << ""
                                             << ""
                                             << "edtPort" << portText;
        QTest::newRow("manager login") << "h"
                                       << "22" << -1 << ""
                                       << "pw"
                                       << "edtMngLogin" << loginText;
        QTest::newRow("address with a blank") << "db 1"
                                              << "22" << -1 << "root"
                                              << "pw"
                                              << "edtName"
                                              << "The host address contains white space. ";
        QTest::newRow("address with a colon, no IPv6") << "db1:22"
                                                       << "22" << -1 << "root"
                                                       << "pw"
                                                       << "edtName"
                                                       << "The host address is neither a host name, an IPv4 address "
                                                          "nor an IPv6 address (\":\" belongs to none of them). ";
        QTest::newRow("bracketed IPv6") << "[fe80::1]"
                                        << "22" << -1 << "root"
                                        << "pw"
                                        << ""
                                        << "";
        QTest::newRow("manager login taken for an option")
            << "h"
            << "22" << 1 << "-froot"
            << ""
            << "edtMngLogin"
            << "The manager login starts with \"-\", which the host would take for an option. ";
        QTest::newRow("login before password") << "h"
                                               << "22" << -1 << ""
                                               << ""
                                               << "edtMngLogin" << loginText;
        QTest::newRow("manager password") << "h"
                                          << "22" << -1 << "root"
                                          << ""
                                          << "edtMngPwd" << passwordText;
        QTest::newRow("port 1") << "h"
                                << "1" << -1 << "root"
                                << "pw"
                                << ""
                                << "";
        QTest::newRow("port 65535") << "h"
                                    << "65535" << -1 << "root"
                                    << "pw"
                                    << ""
                                    << "";
        QTest::newRow("user's account needs no manager") << "h"
                                                         << "22" << 1 << ""
                                                         << ""
                                                         << ""
                                                         << "";
    }
    void checksFieldsInOrder()
    {
        QFETCH(QString, address);
        QFETCH(QString, port);
        QFETCH(int, loginAs);
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(QString, refused);
        QFETCH(QString, message);
        RecordingUiServices ui;
        Editor editor;
        TfrmHostEdit& dialog = editor.dialog;
        dialog.edtName->setText(address);
        dialog.edtPort->setText(port);
        dialog.cbbLoginAs->setCurrentIndex(dialog.cbbLoginAs->findData(QString::number(loginAs)));
        dialog.edtMngLogin->setText(login);
        dialog.edtMngPwd->setText(password);
        dialog.btnSave->click();

        const auto balloons = ui.shown(QStringLiteral("balloon"));
        if (refused.isEmpty()) {
            QVERIFY(balloons.isEmpty());
            QVERIFY(dialog.Accepted);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(!dialog.isVisible());
            return;
        }
        QCOMPARE(balloons.size(), 1);
        QCOMPARE(balloons[0].controlName, refused);
        QCOMPARE(balloons[0].text, message);
        QCOMPARE(balloons[0].icon, BalloonIcon::Info);
        QCOMPARE(balloons[0].durationMs, 1000);
        QVERIFY(!dialog.Accepted);
        QVERIFY(dialog.isVisible());
    }

    void portTakesOnlyDigitsFromTheKeyboard_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("digits") << "8022"
                                << "8022";
        QTest::newRow("letters, signs and blanks dropped") << "2a -+.b2"
                                                           << "22";
        QTest::newRow("five characters at most") << "1234567"
                                                 << "12345";
        QTest::newRow("backspace") << "123\b4"
                                   << "124";
    }
    void portTakesOnlyDigitsFromTheKeyboard()
    {
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        Editor editor;
        QLineEdit* port = editor.dialog.edtPort;
        port->clear();
        for (const QChar c : typed) {
            if (c == QLatin1Char('\b'))
                QTest::keyClick(port, Qt::Key_Backspace);
            else
                QTest::keyClicks(port, QString(c));
        }
        QCOMPARE(port->text(), expected);
    }

    void portSwallowsControlKeysButNotThePasteCommand()
    {
        RecordingUiServices ui;
        Editor editor;
        TfrmHostEdit& dialog = editor.dialog;
        QLineEdit* port = dialog.edtPort;
        QGuiApplication::clipboard()->setText(QStringLiteral("x9"));
        port->setText(QStringLiteral("22"));
        port->selectAll();
        QTest::keyClick(port, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(port, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(port->text(), QStringLiteral("22"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("x9"));

        // The context menu's Paste is not a typed key; what it leaves is read as 0 and refused.
        port->clear();
        port->paste();
        QCOMPARE(port->text(), QStringLiteral("x9"));
        dialog.btnSave->click();
        QCOMPARE(ui.shown(QStringLiteral("balloon")).value(0).control, port);
        QVERIFY(!dialog.Accepted);
    }

    void osListFollowsTheProfilesAndChoosesByValue_data()
    {
        QTest::addColumn<int>("osid");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("settingEnabled");
        QTest::addColumn<int>("readBack");
        QTest::newRow("stored profile") << 3 << "Solaris" << true << 3;
        QTest::newRow("other OS") << -1 << "Other OS..." << true << -1;
        QTest::newRow("identifier without profile") << 42 << "" << false << -1;
        QTest::newRow("new host") << 0 << "" << false << -1;
    }
    void osListFollowsTheProfilesAndChoosesByValue()
    {
        QFETCH(int, osid);
        QFETCH(QString, shown);
        QFETCH(bool, settingEnabled);
        QFETCH(int, readBack);
        THost host = sampleHost();
        host.OSID = osid;
        Editor editor(host);
        TfrmHostEdit& dialog = editor.dialog;
        QCOMPARE(osItems(dialog.cbbOS),
                 (QStringList{"Linux=1", "Linux (manager account)=2", "Solaris=3", "Solaris (manager account)=4",
                              "FreeBSD=5", "FreeBSD (manager account)=6", "OpenBSD=7", "OpenBSD (manager account)=8",
                              "macOS=9", "macOS (manager account)=10", "Other OS...=-1"}));
        QCOMPARE(dialog.cbbOS->currentText(), shown);
        QCOMPARE(dialog.sbSetting->isEnabled(), settingEnabled);
        QCOMPARE(dialog.cbbOS->maxVisibleItems(), 15);
        dialog.ReadHost(host);
        QCOMPARE(host.OSID, readBack);
    }

    void choosingOtherOSEnablesItsSettings()
    {
        THost host = sampleHost();
        host.OSID = 42;
        Editor editor(host);
        TfrmHostEdit& dialog = editor.dialog;
        QVERIFY(!dialog.sbSetting->isEnabled());
        dialog.cbbOS->setFocus();
        // Pick the last entry with the keyboard, as the user does with the list closed.
        QTest::keyClick(dialog.cbbOS, Qt::Key_End);
        QCOMPARE(dialog.cbbOS->currentText(), QStringLiteral("Other OS..."));
        QVERIFY(dialog.sbSetting->isEnabled());
    }

    void recordGoesInAndComesBack()
    {
        Editor editor;
        TfrmHostEdit& dialog = editor.dialog;
        QCOMPARE(dialog.edtName->text(), QStringLiteral("db1.example"));
        QCOMPARE(dialog.edtPort->text(), QStringLiteral("2200"));
        QCOMPARE(dialog.edtNote->toPlainText(), QStringLiteral("Accounting's server"));
        QCOMPARE(dialog.edtMngLogin->text(), QStringLiteral("root"));
        QCOMPARE(dialog.edtMngPwd->text(), QStringLiteral("s3cret'pw"));
        QCOMPARE(dialog.edtMngPwd->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.cbbLoginAs->currentText(), QStringLiteral("Manager Account"));
        QVERIFY(dialog.chkUseAgent->isChecked());
        QVERIFY(!dialog.chkLegacyAlgorithms->isChecked());
        QCOMPARE(dialog.chkLegacyAlgorithms->text(), QStringLiteral("Allow SHA-1 algorithms (old systems)"));
        QCOMPARE(dialog.edtName->statusTip(), QStringLiteral("Host Address"));
        QVERIFY(dialog.edtName->toolTip().isEmpty());

        dialog.edtName->setText(QStringLiteral("[::1]"));
        dialog.edtPort->setText(QStringLiteral("not a port"));
        dialog.chkUseAgent->setChecked(false);
        dialog.chkLegacyAlgorithms->setChecked(true);
        dialog.cbbOS->setCurrentIndex(0);
        dialog.cbbLoginAs->setCurrentIndex(1);
        dialog.edtMngPwd->setText(QStringLiteral("n3w"));
        THost host = sampleHost();
        dialog.ReadHost(host);
        QCOMPARE(host.hID, 12);
        QCOMPARE(host.hAddress, QStringLiteral("::1"));
        QCOMPARE(host.hPort, 22);
        QVERIFY(!host.MngUseAgent && host.hLegacyAlgorithms);
        QCOMPARE(host.OSID, 1);
        QCOMPARE(host.UseManager, 1);
        QCOMPARE(host.MngKeyPath, QStringLiteral("/keys/db1"));
        QVERIFY(host.MngPwd != QStringLiteral("n3w"));
        QCOMPARE(DecipherPassword(host.MngPwd), QStringLiteral("n3w"));
    }

    void rootPasswordOnlyForSuAndKeyInsteadOfPassword()
    {
        RecordingUiServices ui;
        Editor editor;
        TfrmHostEdit& dialog = editor.dialog;
        const QList<QWidget*> rootControls{dialog.edtRootPwd, dialog.sbRootKeybrd, dialog.sbShowRootPwd};
        QCOMPARE(dialog.cbbElevation->currentText(), QStringLiteral("none"));
        for (QWidget* control : rootControls)
            QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));

        THost host = sampleHost();
        host.MngElevation = TElevation::Su;
        host.MngRootPwd = EncipherPassword(QStringLiteral("r00t"));
        dialog.ShowHost(host);
        QCOMPARE(dialog.cbbElevation->currentText(), QStringLiteral("su"));
        QCOMPARE(dialog.edtRootPwd->text(), QStringLiteral("r00t"));
        QCOMPARE(dialog.edtRootPwd->echoMode(), QLineEdit::Password);
        for (QWidget* control : rootControls)
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));

        // su needs its root password; a readable key file stands in for the manager password.
        dialog.edtRootPwd->clear();
        dialog.btnSave->click();
        QCOMPARE(ui.shown(QStringLiteral("balloon")).value(0).controlName, QStringLiteral("edtRootPwd"));
        QCOMPARE(ui.shown(QStringLiteral("balloon")).value(0).text, QStringLiteral("Please input [Root Password] "));
        dialog.edtRootPwd->setText(QStringLiteral("n3w root"));
        dialog.edtMngPwd->clear();
        QTemporaryFile key;
        QVERIFY(key.open());
        TfrmHostEdit::SetKeyFileChooser([&key](QWidget*, const QString&) { return key.fileName(); });
        QTest::mouseClick(dialog.sbMngKey, Qt::LeftButton);
        TfrmHostEdit::SetKeyFileChooser({});
        QCOMPARE(dialog.edtMngKey->text(), key.fileName());
        QVERIFY(dialog.edtMngKeyPass->isEnabled());
        dialog.edtMngKeyPass->setText(QStringLiteral("phrase"));
        QVERIFY(dialog.ValidateHost());
        dialog.ReadHost(host);
        QCOMPARE(host.MngElevation, TElevation::Su);
        QCOMPARE(DecipherPassword(host.MngRootPwd), QStringLiteral("n3w root"));
        QCOMPARE(host.MngKeyPath, key.fileName());
        QCOMPARE(DecipherPassword(host.MngKeyPass), QStringLiteral("phrase"));

        // Secrets the host no longer needs are not kept.
        dialog.cbbElevation->setCurrentIndex(dialog.cbbElevation->findText(QStringLiteral("sudo")));
        dialog.edtMngKey->clear();
        QVERIFY(!dialog.edtRootPwd->isEnabled());
        QVERIFY(!dialog.edtMngKeyPass->isEnabled());
        dialog.ReadHost(host);
        QCOMPARE(host.MngElevation, TElevation::Sudo);
        QVERIFY(host.MngRootPwd.isEmpty());
        QVERIFY(host.MngKeyPass.isEmpty());
        // Without the key the manager password is required again.
        QVERIFY(!dialog.ValidateHost());
        QCOMPARE(ui.shown(QStringLiteral("balloon")).last().controlName, QStringLiteral("edtMngPwd"));
    }

    void keysOfTheDialog_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<bool>("closed");
        QTest::newRow("Enter in the address") << "edtName" << int(Qt::Key_Return) << true << true;
        QTest::newRow("Enter in the password") << "edtMngPwd" << int(Qt::Key_Enter) << true << true;
        QTest::newRow("Enter in the closed OS list") << "cbbOS" << int(Qt::Key_Return) << true << true;
        QTest::newRow("Enter in the description moves on") << "edtNote" << int(Qt::Key_Return) << false << false;
        QTest::newRow("Escape cancels") << "edtName" << int(Qt::Key_Escape) << false << true;
        // A focused button takes Enter itself: backing out by keyboard must not store the edits.
        QTest::newRow("Enter on the focused Cancel") << "btnCancel" << int(Qt::Key_Return) << false << true;
    }
    void keysOfTheDialog()
    {
        QFETCH(QString, field);
        QFETCH(int, key);
        QFETCH(bool, accepted);
        QFETCH(bool, closed);
        TestEnvironment env;
        RecordingUiServices ui;
        THost host = sampleHost();
        bool stillOpen = false;
        QString focusAfter;
        QString noteAfter;
        ModalDriver driver([&](QDialog& dialog) {
            dialog.activateWindow();
            auto* target = dialog.findChild<QWidget*>(field);
            QVERIFY(target);
            target->setFocus();
            QTest::keyClick(target, Qt::Key(key));
            stillOpen = dialog.isVisible();
            focusAfter = dialog.focusWidget() ? dialog.focusWidget()->objectName() : QString();
            noteAfter = dialog.findChild<QPlainTextEdit*>(QStringLiteral("edtNote"))->toPlainText();
            if (stillOpen)
                dialog.reject();
        });
        QCOMPARE(EditHostRecord(nullptr, env.dm(), host, false), accepted);
        QCOMPARE(!stillOpen, closed);
        QCOMPARE(noteAfter, QStringLiteral("Accounting's server"));
        if (field == QLatin1String("edtNote"))
            QCOMPARE(focusAfter, QStringLiteral("btnSave"));
    }

    void editHostRecordCaptionsAndReadsBackWhateverCloses_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("caption");
        QTest::newRow("add, OK") << true << true << "Add Host";
        QTest::newRow("edit, OK") << false << true << "Host Editing";
        QTest::newRow("edit, Cancel") << false << false << "Host Editing";
    }
    void editHostRecordCaptionsAndReadsBackWhateverCloses()
    {
        QFETCH(bool, adding);
        QFETCH(bool, ok);
        QFETCH(QString, caption);
        TestEnvironment env;
        RecordingUiServices ui;
        THost host = sampleHost();
        QString shownCaption;
        QString focused;
        ModalDriver driver([&](QDialog& dialog) {
            shownCaption = dialog.windowTitle();
            focused = dialog.focusWidget() ? dialog.focusWidget()->objectName() : QString();
            auto& editor = static_cast<TfrmHostEdit&>(dialog);
            editor.edtNote->setPlainText(QStringLiteral("changed"));
            (ok ? editor.btnSave : editor.btnCancel)->click();
        });
        QCOMPARE(EditHostRecord(nullptr, env.dm(), host, adding), ok);
        QCOMPARE(shownCaption, caption);
        QCOMPARE(focused, QStringLiteral("edtName"));
        QCOMPARE(host.hNote, QStringLiteral("changed"));
        QCOMPARE(Rows(env.dm(), QStringLiteral("select count(*) from Hosts")), QStringList{"0"});
    }

    void detailedSettingReloadsTheList_data()
    {
        QTest::addColumn<int>("osid");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("editorCaption");
        QTest::addColumn<QString>("chosenAfter");
        QTest::addColumn<int>("itemsAfter");
        QTest::newRow("new profile from other OS") << -1 << "save"
                                                   << "Operating System Settings - Other OS..."
                                                   << "HP-UX" << 12;
        QTest::newRow("renamed profile") << 1 << "save"
                                         << "Operating System Settings - Linux"
                                         << "HP-UX" << 11;
        QTest::newRow("deleted profile") << 3 << "delete"
                                         << "Operating System Settings - Solaris"
                                         << "" << 10;
        QTest::newRow("cancelled") << 3 << "cancel"
                                   << "Operating System Settings - Solaris"
                                   << "Solaris" << 11;
    }
    void detailedSettingReloadsTheList()
    {
        QFETCH(int, osid);
        QFETCH(QString, action);
        QFETCH(QString, editorCaption);
        QFETCH(QString, chosenAfter);
        QFETCH(int, itemsAfter);
        RecordingUiServices ui;
        THost host = sampleHost();
        host.OSID = osid;
        Editor editor(host);
        TfrmHostEdit& dialog = editor.dialog;
        QString caption;
        ModalDriver driver([&](QDialog& shown) {
            auto* settings = qobject_cast<TfrmOperationSetting*>(&shown);
            QVERIFY(settings);
            caption = settings->windowTitle();
            settings->edtName->setText(QStringLiteral("HP-UX"));
            if (action == QLatin1String("save"))
                settings->btnSave->click();
            else if (action == QLatin1String("delete"))
                settings->btnDelete->click();
            else
                settings->btnCancel->click();
        });
        QTest::mouseClick(dialog.sbSetting, Qt::LeftButton);
        QCOMPARE(caption, editorCaption);
        QCOMPARE(dialog.cbbOS->currentText(), chosenAfter);
        QCOMPARE(dialog.cbbOS->count(), itemsAfter);
        QCOMPARE(dialog.sbSetting->isEnabled(), !chosenAfter.isEmpty());
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.Accepted);
    }

    void profileThatCannotBeReadIsReportedAndTheEditorStays()
    {
        RecordingUiServices ui;
        Editor editor;
        TfrmHostEdit& dialog = editor.dialog;
        editor.dm.DBSession.Execute(QStringLiteral("drop table ActionFlg"));
        int opened = 0;
        ModalDriver driver([&](QDialog& shown) {
            ++opened;
            shown.reject();
        });
        QTest::mouseClick(dialog.sbSetting, Qt::LeftButton);
        QCOMPARE(opened, 0);
        const auto boxes = ui.shown(QStringLiteral("msgbox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].caption, ApplicationTitle);
        QCOMPARE(boxes[0].style, int(StyleError));
        QVERIFY(!boxes[0].text.isEmpty());
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.cbbOS->currentText(), QStringLiteral("Solaris"));
    }

    void showPasswordTogglesTheMask()
    {
        Editor editor;
        TfrmHostEdit& dialog = editor.dialog;
        QTest::mouseClick(dialog.SpeedButton3, Qt::LeftButton);
        QCOMPARE(dialog.edtMngPwd->echoMode(), QLineEdit::Normal);
        QTest::mouseClick(dialog.SpeedButton3, Qt::LeftButton);
        QCOMPARE(dialog.edtMngPwd->echoMode(), QLineEdit::Password);
        QCOMPARE(dialog.SpeedButton3->focusPolicy(), Qt::NoFocus);
    }

    void keyboardTypesIntoTheManagerPassword()
    {
        Editor editor;
        TfrmHostEdit& dialog = editor.dialog;
        dialog.edtMngPwd->setText(QStringLiteral("ab"));
        QLineEdit* target = nullptr;
        ModalDriver driver([&](QDialog& shown) {
            auto* keyboard = qobject_cast<TfrmKeyBoard*>(&shown);
            QVERIFY(keyboard);
            target = keyboard->Target;
            keyboard->Key(14)->click();
            keyboard->Close1Click();
        });
        QTest::mouseClick(dialog.sbKeybrd, Qt::LeftButton);
        QCOMPARE(target, dialog.edtMngPwd);
        QCOMPARE(dialog.edtMngPwd->text(), QStringLiteral("abq"));
        QVERIFY(dialog.isVisible());
    }

    void noBalloonOutlivesTheDialog_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("close box") << "close";
        QTest::newRow("OK after a failed check") << "ok";
    }
    void noBalloonOutlivesTheDialog()
    {
        QFETCH(QString, how);
        GuiUiServices gui;
        InstallUiServices(&gui);
        {
            Editor editor;
            TfrmHostEdit& dialog = editor.dialog;
            dialog.edtName->clear();
            dialog.btnSave->click();
            QCOMPARE(OpenBalloons(), 1);
            if (how == QLatin1String("cancel")) {
                dialog.btnCancel->click();
            } else if (how == QLatin1String("close")) {
                dialog.close();
            } else {
                dialog.edtName->setText(QStringLiteral("h"));
                dialog.btnSave->click();
                QVERIFY(dialog.Accepted);
            }
            QVERIFY(!dialog.isVisible());
            QCOMPARE(OpenBalloons(), 0);
        }
        InstallUiServices(nullptr);
    }
};

QTEST_MAIN(TestHostEdit)
#include "tst_hostedit.moc"
