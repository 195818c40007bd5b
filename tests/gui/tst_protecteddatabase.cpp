// The GUI on a database under the program password: the start-up login opens the file, the options
// switch its key at once, a changed password re-keys it, and "Forgot your password?" sends no mail.
#include "core/DatabaseProtection.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/gui/MainWindowTestSupport.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "ui/MainWindowStart.h"
#include "ui/ProgramPassword.h"
#include "ui/TfrmBase.h"
#include "ui/TfrmChangePass.h"
#include "ui/TfrmLogin.h"
#include "ui/TfrmMain.h"
#include "ui/TfrmOptions.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString Password = QStringLiteral("Lock'd 1");

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Which key opens the installation's database now: "built-in", a password, or "none".
QString keyOf(const TestEnvironment& env, const QStringList& passwords = {})
{
    TDBSession session;
    if (session.OpenDatabase(env.databasePath(), false))
        return QStringLiteral("built-in");
    for (const QString& password : passwords)
        if (session.OpenDatabaseWithPassword(env.databasePath(), SecretBuffer(password), false))
            return password;
    return QStringLiteral("none");
}

/// Types each entry into the login dialog and presses OK, then cancels when it is still open.
void driveLogin(QDialog& dialog, const QStringList& entries)
{
    auto& login = dynamic_cast<TfrmLogin&>(dialog);
    for (const QString& entry : entries) {
        login.edtPassword->setText(entry);
        QTest::mouseClick(login.btnSave, Qt::LeftButton);
        if (login.Passed)
            return;
    }
    login.btnCancelClick();
}

} // namespace

