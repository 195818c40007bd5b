#include "batch/NoticeMailSettings.h"
#include "batch/TNoticeMailer.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/support/MailTestServer.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "transport/SmtpTransport.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <memory>

using namespace MailTestServer;

namespace {

const QStringList AllStages{QStringLiteral("Connect to ..."), QStringLiteral("Authentication..."),
                            QStringLiteral("Sending...")};
// Without an account nothing logs in, and the progress line does not claim it does.
const QStringList StagesWithoutLogin{AllStages[0], AllStages[2]};
// Stands for a CAFile that exists but holds no certificate.
const QString NotPem = QStringLiteral("<not PEM>");

// What one notice mail did, as the mailer and the server saw it.
struct Attempt
{
    TActionStaus status;
    QStringList progress;
    QStringList newMails;
    QStringList newAuth; // "tls" or "clear" per AUTH command
    int newConnections = 0;
    int newEnvelopes = 0; // MAIL commands the server received
};

} // namespace

class tst_NoticeMailTls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void logsInOnlyInsideTls_data();
    void logsInOnlyInsideTls();
    void refusesBeforeAnyLogin_data();
    void refusesBeforeAnyLogin();
    void fallsBackToClearTextOnlyWithoutAccountOrSetting();
    void transportNeverFallsBackWithAPassword();

private:
    void configure(int port, const QString& security, const QString& caFile, bool withAccount = true);
    Attempt send(int port);

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<RecordingUiServices> m_ui;
};

void tst_NoticeMailTls::initTestCase()
{
    for (int port : {MailTestsPort, StartTlsPort, TlsPort, OtherNameStartTlsPort, AuthAfterTlsPort})
        QVERIFY2(IsListening(Address, port) && QFileInfo::exists(CaFile),
                 qPrintable(QStringLiteral("The SMTP test server does not answer on 127.0.0.6:%1 or has no %2; "
                                           "start it with tests/servers/smtp/start.sh")
                                .arg(port)
                                .arg(CaFile)));
}

void tst_NoticeMailTls::init()
{
    m_ui = std::make_unique<RecordingUiServices>();
    m_env = std::make_unique<TestEnvironment>();
}

void tst_NoticeMailTls::cleanup()
{
    m_env.reset();
    m_ui.reset();
}

void tst_NoticeMailTls::configure(int port, const QString& security, const QString& caFile, bool withAccount)
{
    NoticeMailSettings settings;
    settings.server = Address;
    settings.port = port;
    if (withAccount) {
        settings.account = Account;
        settings.password = EncipherPassword(Password);
    }
    settings.sender = QStringLiteral("notices@veltrane.test");
    settings.subject = QStringLiteral("Password notice");
    settings.body = QStringLiteral("<p>Your password was changed.</p>");
    settings.security = security;
    settings.caFile = caFile;
    // Relative names are files beside Options.ini.
    const QString folder = QFileInfo(m_env->dm().OptionsFile.ini().path()).absolutePath() + QLatin1Char('/');
    if (caFile == NotPem) {
        settings.caFile = QStringLiteral("notes.txt");
        QFile notes(folder + settings.caFile);
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a certificate\n") > 0);
    } else if (!caFile.isEmpty() && QFileInfo(caFile).isRelative()) {
        QVERIFY(QFile::copy(CaFile, folder + caFile));
    }
    settings.Write(m_env->dm().OptionsFile.ini());
}

Attempt tst_NoticeMailTls::send(int port)
{
    TUser user;
    user.LoginName = QStringLiteral("alice");
    user.Email = QStringLiteral("alice@x.test");
    Attempt attempt;
    const QStringList mailsBefore = ReceivedMailNames(port);
    const qsizetype authBefore = AuthCommands(port).size();
    const int connectionsBefore = Connections(port).opened;
    const int envelopesBefore = MailCommands(port);
    TNoticeMailer(m_env->dm()).SendNoticeMail(user, attempt.status, [&](const QString& text) {
        attempt.progress.append(text);
    });
    for (const QString& name : ReceivedMailNames(port))
        if (!mailsBefore.contains(name))
            attempt.newMails.append(name);
    attempt.newAuth = AuthCommands(port).mid(authBefore);
    attempt.newConnections = Connections(port).opened - connectionsBefore;
    attempt.newEnvelopes = MailCommands(port) - envelopesBefore;
    return attempt;
}

