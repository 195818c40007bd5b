// The user editor: a fresh record in add mode, the order and texts of its checks, storing users in a
// series with "S&ave and add ", the default button, the password fields and their buttons.
#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/gui/EditorTestSupport.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "ui/GuiUiServices.h"
#include "ui/TfrmKeyBoard.h"
#include "ui/TfrmUserEdit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using EditorTest::ModalDriver;
using EditorTest::OpenBalloons;
using EditorTest::Rows;

namespace {

// Noon: its day number has an exact two-decimal form, as the database keeps it.
const QDateTime kNow(QDate(2026, 3, 14), QTime(12, 0));

/// A user of host 7 ("db1.example:2200") stored before the test, so new ones continue after uID 4.
TUser storedUser()
{
    TUser user;
    user.uID = 4;
    user.hID = 7;
    user.LoginName = QStringLiteral("alice");
    user.pwNow = EncipherPassword(QStringLiteral("old'pw"));
    user.pwNew = EncipherPassword(QStringLiteral("next-pw"));
    user.LastLog = QStringLiteral("connect ... ok");
    user.uRemark = QStringLiteral("line 1\nline 2");
    user.pwPeriod = 90;
    user.RecTime = 45000.25;
    user.pwLastTime = 45100.5;
    user.HostIP = QStringLiteral("db1.example");
    user.HostPort = 2200;
    user.Email = QStringLiteral("alice@example.org");
    user.uName = QStringLiteral("Alice O'Neil");
    return user;
}

/// The empty record the user list hands over when adding to host 7.
TUser newUserOfHost()
{
    TUser user;
    ClearUser(user);
    user.uID = -1;
    user.hID = 7;
    user.HostIP = QStringLiteral("db1.example");
    user.HostPort = 2200;
    return user;
}

struct Fixture
{
    TestEnvironment env;
    TdmPublic& dm = env.dm();

    Fixture()
    {
        DayNumber::SetFixedNow(kNow);
        QVERIFY(dm.SaveUser(storedUser(), TSaveMode::Insert));
    }
    ~Fixture() { DayNumber::SetFixedNow(QDateTime()); }
};

/// An editor opened as the user list opens it.
struct Editor : Fixture
{
    TfrmUserEdit dialog{dm};

    explicit Editor(bool adding)
    {
        dialog.User = adding ? newUserOfHost() : storedUser();
        dialog.SetAddMode(adding);
        dialog.ShowUser(adding);
        dialog.show();
    }
};

QStringList storedLogins(TdmPublic& dm)
{
    return Rows(dm, QStringLiteral("select uID, hID, LoginName from Users order by uID"));
}

} // namespace

class TestUserEdit : public QObject
{
    Q_OBJECT

private slots:
    void addModeStartsAFreshRecord_data()
    {
        QTest::addColumn<bool>("autoGenerate");
        QTest::newRow("AutoGenerate on") << true;
        QTest::newRow("AutoGenerate off") << false;
    }
    void addModeStartsAFreshRecord()
    {
        QFETCH(bool, autoGenerate);
        Fixture fixture;
        fixture.dm.OptionsFile.SetAutoGenerate(autoGenerate);
        fixture.dm.OptionsFile.SetPassLength(12);
        TfrmUserEdit dialog(fixture.dm);
        dialog.User = storedUser(); // left-overs that a new record must not inherit
        dialog.ShowUser(true);

        const TUser& user = dialog.User;
        QCOMPARE(user.uID, 5);
        QCOMPARE(user.hID, 7);
        QCOMPARE(user.HostIP, QStringLiteral("db1.example"));
        QCOMPARE(user.HostPort, 2200);
        QCOMPARE(user.pwPeriod, -1);
        QCOMPARE(user.RecTime, -1.0);
        QCOMPARE(user.pwLastTime, -1.0);
        QVERIFY(user.LoginName.isEmpty() && user.pwNow.isEmpty() && user.uName.isEmpty() && user.Email.isEmpty());
        QVERIFY(user.uRemark.isEmpty() && user.LastLog.isEmpty());
        QVERIFY(dialog.edtLogin->text().isEmpty());
        QVERIFY(dialog.edtOldPwd->text().isEmpty());
        QVERIFY(dialog.edtPeriod->text().isEmpty());
        QCOMPARE(dialog.edtNewPwd->echoMode(), QLineEdit::Password);
        if (autoGenerate) {
            QCOMPARE(dialog.edtNewPwd->text().size(), 12);
            QCOMPARE(DecipherPassword(user.pwNew), dialog.edtNewPwd->text());
        } else {
            QVERIFY(dialog.edtNewPwd->text().isEmpty());
            QVERIFY(user.pwNew.isEmpty());
        }
    }

