#include "batch/NoticeMailSettings.h"
#include "batch/TNoticeMailer.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tests/support/MailTestServer.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "transport/SmtpTransport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace MailTestServer;

namespace {

const QString Sender = QStringLiteral("Veltrane Notices <notices@veltrane.test>");
const QString Body = QStringLiteral("<html><body><p>Your password was changed.</p></body></html>");
const QStringList AllStages{QStringLiteral("Connect to ..."), QStringLiteral("Authentication..."),
                            QStringLiteral("Sending...")};

struct Attempt
{
    TActionStaus status;
    QStringList progress;
    qint64 elapsedMs = 0;
    int pumps = 0;
    QStringList newMails;
    int newConnections = 0;
};

QStringList toStrings(const QJsonValue& value)
{
    QStringList list;
    for (const QJsonValue& item : value.toArray())
        list.append(item.toString());
    return list;
}

} // namespace

class tst_NoticeMail : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void deliversOneMessageToEveryRecipient_data();
    void deliversOneMessageToEveryRecipient();
    void failsWithReadableReason_data();
    void failsWithReadableReason();
    void transportRefusesInjectionBeforeConnecting_data();
    void transportRefusesInjectionBeforeConnecting();
    void silentServerTimesOutWhileTheWindowsStayAlive_data();
    void silentServerTimesOutWhileTheWindowsStayAlive();
    void freeFunctionUsesTheDataModule();

private:
    void configure(const QString& host, int port, const QString& password, const QString& sender,
                   const QString& subject);
    Attempt send(const QString& email);

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<RecordingUiServices> m_ui;
};

void tst_NoticeMail::initTestCase()
{
    QVERIFY2(IsListening(Address, MailTestsPort),
             "The SMTP test server does not answer on 127.0.0.6:2526; start it with tests/servers/smtp/start.sh");
}

void tst_NoticeMail::init()
{
    m_ui = std::make_unique<RecordingUiServices>();
    m_env = std::make_unique<TestEnvironment>();
    configure(Address, MailTestsPort, Password, Sender, QStringLiteral("Password notice"));
}

void tst_NoticeMail::cleanup()
{
    m_env.reset();
    m_ui.reset();
}

void tst_NoticeMail::configure(const QString& host, int port, const QString& password, const QString& sender,
                               const QString& subject)
{
    NoticeMailSettings settings;
    settings.server = host;
    settings.port = port;
    settings.account = Account;
    settings.password = EncipherPassword(password);
    settings.sender = sender;
    settings.subject = subject;
    settings.body = Body;
    // The mail tests' plain port offers no STARTTLS; tst_noticemailtls covers the protected ways.
    settings.security = QStringLiteral("none");
    settings.Write(m_env->dm().OptionsFile.ini());
}

Attempt tst_NoticeMail::send(const QString& email)
{
    TUser user;
    user.LoginName = QStringLiteral("alice");
    user.Email = email;
    Attempt attempt;
    const QStringList mailsBefore = ReceivedMailNames(MailTestsPort);
    const int connectionsBefore = Connections(MailTestsPort).opened;
    const int pumpsBefore = m_ui->pumps;
    QElapsedTimer timer;
    timer.start();
    TNoticeMailer(m_env->dm()).SendNoticeMail(user, attempt.status, [&](const QString& text) {
        attempt.progress.append(text);
    });
    attempt.elapsedMs = timer.elapsed();
    attempt.pumps = m_ui->pumps - pumpsBefore;
    for (const QString& name : ReceivedMailNames(MailTestsPort))
        if (!mailsBefore.contains(name))
            attempt.newMails.append(name);
    attempt.newConnections = Connections(MailTestsPort).opened - connectionsBefore;
    return attempt;
}

void tst_NoticeMail::deliversOneMessageToEveryRecipient_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QStringList>("recipients");
    const QString plain = QStringLiteral("Password notice");
    QTest::newRow("two addresses") << QStringLiteral("a@x.test, b@y.test") << plain
                                   << QStringList{QStringLiteral("a@x.test"), QStringLiteral("b@y.test")};
    QTest::newRow("blanks and empty parts") << QStringLiteral(" d@x.test ,, e@y.test , ") << plain
                                            << QStringList{QStringLiteral("d@x.test"), QStringLiteral("e@y.test")};
    QTest::newRow("named address") << QStringLiteral("Dora Dent <f@x.test>") << plain
                                   << QStringList{QStringLiteral("f@x.test")};
    QTest::newRow("non-ASCII subject") << QStringLiteral("g@x.test")
                                       << QStringLiteral("Passwort geändert – bitte lesen ✓")
                                       << QStringList{QStringLiteral("g@x.test")};
    QTest::newRow("long subject") << QStringLiteral("h@x.test") << QString(30, QLatin1Char('x')).repeated(5)
                                  << QStringList{QStringLiteral("h@x.test")};
}

