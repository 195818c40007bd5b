#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "ui/ProgramPassword.h"
#include "ui/TfrmBase.h"
#include "ui/TfrmChangePass.h"
#include "ui/TfrmKeyBoard.h"
#include "ui/TfrmLogin.h"

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QUrlQuery>
#include <QtTest>

class TestProgramPassword : public QObject
{
    Q_OBJECT

    static void setStored(TdmPublic& dm, const QString& plain) { QVERIFY(dm.SetUserPass(EncipherPassword(plain))); }

private slots:
    void cleanup() { TfrmBase::SetModalHook({}); }

    void loginAcceptsOnlyTheExactPassword_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("passed");
        QTest::newRow("empty stored, empty typed") << ""
                                                   << "" << true;
        QTest::newRow("empty stored, something typed") << ""
                                                       << "x" << false;
        QTest::newRow("exact") << "S3cret!'x"
                               << "S3cret!'x" << true;
        QTest::newRow("letter case differs") << "Secret"
                                             << "secret" << false;
        QTest::newRow("trailing blank") << "Secret"
                                        << "Secret " << false;
        QTest::newRow("non-ASCII") << "Grüße€"
                                   << "Grüße€" << true;
    }
    void loginAcceptsOnlyTheExactPassword()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, passed);
        RecordingUiServices ui;
        TestEnvironment env;
        setStored(env.dm(), stored);
        TfrmLogin login(env.dm());
        login.edtPassword->setText(typed); // key clicks cannot type every character
        QTest::mouseClick(login.btnSave, Qt::LeftButton);
        QCOMPARE(login.Passed, passed);
        const auto balloons = ui.shown(QStringLiteral("balloon"));
        if (passed) {
            QVERIFY(balloons.isEmpty());
            QCOMPARE(login.result(), int(QDialog::Accepted));
        } else {
            QCOMPARE(balloons.size(), 1);
            QCOMPARE(balloons[0].text, QStringLiteral("Incorrect password. "));
            QCOMPARE(balloons[0].icon, BalloonIcon::Error);
            QCOMPARE(balloons[0].durationMs, 1000);
            QCOMPARE(balloons[0].control, static_cast<QObject*>(login.edtPassword));
            QCOMPARE(login.edtPassword->text(), typed); // the entry stays for another try
        }
    }

    void thirtyCharactersAtMostInEveryField()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        const QString thirty = QStringLiteral("abcdefghijABCDEFGHIJ0123456789");
        setStored(env.dm(), thirty);
        TfrmLogin login(env.dm());
        QTest::keyClicks(login.edtPassword, thirty + QStringLiteral("X"));
        QCOMPARE(login.edtPassword->text(), thirty);
        QTest::mouseClick(login.btnSave, Qt::LeftButton);
        QVERIFY(login.Passed);
        TfrmChangePass change(env.dm());
        for (QLineEdit* edit : {change.edtOld, change.edtNew, change.edtVerify}) {
            QTest::keyClicks(edit, thirty + QStringLiteral("X"));
            QCOMPARE(edit->text().size(), 30);
        }
    }

    void passwordsShowAsAsterisks()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TfrmLogin login(env.dm());
        TfrmChangePass change(env.dm());
        int fields = 0;
        for (QDialog* dialog : std::initializer_list<QDialog*>{&login, &change}) {
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog));
            for (QLineEdit* edit : dialog->findChildren<QLineEdit*>()) {
                if (edit->echoMode() != QLineEdit::Password)
                    continue;
                ++fields;
                QTest::keyClicks(edit, QStringLiteral("pw1"));
                QCOMPARE(edit->displayText(), QStringLiteral("***"));
            }
        }
        QCOMPARE(fields, 4);
    }

    void gateIsOpenUnlessProtectionIsExactlyOne()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        int dialogs = 0;
        TfrmBase::SetModalHook([&](QDialog&) {
            ++dialogs;
            return int(QDialog::Rejected);
        });
        for (const char* value : {"-1", "0", "", "yes", "1 "}) {
            env.dm().SetSysParam(QStringLiteral("EnablePWD"), QString::fromLatin1(value));
            QVERIFY(CheckProgramPassword(env.dm()));
        }
        QCOMPARE(dialogs, 0);
        env.dm().SetPasswordProtection(true);
        QVERIFY(!CheckProgramPassword(env.dm())); // cancelled
        QCOMPARE(dialogs, 1);
        setStored(env.dm(), QStringLiteral("pw"));
        TfrmBase::SetModalHook([](QDialog& dialog) {
            auto& login = dynamic_cast<TfrmLogin&>(dialog);
            login.edtPassword->setText(QStringLiteral("pw"));
            login.btnSaveClick();
            return login.result();
        });
        QVERIFY(CheckProgramPassword(env.dm()));
    }

    void keyboardConfirmationLogsIn()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        setStored(env.dm(), QStringLiteral("q1"));
        TfrmLogin login(env.dm());
        TfrmBase::SetModalHook([](QDialog& dialog) {
            auto& keyboard = dynamic_cast<TfrmKeyBoard&>(dialog);
            keyboard.SetTargetText(QStringLiteral("q1"));
            keyboard.sbEnterClick();
            return keyboard.result();
        });
        login.sbKeybrdClick();
        QVERIFY(login.Passed);
    }

    void changeChecksInOrder_data()
    {
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("fresh");
        QTest::addColumn<QString>("verify");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("field");
        QTest::newRow("wrong current") << "nope"
                                       << ""
                                       << "x"
                                       << "Incorrect current password."
                                       << "edtOld";
        QTest::newRow("mismatch") << "cur"
                                  << "abc"
                                  << "abd"
                                  << "The new passwords do not match. "
                                  << "edtVerify";
        QTest::newRow("mismatch before empty") << "cur"
                                               << "abc"
                                               << ""
                                               << "The new passwords do not match. "
                                               << "edtVerify";
        QTest::newRow("both empty") << "cur"
                                    << ""
                                    << ""
                                    << "New password is required.  "
                                    << "edtNew";
        QTest::newRow("accepted") << "cur"
                                  << "n3w'Pass"
                                  << "n3w'Pass"
                                  << ""
                                  << "";
    }
    void changeChecksInOrder()
    {
        QFETCH(QString, old);
        QFETCH(QString, fresh);
        QFETCH(QString, verify);
        QFETCH(QString, message);
        QFETCH(QString, field);
        RecordingUiServices ui;
        TestEnvironment env;
        setStored(env.dm(), QStringLiteral("cur"));
        TfrmBase::SetModalHook([&](QDialog& dialog) {
            auto& change = dynamic_cast<TfrmChangePass&>(dialog);
            change.edtOld->setText(old);
            change.edtNew->setText(fresh);
            change.edtVerify->setText(verify);
            QTest::mouseClick(change.btnSave, Qt::LeftButton);
            return change.result();
        });
        const bool accepted = ChangeProgramPassword(env.dm(), nullptr);
        QCOMPARE(accepted, message.isEmpty());
        const auto balloons = ui.shown(QStringLiteral("balloon"));
        if (message.isEmpty()) {
            QVERIFY(balloons.isEmpty());
            QCOMPARE(DecipherPassword(env.dm().GetUserPass()), fresh);
        } else {
            QCOMPARE(balloons.size(), 1);
            QCOMPARE(balloons[0].text, message);
            QCOMPARE(balloons[0].icon, BalloonIcon::Warning);
            QCOMPARE(balloons[0].controlName, field);
            QCOMPARE(DecipherPassword(env.dm().GetUserPass()), QStringLiteral("cur"));
        }
    }

    void emptyStoredPasswordAllowsAnEmptyCurrentPassword()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TfrmChangePass change(env.dm());
        change.edtNew->setText(QStringLiteral("first"));
        change.edtVerify->setText(QStringLiteral("first"));
        change.btnSaveClick();
        QVERIFY(change.Accepted);
    }

    void forgottenPasswordMailCarriesTheCipherTextIntact()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        const QString cipher = EncipherPassword(QStringLiteral("plain & secret"));
        QVERIFY(env.dm().SetUserPass(cipher));
        QList<QUrl> opened;
        SetExternalOpener([&](const QUrl& url) { opened.append(url); });
        TfrmLogin login(env.dm());
        login.RzURLLabel1Click();
        SetExternalOpener({});
        QCOMPARE(opened.size(), 1);
        const QUrl& url = opened[0];
        QVERIFY(url.isValid());
        QCOMPARE(url.scheme(), QStringLiteral("mailto"));
        QCOMPARE(url.path(), SupportAddress);
        const QUrlQuery query(url);
        QCOMPARE(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
                 QStringLiteral("Retrieve my login password."));
        const QString body = query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded);
        QVERIFY(body.startsWith(QStringLiteral("Tarnwell Support,\n\nI forgot my login password, the password "
                                               "ciphertext is [") +
                                cipher + QStringLiteral("]. \n\nProduct Name: Veltrane\n\n***Note:")));
        QVERIFY(!body.contains(QStringLiteral("plain & secret")));
        QVERIFY(login.isVisible() || login.result() == 0); // the dialog stays open
        QCOMPARE(ForgotPasswordLinkText(cipher, SupportAddress).left(7), QStringLiteral("mailto:"));
    }
};

QTEST_MAIN(TestProgramPassword)
#include "tst_programpassword.moc"
