// Real fleets on the loopback servers: sudo with and without a password, su with a root password,
// manager keys, the BSD and macOS dialogs that print nothing on success, failure texts, English
// messages on a German host, an expired account, the host-key policy and shadow entries read by the
// managers for accounts that cannot log in.
#include "core/ShadowHash.h"
#include "tests/engine/EngineFixture.h"
#include "transport/KnownHostsFile.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace TestServers;

namespace {

int osidOf(TdmPublic& dm, const QString& name)
{
    auto query = dm.NewQuery();
    query->SelectSQL = QStringLiteral("select OSID from UnixOS where OSName = '%1'").arg(name);
    return dm.OpenQuery(*query) && !query->Eof() ? query->Fields(0).AsInteger() : -1;
}

struct ManagerHost
{
    QString address = FleetAddress;
    QString manager;
    QString password = Password;
    TElevation elevation = TElevation::None;
    QString rootPassword;
    QString key;
    QString passphrase;
};

void addManagerHost(EngineFixture& f, const ManagerHost& m)
{
    THost host;
    host.hID = 1;
    host.hAddress = m.address;
    host.hPort = Port;
    host.OSID = osidOf(f.dm, QStringLiteral("Linux (manager account)"));
    host.MngLogin = m.manager;
    host.MngPwd = EncipherPassword(m.password);
    host.MngElevation = m.elevation;
    host.MngRootPwd = m.rootPassword.isEmpty() ? QString() : EncipherPassword(m.rootPassword);
    host.MngKeyPath = m.key;
    host.MngKeyPass = m.passphrase.isEmpty() ? QString() : EncipherPassword(m.passphrase);
    host.UseManager = -1;
    QVERIFY(f.dm.SaveHost(host, TSaveMode::Insert));
}

int loginCode(EngineFixture& f, const QString& address, const QString& login, const QString& password)
{
    TActionStaus status;
    f.login(EngineFixture::User(address, login, password), QString(), status);
    return status.Code;
}

QString freshPassword()
{
    return QStringLiteral("Fl-%1#q8").arg(QDateTime::currentMSecsSinceEpoch() % 1000000);
}

} // namespace