void tst_NoticeMail::deliversOneMessageToEveryRecipient()
{
    QFETCH(QString, email);
    QFETCH(QString, subject);
    QFETCH(QStringList, recipients);
    configure(Address, MailTestsPort, Password, Sender, subject);

    const Attempt attempt = send(email);

    QCOMPARE(attempt.status.Detail, QString());
    QCOMPARE(attempt.status.Code, std::uint8_t(acSendSucceeded));
    QCOMPARE(attempt.status.Text, QStringLiteral("Send Successed. "));
    QCOMPARE(attempt.progress, AllStages);
    QStringList statusPane;
    for (const auto& shown : m_ui->shown(QStringLiteral("status")))
        statusPane.append(shown.text);
    QCOMPARE(statusPane, AllStages);
    QVERIFY(attempt.pumps > 0);
    QCOMPARE(attempt.newConnections, 1);
    const ConnectionCounts counts = WaitUntilAllClosed(3000, MailTestsPort);
    QCOMPARE(counts.closed, counts.opened);

    QCOMPARE(attempt.newMails.size(), 1);
    const QJsonObject mail = ReadMail(attempt.newMails.first(), MailTestsPort);
    QCOMPARE(toStrings(mail[QStringLiteral("rcpt_tos")]), recipients);
    QCOMPARE(mail[QStringLiteral("mail_from")].toString(), QStringLiteral("notices@veltrane.test"));
    QCOMPARE(mail[QStringLiteral("mechanism")].toString(), QStringLiteral("LOGIN"));
    QCOMPARE(mail[QStringLiteral("login")].toString(), Account);

    const QJsonObject parsed = mail[QStringLiteral("parsed")].toObject();
    QVERIFY2(!parsed.contains(QStringLiteral("error")), qPrintable(parsed[QStringLiteral("error")].toString()));
    QCOMPARE(toStrings(parsed[QStringLiteral("defects")]), QStringList());
    QCOMPARE(parsed[QStringLiteral("subject")].toString(), subject);
    QCOMPARE(toStrings(parsed[QStringLiteral("to")]), recipients);
    QCOMPARE(parsed[QStringLiteral("from")].toString(), Sender);
    QCOMPARE(parsed[QStringLiteral("content_type")].toString(), QStringLiteral("text/html"));
    QCOMPARE(parsed[QStringLiteral("body")].toString().trimmed(), Body);

    const QDateTime date =
        QDateTime::fromString(parsed[QStringLiteral("date")].toString().section(u',', 1).trimmed(), Qt::RFC2822Date);
    QVERIFY2(date.isValid(), qPrintable(parsed[QStringLiteral("date")].toString()));
    QVERIFY(qAbs(date.secsTo(QDateTime::currentDateTime())) < 60);
    static const QRegularExpression messageId(QStringLiteral("^<[^<>@\\s]+@[^<>@\\s]+>$"));
    QVERIFY2(messageId.match(parsed[QStringLiteral("message_id")].toString()).hasMatch(),
             qPrintable(parsed[QStringLiteral("message_id")].toString()));
}

void tst_NoticeMail::failsWithReadableReason_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("detailPart");
    QTest::addColumn<bool>("connects");
    QTest::addColumn<QStringList>("progress");

    const QString to = QStringLiteral("a@x.test");
    const QString subject = QStringLiteral("Password notice");
    const QString lineBreak = QStringLiteral("contains a line break");
    QTest::newRow("wrong account password") << to << subject << Sender << QStringLiteral("Wr0ng-Secret#9") << Address
                                            << QStringLiteral("535") << true << AllStages.mid(0, 2);
    QTest::newRow("refused recipient") << QStringLiteral("a@x.test, refused@y.test") << subject << Sender << Password
                                       << Address << QStringLiteral("550 5.1.1 Mailbox unavailable") << true
                                       << AllStages;
    QTest::newRow("closed port") << to << subject << Sender << Password << ClosedAddress
                                 << QStringLiteral("Check the mail server's address and port") << false
                                 << AllStages.mid(0, 1);
    QTest::newRow("empty address") << QString() << subject << Sender << Password << Address
                                   << QStringLiteral("E-mail is empty.") << false << QStringList();
    QTest::newRow("only commas and blanks") << QStringLiteral(" , ,") << subject << Sender << Password << Address
                                            << QStringLiteral("E-mail is empty.") << false << QStringList();
    QTest::newRow("CR LF and a command in the address")
        << QStringLiteral("a@x.test\r\nRCPT TO:<evil@z.test>") << subject << Sender << Password << Address << lineBreak
        << false << QStringList();
    QTest::newRow("LF in the second address") << QStringLiteral("a@x.test, b@y.test\nDATA") << subject << Sender
                                              << Password << Address << lineBreak << false << QStringList();
    QTest::newRow("trailing line break in the address") << QStringLiteral("a@x.test\r\n") << subject << Sender
                                                        << Password << Address << lineBreak << false << QStringList();
    QTest::newRow("bare CR in the subject") << to << QStringLiteral("Notice\rX-Evil: 1") << Sender << Password
                                            << Address << lineBreak << false << QStringList();
    QTest::newRow("address with a blank inside") << QStringLiteral("a b@x.test") << subject << Sender << Password
                                                 << Address << QStringLiteral("is not valid") << false << QStringList();
}