void tst_NoticeMailTls::logsInOnlyInsideTls_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("withAccount");
    QTest::addColumn<QString>("caFile");
    QTest::newRow("STARTTLS") << StartTlsPort << QStringLiteral("starttls") << true << CaFile;
    QTest::newRow("STARTTLS when the key is missing") << StartTlsPort << QString() << true << CaFile;
    QTest::newRow("STARTTLS without account") << StartTlsPort << QString() << false << CaFile;
    QTest::newRow("implicit TLS, value in capitals") << TlsPort << QStringLiteral("TLS") << true << CaFile;
    QTest::newRow("CAFile relative to Options.ini")
        << StartTlsPort << QStringLiteral("starttls") << true << QStringLiteral("ca.pem");
    QTest::newRow("AUTH only after STARTTLS") << AuthAfterTlsPort << QStringLiteral("starttls") << true << CaFile;
}

void tst_NoticeMailTls::logsInOnlyInsideTls()
{
    QFETCH(int, port);
    QFETCH(QString, security);
    QFETCH(bool, withAccount);
    QFETCH(QString, caFile);
    configure(port, security, caFile, withAccount);

    const Attempt attempt = send(port);

    QCOMPARE(attempt.status.Detail, QString());
    QCOMPARE(attempt.status.Shown(), QStringLiteral("Send Successed. "));
    QCOMPARE(attempt.progress, withAccount ? AllStages : StagesWithoutLogin);
    QCOMPARE(attempt.newAuth, withAccount ? QStringList{QStringLiteral("tls")} : QStringList());
    QCOMPARE(attempt.newMails.size(), 1);
    const QJsonObject mail = ReadMail(attempt.newMails.first(), port);
    QVERIFY(mail[QStringLiteral("tls")].toBool());
    QCOMPARE(mail[QStringLiteral("login")].toString(), withAccount ? Account : QString());
    const ConnectionCounts counts = WaitUntilAllClosed(3000, port);
    QCOMPARE(counts.closed, counts.opened);
}

void tst_NoticeMailTls::refusesBeforeAnyLogin_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("caFile");
    QTest::addColumn<bool>("withAccount");
    QTest::addColumn<QStringList>("detailParts");
    // Progress shown ("Connect to ..." or nothing); the server sees a connection exactly when it is.
    QTest::addColumn<int>("stages");
    const QStringList notOffered{QStringLiteral("(port 2526) does not offer STARTTLS"), QStringLiteral("Security=tls"),
                                 QStringLiteral("Security=none")};
    const QString keptBack = QStringLiteral("password was kept back");
    QTest::newRow("no STARTTLS, starttls set")
        << MailTestsPort << QStringLiteral("starttls") << CaFile << true << notOffered + QStringList{keptBack} << 1;
    QTest::newRow("no STARTTLS, key missing, account set")
        << MailTestsPort << QString() << CaFile << true << notOffered + QStringList{keptBack} << 1;
    QTest::newRow("no STARTTLS, starttls set, no account")
        << MailTestsPort << QStringLiteral("starttls") << CaFile << false << notOffered << 1;
    QTest::newRow("certificate for another name")
        << OtherNameStartTlsPort << QStringLiteral("starttls") << CaFile << true
        << QStringList{QStringLiteral("not made out for \"127.0.0.6\""), QStringLiteral("[Mail] Server")} << 1;
    QTest::newRow("authority unknown to the system's store")
        << StartTlsPort << QStringLiteral("starttls") << QString() << true
        << QStringList{QStringLiteral("not trusted by this system"), QStringLiteral("[Mail] CAFile")} << 1;
    QTest::newRow("implicit TLS on a plain port")
        << MailTestsPort << QStringLiteral("tls") << CaFile << true
        << QStringList{QStringLiteral("TLS handshake"), QStringLiteral("Security=starttls")} << 1;
    QTest::newRow("CAFile not PEM") << StartTlsPort << QStringLiteral("starttls") << NotPem << true
                                    << QStringList{QStringLiteral("notes.txt\" set in [Mail] CAFile holds no "
                                                                  "readable certificate")}
                                    << 1;
    QTest::newRow("CAFile missing") << StartTlsPort << QStringLiteral("starttls")
                                    << QStringLiteral("/nonexistent/ca.pem") << true
                                    << QStringList{QStringLiteral("\"/nonexistent/ca.pem\" set in [Mail] CAFile "
                                                                  "does not exist")}
                                    << 0;
    // libcurl would skip the login unasked and send unauthenticated, to be refused as relaying.
    QTest::newRow("AUTH only after STARTTLS, none set")
        << AuthAfterTlsPort << QStringLiteral("none") << CaFile << true
        << QStringList{QStringLiteral("(port 2530) offers the login (AUTH) only after STARTTLS"),
                       QStringLiteral("Security=starttls")}
        << 1;
    QTest::newRow("unknown Security value")
        << StartTlsPort << QStringLiteral("ssl") << CaFile << true
        << QStringList{QStringLiteral("[Mail] Security=ssl is not valid"), QStringLiteral("starttls"),
                       QStringLiteral("tls ("), QStringLiteral("none")}
        << 0;
}