class TestProtectedDatabase : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TfrmBase::SetModalHook({}); }

    void startUpOpensTheFileWithTheLoginPassword_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<bool>("started");
        QTest::newRow("right at once") << QStringList{Password} << true;
        QTest::newRow("wrong, then right") << QStringList{QStringLiteral("lock'd 1"), Password} << true;
        QTest::newRow("wrong, then cancelled") << QStringList{Password + QLatin1Char(' ')} << false;
        QTest::newRow("empty, then cancelled") << QStringList{QString()} << false;
    }
    void startUpOpensTheFileWithTheLoginPassword()
    {
        QFETCH(QStringList, typed);
        QFETCH(bool, started);
        RecordingUiServices ui;
        MainWindowTest::Installation install({{QStringLiteral("10.1.1.1"), 22, QString()}},
                                             {{0, QStringLiteral("oracle")}, {0, QStringLiteral("scott")}});
        {
            TdmPublic dm(install.env.executablePath());
            ProtectDatabase(dm, Password);
        }
        const QByteArray before = fileBytes(install.env.databasePath());
        int logins = 0;
        TfrmBase::SetModalHook([&](QDialog& dialog) {
            ++logins;
            driveLogin(dialog, typed);
            return dialog.result();
        });

        const std::unique_ptr<TfrmMain> window = StartMainWindow(install.env.executablePath());
        QCOMPARE(logins, 1); // the password that opened the file was the whole check
        QCOMPARE(window != nullptr, started);
        const int wrong = static_cast<int>(typed.size()) - (started ? 1 : 0);
        const auto balloons = ui.shown(QStringLiteral("balloon"));
        QCOMPARE(balloons.size(), wrong);
        for (const auto& balloon : balloons) {
            QVERIFY2(balloon.text.startsWith(QStringLiteral("Incorrect password. If this database has no password")),
                     qPrintable(balloon.text));
            QCOMPARE(balloon.icon, BalloonIcon::Error);
        }
        // No "closed database" error before or after the login, and nothing else either.
        QVERIFY(ui.shown(QStringLiteral("msgbox")).isEmpty());
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
        if (started) {
            QVERIFY(window->dm().DBSession.KeyedByPassword());
            QCOMPARE(MainWindowTest::Logins(*window), (QStringList{QStringLiteral("oracle"), QStringLiteral("scott")}));
            // The filled window holds no query that would keep the options from re-keying the file.
            UnprotectDatabase(window->dm());
            QVERIFY(!window->dm().DBSession.KeyedByPassword());
        } else {
            QCOMPARE(fileBytes(install.env.databasePath()), before);
        }
    }

    void forgottenPasswordSendsNoMailWhenOnlyThePasswordOpensTheFile()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        ProtectDatabase(env.dm(), Password);
        TdmPublic locked(env.executablePath());
        QVERIFY(locked.NeedsDatabasePassword());
        QList<QUrl> opened;
        SetExternalOpener([&](const QUrl& url) { opened.append(url); });
        TfrmLogin login(locked);
        login.RzURLLabel1Click();
        SetExternalOpener({});
        QVERIFY(opened.isEmpty());
        const auto boxes = ui.shown(QStringLiteral("msgbox"));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].text, TfrmLogin::NoRecoveryText);
        QCOMPARE(boxes[0].style, int(StyleInformation));
    }

    void optionsSwitchTheKeyAtOnce()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        QVERIFY(dm.SetUserPass(EncipherPassword(Password)));
        TfrmOptions dialog(dm);
        QCOMPARE(dialog.chkEncryptDatabase->text(), QStringLiteral("Encrypt the database with the program password"));
        QVERIFY(!dialog.chkEncryptDatabase->isEnabled()); // protection is off
        dialog.btnEnablePWD->click();
        QVERIFY(dialog.chkEncryptDatabase->isEnabled());
        QVERIFY(!dialog.chkEncryptDatabase->isChecked());

        // Asked first, since there is no way back without the password; No changes nothing.
        ui.setNextAnswer(ButtonNo);
        dialog.chkEncryptDatabase->click();
        QVERIFY(!dialog.chkEncryptDatabase->isChecked());
        QCOMPARE(keyOf(env, {Password}), QStringLiteral("built-in"));
        const auto questions = ui.shown(QStringLiteral("msgbox"));
        QCOMPARE(questions.size(), 1);
        QCOMPARE(questions[0].style, int(StyleConfirm));

        dialog.chkEncryptDatabase->click();
        QVERIFY(dialog.chkEncryptDatabase->isChecked());
        QCOMPARE(keyOf(env, {Password}), Password);
        dialog.btnCancel->click(); // switched at once: Cancel keeps it
        TfrmOptions later(dm);
        QVERIFY(later.chkEncryptDatabase->isChecked());

        later.chkEncryptDatabase->click();
        QVERIFY(!later.chkEncryptDatabase->isChecked());
        QCOMPARE(keyOf(env, {Password}), QStringLiteral("built-in"));

        // Switching protection off takes the file back to the built-in key: no login would ask for it.
        later.chkEncryptDatabase->click();
        QCOMPARE(keyOf(env, {Password}), Password);
        later.btnEnablePWD->click();
        QVERIFY(!dm.PasswordProtectionEnabled());
        QCOMPARE(keyOf(env, {Password}), QStringLiteral("built-in"));
        QVERIFY(!later.chkEncryptDatabase->isChecked());
        QVERIFY(!later.chkEncryptDatabase->isEnabled());
        QCOMPARE(ui.shown(QStringLiteral("msgbox")).size(), 3); // the three questions, no error
    }

    void aPasswordThatCannotEncryptLeavesTheSwitchOff()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        dm.SetPasswordProtection(true); // on, but no password set yet
        TfrmOptions dialog(dm);
        dialog.chkEncryptDatabase->click();
        QVERIFY(!dialog.chkEncryptDatabase->isChecked());
        QCOMPARE(keyOf(env), QStringLiteral("built-in"));
        const auto boxes = ui.shown(QStringLiteral("msgbox"));
        QCOMPARE(boxes.size(), 1); // no question first: there is nothing to decide
        QCOMPARE(boxes[0].style, int(StyleError));
        QCOMPARE(boxes[0].text, DatabasePasswordProblem(QString()));
    }

    void changingThePasswordReKeysTheFileInTheSameStep_data()
    {
        QTest::addColumn<QString>("fresh");
        QTest::addColumn<bool>("changed");
        QTest::newRow("a new password") << "n3w'Pass" << true;
        // A password the file cannot take: neither the key nor the stored password changes.
        QTest::newRow("a password that cannot encrypt") << QString::fromLatin1(TDBSession::Key) << false;
    }
    void changingThePasswordReKeysTheFileInTheSameStep()
    {
        QFETCH(QString, fresh);
        QFETCH(bool, changed);
        RecordingUiServices ui;
        TestEnvironment env;
        ProtectDatabase(env.dm(), Password);
        TfrmBase::SetModalHook([&](QDialog& dialog) {
            auto& change = dynamic_cast<TfrmChangePass&>(dialog);
            change.edtOld->setText(Password);
            change.edtNew->setText(fresh);
            change.edtVerify->setText(fresh);
            change.btnSaveClick();
            return change.result();
        });
        QCOMPARE(ChangeProgramPassword(env.dm(), nullptr), changed);
        const QString now = changed ? fresh : Password;
        QCOMPARE(DecipherPassword(env.dm().GetUserPass()), now);
        QCOMPARE(keyOf(env, {Password, fresh}), now);
        QCOMPARE(ui.shown(QStringLiteral("msgbox")).size(), changed ? 0 : 1);

        // The next start opens with the password now in force.
        TdmPublic next(env.executablePath());
        TfrmLogin login(next);
        login.edtPassword->setText(now);
        login.btnSaveClick();
        QVERIFY(login.Passed);
    }
};

QTEST_MAIN(TestProtectedDatabase)
#include "tst_protecteddatabase.moc"