void tst_NoticeMail::failsWithReadableReason()
{
    QFETCH(QString, email);
    QFETCH(QString, subject);
    QFETCH(QString, sender);
    QFETCH(QString, password);
    QFETCH(QString, host);
    QFETCH(QString, detailPart);
    QFETCH(bool, connects);
    QFETCH(QStringList, progress);
    configure(host, MailTestsPort, password, sender, subject);

    const Attempt attempt = send(email);

    QCOMPARE(attempt.status.Code, std::uint8_t(acSendFailed));
    QCOMPARE(attempt.status.Text, QStringLiteral("Send Failed. "));
    QVERIFY2(attempt.status.Detail.contains(detailPart), qPrintable(attempt.status.Detail));
    if (detailPart == QStringLiteral("E-mail is empty."))
        QCOMPARE(attempt.status.Detail, detailPart);
    QVERIFY2(!attempt.status.Detail.contains(QLatin1Char('\n')) && !attempt.status.Detail.contains(QLatin1Char('\r')),
             qPrintable(attempt.status.Detail));
    QVERIFY2(!attempt.status.Detail.contains(password), "the account password must never be shown");
    QCOMPARE(attempt.progress, progress);
    QCOMPARE(attempt.newConnections, connects ? 1 : 0);
    QCOMPARE(attempt.newMails, QStringList());
    QVERIFY2(attempt.elapsedMs < 6000, qPrintable(QString::number(attempt.elapsedMs)));
    const ConnectionCounts counts = WaitUntilAllClosed(3000, MailTestsPort);
    QCOMPARE(counts.closed, counts.opened);
}

// The settings file cannot carry a line break into the subject or the sender, so these go to the
// transport directly, as any other caller could.
void tst_NoticeMail::transportRefusesInjectionBeforeConnecting_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::newRow("CR LF and a header in the subject") << "subject" << QStringLiteral("Notice\r\nBcc: evil@z.test");
    QTest::newRow("LF and a command in the sender") << "sender" << QStringLiteral("n@v.test\nRCPT TO:<evil@z.test>");
    QTest::newRow("CR LF and a command in a recipient") << "recipient" << QStringLiteral("a@x.test\r\nDATA");
}

void tst_NoticeMail::transportRefusesInjectionBeforeConnecting()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    SmtpServer server;
    server.host = Address;
    server.port = MailTestsPort;
    server.account = Account;
    server.password = SecretBuffer(Password);
    SmtpMessage message;
    message.sender = field == QStringLiteral("sender") ? value : Sender;
    message.recipients = {field == QStringLiteral("recipient") ? value : QStringLiteral("a@x.test")};
    message.subject = field == QStringLiteral("subject") ? value : QStringLiteral("Notice");
    message.htmlBody = Body;
    const int connectionsBefore = Connections(MailTestsPort).opened;
    int stages = 0;

    const SmtpOutcome outcome = SmtpTransport().Send(
        server, message, [&](SmtpStage) { ++stages; }, nullptr);

    QVERIFY(!outcome.sent);
    QVERIFY2(outcome.message.contains(QStringLiteral("line break")), qPrintable(outcome.message));
    QCOMPARE(stages, 0);
    QCOMPARE(Connections(MailTestsPort).opened, connectionsBefore);
}

void tst_NoticeMail::silentServerTimesOutWhileTheWindowsStayAlive_data()
{
    QTest::addColumn<bool>("connectHangs");
    QTest::newRow("connected, never greets (read time-out)") << false;
    QTest::newRow("connection never completes (connect time-out)") << true;
}

void tst_NoticeMail::silentServerTimesOutWhileTheWindowsStayAlive()
{
    QFETCH(bool, connectHangs);
    SilentListener listener(connectHangs);
    QVERIFY(listener.ok());
    configure(QStringLiteral("127.0.0.1"), listener.port(), Password, Sender, QStringLiteral("Password notice"));

    const Attempt attempt = send(QStringLiteral("a@x.test"));

    QCOMPARE(attempt.status.Code, std::uint8_t(acSendFailed));
    QVERIFY2(!attempt.status.Detail.isEmpty(), "a time-out needs a reason");
    QVERIFY2(attempt.elapsedMs >= 4500 && attempt.elapsedMs < 8000, qPrintable(QString::number(attempt.elapsedMs)));
    QCOMPARE(attempt.progress, AllStages.mid(0, 1));
    // The event loop must have been pumped all along, not once at the end.
    QVERIFY2(attempt.pumps > 50, qPrintable(QString::number(attempt.pumps)));
}

void tst_NoticeMail::freeFunctionUsesTheDataModule()
{
    QCOMPARE(dmPublic, &m_env->dm());
    TUser user;
    user.Email = QStringLiteral("i@x.test");
    TActionStaus status;
    SendNoticeMail(user, status, nullptr);
    QCOMPARE(status.Shown(), QStringLiteral("Send Successed. "));
}

QTEST_GUILESS_MAIN(tst_NoticeMail)
#include "tst_noticemail.moc"