void tst_NoticeMailTls::refusesBeforeAnyLogin()
{
    QFETCH(int, port);
    QFETCH(QString, security);
    QFETCH(QString, caFile);
    QFETCH(bool, withAccount);
    QFETCH(QStringList, detailParts);
    QFETCH(int, stages);
    configure(port, security, caFile, withAccount);

    const Attempt attempt = send(port);

    QCOMPARE(attempt.status.Code, std::uint8_t(acSendFailed));
    for (const QString& part : detailParts)
        QVERIFY2(attempt.status.Detail.contains(part), qPrintable(attempt.status.Detail));
    // Every port takes AUTH in clear text too: had a login gone out, it would show here.
    QCOMPARE(attempt.newAuth, QStringList());
    QCOMPARE(attempt.newMails, QStringList());
    QCOMPARE(attempt.newEnvelopes, 0);
    QCOMPARE(attempt.progress, AllStages.mid(0, stages));
    QCOMPARE(attempt.newConnections, stages);
    const ConnectionCounts counts = WaitUntilAllClosed(3000, port);
    QCOMPARE(counts.closed, counts.opened);
}

// Settings from before the key existed, with no password to lose, still reach a server without TLS.
// The plain server wants a login, so the mail stops at its 530, after MAIL FROM went out in clear.
void tst_NoticeMailTls::fallsBackToClearTextOnlyWithoutAccountOrSetting()
{
    configure(MailTestsPort, QString(), QString(), false);

    const Attempt attempt = send(MailTestsPort);

    QVERIFY2(attempt.status.Detail.contains(QStringLiteral("530")), qPrintable(attempt.status.Detail));
    QCOMPARE(attempt.progress, StagesWithoutLogin);
    QCOMPARE(attempt.newAuth, QStringList());
}

void tst_NoticeMailTls::transportNeverFallsBackWithAPassword()
{
    SmtpServer server;
    server.host = Address;
    server.port = MailTestsPort;
    server.account = Account;
    server.password = SecretBuffer(Password);
    server.security = SmtpSecurity::StartTlsIfOffered;
    const SmtpMessage message{QStringLiteral("n@veltrane.test"),
                              {QStringLiteral("a@x.test")},
                              QStringLiteral("N"),
                              QStringLiteral("<p>N</p>")};
    const qsizetype authBefore = AuthCommands(MailTestsPort).size();

    const SmtpOutcome outcome = SmtpTransport().Send(server, message, nullptr, nullptr);

    QVERIFY(!outcome.sent);
    QVERIFY2(outcome.message.contains(QStringLiteral("does not offer STARTTLS")), qPrintable(outcome.message));
    QCOMPARE(AuthCommands(MailTestsPort).size(), authBefore);
}

QTEST_GUILESS_MAIN(tst_NoticeMailTls)
#include "tst_noticemailtls.moc"