    void checksLoginThenPassword_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("refused");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing typed") << ""
                                       << ""
                                       << "edtLogin"
                                       << "Please input [User Name]  ";
        QTest::newRow("no login") << ""
                                  << "pw"
                                  << "edtLogin"
                                  << "Please input [User Name]  ";
        QTest::newRow("no password") << "bob"
                                     << ""
                                     << "edtOldPwd"
                                     << "Please input [Password]  ";
        QTest::newRow("password no host can take") << "bob"
                                                   << "pw\tcut"
                                                   << "edtOldPwd"
                                                   << "The password contains a control character (a line break, a "
                                                      "tab or the like), which a host cannot take as part of a "
                                                      "password. ";
        QTest::newRow("login with a blank") << "j doe"
                                            << "pw"
                                            << "edtLogin"
                                            << "The login name contains white space. ";
        QTest::newRow("login taken for an option") << "-r"
                                                   << "pw"
                                                   << "edtLogin"
                                                   << "The login name starts with \"-\", which the host would take "
                                                      "for an option. ";
        QTest::newRow("login over 256 bytes") << QString(129, QChar(0xE9)) << "pw"
                                              << "edtLogin"
                                              << "The login name is longer than 256 bytes. ";
        QTest::newRow("both given") << "bob"
                                    << "pw"
                                    << ""
                                    << "";
    }
    void checksLoginThenPassword()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(QString, refused);
        QFETCH(QString, message);
        for (const bool adding : {true, false}) {
            RecordingUiServices ui;
            Editor editor(adding);
            TfrmUserEdit& dialog = editor.dialog;
            dialog.edtLogin->setText(login);
            dialog.edtOldPwd->setText(password);
            (adding ? dialog.btnSaveAdd : dialog.btnSave)->click();
            const auto balloons = ui.shown(QStringLiteral("balloon"));
            if (refused.isEmpty()) {
                QVERIFY(balloons.isEmpty());
                continue;
            }
            QCOMPARE(balloons.size(), 1);
            QCOMPARE(balloons[0].controlName, refused);
            QCOMPARE(balloons[0].text, message);
            QCOMPARE(balloons[0].icon, BalloonIcon::Info);
            QCOMPARE(balloons[0].durationMs, 1000);
            QVERIFY(!dialog.Accepted);
            QVERIFY(dialog.isVisible());
            QCOMPARE(storedLogins(editor.dm).size(), 1);
        }
    }

    void saveAndAddStoresASeriesThatCancelKeeps()
    {
        Fixture fixture;
        RecordingUiServices ui;
        fixture.dm.OptionsFile.SetAutoGenerate(false);
        QList<TUser> listed;
        QList<int> freshIds;
        TUser user = newUserOfHost();
        ModalDriver driver([&](QDialog& shown) {
            auto& dialog = static_cast<TfrmUserEdit&>(shown);
            for (const QString& login : {QStringLiteral("bob"), QStringLiteral("carol")}) {
                dialog.edtLogin->setText(login);
                dialog.edtOldPwd->setText(login + QStringLiteral("-pw"));
                dialog.edtPeriod->setText(QStringLiteral("30"));
                dialog.moRemark->setPlainText(QStringLiteral("team ") + login);
                dialog.btnSaveAdd->click();
                QVERIFY(dialog.isVisible());
                QVERIFY(dialog.edtLogin->text().isEmpty());
                QVERIFY(dialog.edtOldPwd->text().isEmpty());
                QVERIFY(dialog.moRemark->toPlainText().isEmpty());
                QCOMPARE(dialog.focusWidget(), dialog.edtLogin);
                freshIds << dialog.User.uID;
            }
            dialog.btnCancel->click();
        });
        const bool accepted =
            EditUserRecord(nullptr, fixture.dm, user, true, [&](const TUser& stored) { listed << stored; });
        QVERIFY(!accepted);
        QCOMPARE(freshIds, (QList<int>{6, 7}));
        QCOMPARE(storedLogins(fixture.dm), (QStringList{"4|7|alice", "5|7|bob", "6|7|carol"}));
        QCOMPARE(listed.size(), 2);
        QCOMPARE(listed[0].uID, 5);
        QCOMPARE(listed[1].LoginName, QStringLiteral("carol"));
        QCOMPARE(listed[1].HostIP, QStringLiteral("db1.example"));
        QCOMPARE(listed[1].RecTime, DayNumber::FromDateTime(kNow));
        const QString now = DayNumber::Format(DayNumber::FromDateTime(kNow));
        QCOMPARE(Rows(fixture.dm, QStringLiteral("select pwPeriod, uRemark, RecTime = %1, pwLastTime = -1 from Users "
                                                 "where uID = 5")
                                      .arg(now)),
                 QStringList{"30|team bob|1|1"});
        QCOMPARE(DecipherPassword(Rows(fixture.dm, QStringLiteral("select pwNow from Users where uID = 6")).value(0)),
                 QStringLiteral("carol-pw"));
    }

    void failedStoreKeepsTheTypedUser()
    {
        RecordingUiServices ui;
        Editor editor(true);
        TfrmUserEdit& dialog = editor.dialog;
        int listed = 0;
        dialog.UserStored = [&](const TUser&) {
            ++listed;
        };
        editor.dm.DBSession.Execute(QStringLiteral("drop table Users"));
        dialog.edtLogin->setText(QStringLiteral("dave"));
        dialog.edtOldPwd->setText(QStringLiteral("pw"));
        dialog.btnSaveAdd->click();
        QCOMPARE(ui.shown(QStringLiteral("runlog")).size(), 1);
        QCOMPARE(listed, 0);
        QCOMPARE(dialog.edtLogin->text(), QStringLiteral("dave"));
        QCOMPARE(dialog.edtOldPwd->text(), QStringLiteral("pw"));
        QCOMPARE(dialog.User.uID, 5);
        QVERIFY(dialog.isVisible());
    }

    void enterPressesTheDefaultButton_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("storedByEditor");
        QTest::newRow("add mode, login") << true << "edtLogin" << false << 1;
        QTest::newRow("add mode, e-mail") << true << "edtEmail" << false << 1;
        QTest::newRow("add mode, description takes a new line") << true << "moRemark" << false << 0;
        QTest::newRow("edit mode, period") << false << "edtPeriod" << true << 0;
        QTest::newRow("edit mode, description takes a new line") << false << "moRemark" << false << 0;
        // A focused button takes Enter itself, whichever button is the default.
        QTest::newRow("add mode, focused Cancel") << true << "btnCancel" << false << 0;
        QTest::newRow("add mode, focused OK") << true << "btnSave" << true << 0;
        QTest::newRow("edit mode, focused Cancel") << false << "btnCancel" << false << 0;
    }
    void enterPressesTheDefaultButton()
    {
        QFETCH(bool, adding);
        QFETCH(QString, field);
        QFETCH(bool, accepted);
        QFETCH(int, storedByEditor);
        Fixture fixture;
        RecordingUiServices ui;
        TUser user = adding ? newUserOfHost() : storedUser();
        bool saveAddVisible = false;
        QString remark;
        ModalDriver driver([&](QDialog& shown) {
            auto& dialog = static_cast<TfrmUserEdit&>(shown);
            saveAddVisible = dialog.btnSaveAdd->isVisible();
            dialog.activateWindow();
            dialog.edtLogin->setText(QStringLiteral("erin"));
            dialog.edtOldPwd->setText(QStringLiteral("pw"));
            dialog.moRemark->setPlainText(QStringLiteral("x"));
            auto* target = dialog.findChild<QWidget*>(field);
            target->setFocus();
            if (auto* memo = qobject_cast<QPlainTextEdit*>(target))
                memo->moveCursor(QTextCursor::End);
            QTest::keyClick(target, Qt::Key_Return);
            remark = dialog.moRemark->toPlainText();
            if (dialog.isVisible())
                dialog.reject();
        });
        QCOMPARE(EditUserRecord(nullptr, fixture.dm, user, adding, {}), accepted);
        QCOMPARE(saveAddVisible, adding);
        QCOMPARE(storedLogins(fixture.dm).size(), 1 + storedByEditor);
        if (field == QLatin1String("moRemark"))
            QCOMPARE(remark, QStringLiteral("x\n"));
    }

    void showPasswordMasksBothFieldsAlike_data()
    {
        QTest::addColumn<int>("oldMode");
        QTest::addColumn<int>("newMode");
        QTest::addColumn<int>("expected");
        QTest::newRow("both masked") << int(QLineEdit::Password) << int(QLineEdit::Password) << int(QLineEdit::Normal);
        QTest::newRow("new shown, old masked")
            << int(QLineEdit::Password) << int(QLineEdit::Normal) << int(QLineEdit::Normal);
        QTest::newRow("old shown, new masked")
            << int(QLineEdit::Normal) << int(QLineEdit::Password) << int(QLineEdit::Password);
    }
    void showPasswordMasksBothFieldsAlike()
    {
        QFETCH(int, oldMode);
        QFETCH(int, newMode);
        QFETCH(int, expected);
        Editor editor(false);
        TfrmUserEdit& dialog = editor.dialog;
        dialog.edtOldPwd->setEchoMode(QLineEdit::EchoMode(oldMode));
        dialog.edtNewPwd->setEchoMode(QLineEdit::EchoMode(newMode));
        QTest::mouseClick(dialog.SpeedButton3, Qt::LeftButton);
        QCOMPARE(int(dialog.edtOldPwd->echoMode()), expected);
        QCOMPARE(int(dialog.edtNewPwd->echoMode()), expected);
    }

    void onlyTheCurrentPasswordIsLimited()
    {
        Editor editor(true);
        TfrmUserEdit& dialog = editor.dialog;
        dialog.edtOldPwd->clear();
        dialog.edtNewPwd->clear();
        const QString typed(40, QLatin1Char('k'));
        QTest::keyClicks(dialog.edtOldPwd, typed);
        QTest::keyClicks(dialog.edtNewPwd, typed);
        QCOMPARE(dialog.edtOldPwd->text().size(), 30);
        QCOMPARE(dialog.edtNewPwd->text().size(), 40);
    }

    void editingKeepsTheIdentityAndReadsTheFields_data()
    {
        QTest::addColumn<QString>("period");
        QTest::addColumn<int>("expected");
        QTest::newRow("days") << "30" << 30;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("not a number") << "soon" << -1;
    }
    void editingKeepsTheIdentityAndReadsTheFields()
    {
        QFETCH(QString, period);
        QFETCH(int, expected);
        Editor editor(false);
        TfrmUserEdit& dialog = editor.dialog;
        QCOMPARE(dialog.edtLogin->text(), QStringLiteral("alice"));
        QCOMPARE(dialog.edtOldPwd->text(), QStringLiteral("old'pw"));
        QCOMPARE(dialog.edtNewPwd->text(), QStringLiteral("next-pw"));
        QCOMPARE(dialog.edtPeriod->text(), QStringLiteral("90"));
        QCOMPARE(dialog.moRemark->toPlainText(), QStringLiteral("line 1\nline 2"));
        QCOMPARE(dialog.edtUserName->text(), QStringLiteral("Alice O'Neil"));
        QCOMPARE(dialog.edtEmail->text(), QStringLiteral("alice@example.org"));

        dialog.edtPeriod->setText(period);
        dialog.edtNewPwd->clear();
        dialog.edtEmail->setText(QStringLiteral("a@example.net"));
        dialog.ReadUser();
        const TUser& user = dialog.User;
        const TUser before = storedUser();
        QCOMPARE(user.pwPeriod, expected);
        QCOMPARE(user.uID, before.uID);
        QCOMPARE(user.hID, before.hID);
        QCOMPARE(user.RecTime, before.RecTime);
        QCOMPARE(user.pwLastTime, before.pwLastTime);
        QCOMPARE(user.LastLog, before.LastLog);
        QCOMPARE(user.pwNew, QString());
        QCOMPARE(DecipherPassword(user.pwNow), QStringLiteral("old'pw"));
        QCOMPARE(user.Email, QStringLiteral("a@example.net"));
    }

    void managerAccountOfTheHostIsNamed()
    {
        Fixture fixture;
        THost host;
        host.hID = 7;
        host.hAddress = QStringLiteral("db1.example");
        host.hPort = 2200;
        host.MngLogin = QStringLiteral("alice");
        host.MngPwd = EncipherPassword(QStringLiteral("mgr"));
        host.MngElevation = TElevation::Su;
        QVERIFY(fixture.dm.SaveHost(host, TSaveMode::Insert));
        TfrmUserEdit dialog(fixture.dm);
        dialog.User = storedUser();
        dialog.ShowUser(false);
        QVERIFY(!dialog.lbManagerNote->isHidden());
        QVERIFY(
            dialog.lbManagerNote->text().startsWith(QLatin1String("This is the manager account of db1.example:2200")));
        dialog.edtLogin->setText(QStringLiteral("root"));
        QVERIFY(dialog.lbManagerNote->text().contains(QLatin1String("stored root password")));
        dialog.edtLogin->setText(QStringLiteral("bob"));
        QVERIFY(dialog.lbManagerNote->isHidden());
    }

    void generateButtonFollowsTheSettings_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("digits");
        QTest::newRow("12 with digits") << 12 << true;
        QTest::newRow("6 letters only") << 6 << false;
    }
    void generateButtonFollowsTheSettings()
    {
        QFETCH(int, length);
        QFETCH(bool, digits);
        Editor editor(false);
        editor.dm.OptionsFile.SetPassLength(length);
        editor.dm.OptionsFile.SetPassNumber(digits);
        editor.dm.OptionsFile.SetPassSpechar(false);
        TfrmUserEdit& dialog = editor.dialog;
        QTest::mouseClick(dialog.SpeedButton2, Qt::LeftButton);
        const QString generated = dialog.edtNewPwd->text();
        QCOMPARE(generated.size(), length);
        for (const QChar c : generated)
            QVERIFY2(c.isLetter() || (digits && c.isDigit()), qPrintable(generated));
        QCOMPARE(dialog.edtNewPwd->echoMode(), QLineEdit::Password);
    }

    void keyboardButtonsTypeIntoTheirField_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("field");
        QTest::newRow("current password") << "sbKeybrd"
                                          << "edtOldPwd";
        QTest::newRow("new password") << "SpeedButton1"
                                      << "edtNewPwd";
    }
    void keyboardButtonsTypeIntoTheirField()
    {
        QFETCH(QString, button);
        QFETCH(QString, field);
        Editor editor(false);
        TfrmUserEdit& dialog = editor.dialog;
        auto* target = dialog.findChild<QLineEdit*>(field);
        target->setText(QStringLiteral("pw"));
        QLineEdit* typedInto = nullptr;
        ModalDriver driver([&](QDialog& shown) {
            auto* keyboard = qobject_cast<TfrmKeyBoard*>(&shown);
            QVERIFY(keyboard);
            typedInto = keyboard->Target;
            keyboard->Key(2)->click();
            keyboard->sbEnterClick();
        });
        QTest::mouseClick(dialog.findChild<QToolButton*>(button), Qt::LeftButton);
        QCOMPARE(typedInto, target);
        QCOMPARE(target->text(), QStringLiteral("pw1"));
        QVERIFY(dialog.isVisible());
        QVERIFY(!dialog.Accepted);
    }

    void captionNamesTheHost_data()
    {
        QTest::addColumn<bool>("adding");
        QTest::addColumn<QString>("caption");
        QTest::newRow("add") << true << "Add User - db1.example:2200";
        QTest::newRow("edit") << false << "User Editing - db1.example:2200";
    }
    void captionNamesTheHost()
    {
        QFETCH(bool, adding);
        QFETCH(QString, caption);
        Fixture fixture;
        RecordingUiServices ui;
        TUser user = adding ? newUserOfHost() : storedUser();
        QString shownCaption;
        ModalDriver driver([&](QDialog& shown) {
            shownCaption = shown.windowTitle();
            auto& dialog = static_cast<TfrmUserEdit&>(shown);
            dialog.edtLogin->setText(QStringLiteral("frank"));
            dialog.edtOldPwd->setText(QStringLiteral("pw"));
            dialog.btnSave->click();
        });
        QVERIFY(EditUserRecord(nullptr, fixture.dm, user, adding, {}));
        QCOMPARE(shownCaption, caption);
        QCOMPARE(user.LoginName, QStringLiteral("frank"));
        QCOMPARE(user.uID, adding ? 5 : 4);
        // OK hands the record over; storing it is the caller's.
        QCOMPARE(storedLogins(fixture.dm).size(), 1);
    }

    void noBalloonOutlivesTheDialog()
    {
        GuiUiServices gui;
        InstallUiServices(&gui);
        {
            Editor editor(false);
            TfrmUserEdit& dialog = editor.dialog;
            dialog.edtOldPwd->clear();
            dialog.btnSave->click();
            QCOMPARE(OpenBalloons(), 1);
            dialog.btnCancel->click();
            QVERIFY(!dialog.isVisible());
            QCOMPARE(OpenBalloons(), 0);
        }
        InstallUiServices(nullptr);
    }
};

QTEST_MAIN(TestUserEdit)
#include "tst_useredit.moc"