class TestFleet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString problem = FleetServerProblem();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

    void managerElevation_data()
    {
        QTest::addColumn<QString>("manager");
        QTest::addColumn<QString>("managerPassword");
        QTest::addColumn<int>("elevation");
        QTest::addColumn<QString>("rootPassword");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("passphrase");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("outcome"); // the start of the shown result
        const int sudo = int(TElevation::Sudo), su = int(TElevation::Su);
        const QString ok = QStringLiteral("Changed Successed. ");
        QTest::newRow("sudo asks for the manager's password") << FleetSudoManager << Password << sudo << ""
                                                              << ""
                                                              << "" << FleetTarget(1) << ok;
        QTest::newRow("sudo without a password") << FleetNoPasswdManager << Password << sudo << ""
                                                 << ""
                                                 << "" << FleetTarget(4) << ok;
        QTest::newRow("not in the sudoers file")
            << FleetNoSudoManager << Password << sudo << ""
            << ""
            << "" << FleetTarget(2) << "Changed Failed. vtfl_nosudo is not in the sudoers file";
        QTest::newRow("su with the root password") << FleetSuManager << Password << su << FleetRootPassword << ""
                                                   << "" << FleetTarget(6) << ok;
        QTest::newRow("su with a wrong root password")
            << FleetSuManager << Password << su << "Not-Root#1"
            << ""
            << "" << FleetTarget(7) << "Changed Failed. su: authentication failure";
        QTest::newRow("ed25519 key, no passphrase")
            << FleetKeyManager << "" << sudo << "" << KeyEd25519 << "" << FleetTarget(8) << ok;
        QTest::newRow("RSA key in PEM format with its passphrase")
            << FleetKeyManager << "" << sudo << "" << KeyRsaPem << KeyPassphrase << FleetTarget(9) << ok;
        QTest::newRow("key, then sudo refuses the stored password")
            << FleetKeySudoManager << "Not-The#Pw1" << sudo << "" << KeyEcdsa << KeyPassphrase << FleetTarget(10)
            << "Changed Failed. sorry, try again.";
        QTest::newRow("wrong passphrase names the key file")
            << FleetKeyManager << "" << sudo << "" << KeyEcdsa << "Wrong#Pass1" << FleetTarget(11)
            << "Login failed. The private key " + KeyEcdsa +
                   " for 127.0.0.8:2222 could not be used: the passphrase is wrong";
    }
    void managerElevation()
    {
        QFETCH(QString, manager);
        QFETCH(QString, managerPassword);
        QFETCH(int, elevation);
        QFETCH(QString, rootPassword);
        QFETCH(QString, key);
        QFETCH(QString, passphrase);
        QFETCH(QString, target);
        QFETCH(QString, outcome);
        QVERIFY(ResetPassword(target, Password));
        EngineFixture f;
        addManagerHost(f,
                       {FleetAddress, manager, managerPassword, TElevation(elevation), rootPassword, key, passphrase});
        const QString fresh = freshPassword();
        TActionStaus status;
        QElapsedTimer clock;
        clock.start();
        f.change(EngineFixture::User(FleetAddress, target, QStringLiteral("unused"), fresh), 0, status);
        QVERIFY2(status.Shown().startsWith(outcome), qPrintable(status.Shown()));
        // A refusal ends at once with its reason, never after a prompt's time-out.
        QVERIFY2(clock.elapsed() < 4500, qPrintable(QString::number(clock.elapsed())));
        const bool changed = outcome.startsWith(QLatin1String("Changed Successed"));
        QCOMPARE(loginCode(f, FleetAddress, target, changed ? fresh : Password), int(acLoginSucceeded));
        for (const QString& secret : {Password, fresh, FleetRootPassword, KeyPassphrase})
            QVERIFY2(!f.EverythingShown().contains(secret), qPrintable(secret));
    }

    // The check through the manager: the hash read over the kept connection proves the password the
    // change just set, and the old one no longer, for accounts that cannot log in themselves.
    void shadowEntryThroughTheManager_data()
    {
        QTest::addColumn<QString>("manager");
        QTest::addColumn<int>("elevation");
        QTest::addColumn<QString>("rootPassword");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("problem"); // its start; empty: the entry is read
        const int sudo = int(TElevation::Sudo), su = int(TElevation::Su);
        QTest::newRow("sudo without a password") << FleetNoPasswdManager << sudo << "" << FleetNologinTarget(1) << "";
        QTest::newRow("su with the root password")
            << FleetSuManager << su << FleetRootPassword << FleetNologinTarget(2) << "";
        QTest::newRow("sudo with a password but no rule for getent")
            << FleetSudoManager << sudo << "" << FleetNologinTarget(1)
            << "sudo refused: sorry, user vtfl_sudo is not allowed to execute";
        QTest::newRow("su with a wrong root password") << FleetSuManager << su << "Not-Root#1" << FleetNologinTarget(1)
                                                       << "su refused: su: authentication failure";
        QTest::newRow("no elevation") << FleetNoPasswdManager << int(TElevation::None) << "" << FleetNologinTarget(1)
                                      << "the entry could not be read (permission denied)";
        QTest::newRow("no such account") << FleetNoPasswdManager << sudo << ""
                                         << "vtfl_nobody"
                                         << "there is no account vtfl_nobody on the host";
    }
    void shadowEntryThroughTheManager()
    {
        QFETCH(QString, manager);
        QFETCH(int, elevation);
        QFETCH(QString, rootPassword);
        QFETCH(QString, account);
        QFETCH(QString, problem);
        QVERIFY2(::getpwnam("vtfl_nologin2"), "start the test servers again: vtfl_nologin2 is missing");
        EngineFixture f;
        addManagerHost(f, {FleetAddress, manager, Password, TElevation(elevation), rootPassword, "", ""});
        const QString fresh = freshPassword();
        TActionStaus status;
        if (problem.isEmpty()) {
            f.change(EngineFixture::User(FleetAddress, account, QStringLiteral("unused"), fresh), 0, status);
            QCOMPARE(status.Shown(), QStringLiteral("Changed Successed. "));
        }
        THost host;
        host.MngLogin = manager;
        host.MngPwd = EncipherPassword(Password);
        TLoginRequest login = ManagerLoginRequestOf(host, FleetAddress, Port, f.knownHostsPath());
        login.reuseConnection = true;
        QString hash, why;
        const SecretBuffer elevationPassword(rootPassword.isEmpty() ? Password : rootPassword);
        QCOMPARE(f.engine.ReadShadowHash(login, TElevation(elevation), elevationPassword, account, hash, why),
                 problem.isEmpty());
        QVERIFY2(problem.isEmpty() ? why.isEmpty() : why.startsWith(problem), qPrintable(why));
        if (problem.isEmpty()) {
            QVERIFY(PasswordMatchesShadowHash(SecretBuffer(fresh), hash));
            QVERIFY(!PasswordMatchesShadowHash(SecretBuffer(Password), hash));
            QVERIFY(!f.EverythingShown().contains(hash));
            QVERIFY(ResetPassword(account, Password));
        }
        for (const QString& secret : {Password, fresh, FleetRootPassword})
            QVERIFY2(!f.EverythingShown().contains(secret), qPrintable(secret));
    }

    void otherSystemsDialogs_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("retyped");
        QTest::newRow("FreeBSD: silent, exit 0") << "FreeBSD" << DialogFreeBsd << Password << "Bsd-New#12"
                                                 << "Changed Successed. " << true;
        QTest::newRow("OpenBSD: silent, exit 0") << "OpenBSD" << DialogOpenBsd << Password << "Bsd-New#12"
                                                 << "Changed Successed. " << true;
        QTest::newRow("macOS: silent, exit 0") << "macOS" << DialogMacOs << Password << "Mac-New#12"
                                               << "Changed Successed. " << true;
        QTest::newRow("BAD PASSWORD ends the dialog before the retype")
            << "Linux" << DialogPwQuality << Password << "x1"
            << "Changed Failed. bad password: the password is shorter than 8 characters" << false;
    }
    void otherSystemsDialogs()
    {
        QFETCH(QString, profile);
        QFETCH(QString, account);
        QFETCH(QString, oldPassword);
        QFETCH(QString, newPassword);
        QFETCH(QString, shown);
        QFETCH(bool, retyped);
        QVERIFY(ClearDialogAnswers(account));
        EngineFixture f;
        f.AddHost(1, DialogAddress, osidOf(f.dm, profile));
        TActionStaus status;
        f.change(EngineFixture::User(DialogAddress, account, oldPassword, newPassword), 0, status);
        QCOMPARE(status.Shown(), shown);
        QVERIFY(status.NewPasswordSent);
        bool retypeSent = false;
        for (const DialogAnswer& answer : DialogAnswers(account))
            retypeSent |= answer.step == QLatin1String("retype");
        QCOMPARE(retypeSent, retyped);
    }

    // Servers nobody here wrote, each changing a real password the way that server takes it.
    void otherServers_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("manager"); // empty: the account logs in itself
        QTest::addColumn<bool>("legacy");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("outcome"); // the start of the shown result
        QTest::addColumn<bool>("changed");
        const QString ok = QStringLiteral("Changed Successed. ");
        const QString fresh = QStringLiteral("Ot-Fresh#2026q");
        QTest::newRow("Dropbear") << DropbearAddress << Dropbear(1) << "" << false << fresh << ok << true;
        QTest::newRow("BusyBox passwd") << BusyBoxAddress << BusyBox(1) << "" << false << fresh << ok << true;
        QTest::newRow("BusyBox passwd as root")
            << BusyBoxAddress << BusyBox(2) << BusyBoxManager << false << fresh << ok << true;
        QTest::newRow("no terminal allowed") << NoTtyAddress << NoTty(1) << "" << false << fresh << ok << true;
        QTest::newRow("passwd forced on every login")
            << ForcedAddress << Forced(1) << "" << false << fresh << ok << true;
        QTest::newRow("SHA-1 host, allowed") << Sha1Address << Sha1(1) << "" << true << fresh << ok << true;
        QTest::newRow("SHA-1 host, not allowed")
            << Sha1Address << Sha1(2) << "" << false << fresh
            << "Login failed. Please check network connection and login account. The host offers only SHA-1 "
               "algorithms ("
            << false;
        // Root held to pam_pwquality asks for the new password again instead of its retype.
        QTest::newRow("pwquality refuses root a short password")
            << PwQualityAddress << PwQualityTarget(1) << PwQualityManager << false << "Short#1"
            << "Changed Failed. bad password: the password is shorter than 12 characters" << false;
        // rbash does not run "env LC_ALL=C ..." in front of passwd: the plain command runs instead.
        QTest::newRow("restricted shell without env") << DialogAddress << DialogRestrictedShell + "1"
                                                      << "" << false << fresh << ok << false;
    }
    void otherServers()
    {
        const QString problem = RealFleetServerProblem();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QFETCH(QString, address);
        QFETCH(QString, account);
        QFETCH(QString, manager);
        QFETCH(bool, legacy);
        QFETCH(QString, newPassword);
        QFETCH(QString, outcome);
        QFETCH(bool, changed);
        const bool busyBox = address == BusyBoxAddress;
        QVERIFY(ResetPassword(account, Password, busyBox ? QStringLiteral("SHA512") : QString()));
        EngineFixture f;
        THost host;
        host.hID = 1;
        host.hAddress = address;
        host.hPort = Port;
        host.OSID =
            osidOf(f.dm, manager.isEmpty() ? QStringLiteral("Linux") : QStringLiteral("Linux (manager account)"));
        host.MngLogin = manager;
        host.MngPwd = manager.isEmpty() ? QString() : EncipherPassword(Password);
        host.MngElevation = address == PwQualityAddress ? TElevation::Sudo : TElevation::None;
        host.UseManager = manager.isEmpty() ? 1 : -1;
        host.hLegacyAlgorithms = legacy;
        QVERIFY(f.dm.SaveHost(host, TSaveMode::Insert));
        TActionStaus status;
        QElapsedTimer clock;
        clock.start();
        f.change(EngineFixture::User(address, account, Password, newPassword), 0, status);
        QVERIFY2(status.Shown().startsWith(outcome), qPrintable(status.Shown()));
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
        if (address != DialogAddress) {
            TUser user = EngineFixture::User(address, account, changed ? newPassword : Password);
            TLoginRequest request = LoginRequestOf(user, f.knownHostsPath());
            request.legacyAlgorithms = true;
            f.engine.SSHLogin(request, status);
            QCOMPARE(int(status.Code), int(acLoginSucceeded));
        }
        QVERIFY(!f.EverythingShown().contains(newPassword));
        QVERIFY(!f.EverythingShown().contains(Password));
        if (changed)
            QVERIFY(ResetPassword(account, Password, busyBox ? QStringLiteral("SHA512") : QString()));
    }

    void englishMessagesOnAGermanHost_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("account");
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("shown");
        QTest::newRow("environment accepted") << LocaleAddress << DialogGerman + "1" << true << "Changed Successed. ";
        QTest::newRow("environment refused: set in front")
            << DialogAddress << DialogGerman + "2" << true << "Changed Successed. ";
        QTest::newRow("switch off: German prompts")
            << LocaleAddress << DialogGerman + "1" << false << "Changed Failed. Receive data timeout.";
    }
    void englishMessagesOnAGermanHost()
    {
        QFETCH(QString, address);
        QFETCH(QString, account);
        QFETCH(bool, english);
        QFETCH(QString, shown);
        EngineFixture f;
        const int linux = osidOf(f.dm, QStringLiteral("Linux"));
        auto query = f.dm.NewQuery();
        query->SelectSQL = QStringLiteral("update ActionRules set EnglishMessages = %1 where OSID = %2")
                               .arg(english ? 1 : 0)
                               .arg(linux);
        QVERIFY(f.dm.OpenQuery(*query));
        f.AddHost(1, address, linux);
        TActionStaus status;
        f.change(EngineFixture::User(address, account, Password, QStringLiteral("De-New#123")), 0, status);
        QCOMPARE(status.Shown(), shown);
    }

    void expiredPasswordIsReportedNotTakenForALogin()
    {
        EngineFixture f;
        for (const QString& account : FleetExpired) {
            TActionStaus status;
            f.login(EngineFixture::User(FleetAddress, account, Password), QString(), status);
            QCOMPARE(int(status.Code), int(acLoginFailed));
            QVERIFY2(status.Detail.contains(QLatin1String("expired")), qPrintable(status.Detail));
            QVERIFY(!status.LoginRefused);
        }
    }

    void knownOnlyRefusesAHostWithoutARecordedKey()
    {
        EngineFixture f;
        TLoginRequest request =
            LoginRequestOf(EngineFixture::User(FleetAddress, FleetTarget(12), Password), f.knownHostsPath());
        request.refuseUnknownHost = true;
        TActionStaus status;
        f.engine.SSHLogin(request, status);
        QCOMPARE(int(status.Code), int(acLoginFailed));
        QVERIFY2(status.Detail.contains(QLatin1String("is not recorded yet")), qPrintable(status.Detail));
        QVERIFY(KnownHostsFile::RecordedKeys(f.knownHostsPath(), FleetAddress, Port).isEmpty());

        request.refuseUnknownHost = false; // trust on first use: recorded, and said so
        f.engine.SSHLogin(request, status);
        QCOMPARE(int(status.Code), int(acLoginSucceeded));
        const auto recorded = KnownHostsFile::RecordedKeys(f.knownHostsPath(), FleetAddress, Port);
        QCOMPARE(recorded.size(), 1);
        QCOMPARE(status.HostKey, recorded[0].type + QLatin1Char(' ') + recorded[0].fingerprint);
    }
};

QTEST_GUILESS_MAIN(TestFleet)
#include "tst_fleet.moc"
