#include "transport/SmtpMessage.h"

#include <QLocale>
#include <QTest>
#include <QTimeZone>

namespace {

SmtpMessage sample()
{
    SmtpMessage message;
    message.sender = QStringLiteral("n@veltrane.test");
    message.recipients = {QStringLiteral("a@x.test")};
    message.subject = QStringLiteral("Password notice");
    message.htmlBody = QStringLiteral("<p>changed</p>");
    return message;
}

QByteArray headerBlock(const QByteArray& mail)
{
    return mail.left(mail.indexOf("\r\n\r\n") + 2);
}

} // namespace

class tst_SmtpMessage : public QObject
{
    Q_OBJECT

private slots:
    void addresses_data();
    void addresses();
    void recipientList();
    void refusesWhatCouldInject_data();
    void refusesWhatCouldInject();
    void headersStayWellFormed_data();
    void headersStayWellFormed();
    void dateIsEnglishWhateverTheLocale();
};

void tst_SmtpMessage::addresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("address");
    QTest::newRow("bare") << QStringLiteral(" a@x.test ") << true << QStringLiteral("a@x.test");
    QTest::newRow("named") << QStringLiteral("Ann Lee <a@x.test>") << true << QStringLiteral("a@x.test");
    QTest::newRow("local account") << QStringLiteral("root") << true << QStringLiteral("root");
    QTest::newRow("blank inside") << QStringLiteral("a b@x.test") << false << QString();
    QTest::newRow("unclosed bracket") << QStringLiteral("Ann <a@x.test") << false << QString();
    QTest::newRow("empty brackets") << QStringLiteral("Ann <>") << false << QString();
    QTest::newRow("extra parameter") << QStringLiteral("<a@x.test> SIZE=1") << false << QString();
    QTest::newRow("non-ASCII name") << QStringLiteral("Jörg <j@x.test>") << true << QStringLiteral("j@x.test");
    QTest::newRow("non-ASCII address") << QStringLiteral("jörg@x.test") << false << QString();
    QTest::newRow("tab in name") << QStringLiteral("Ann\tLee <a@x.test>") << false << QString();
}

void tst_SmtpMessage::addresses()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, address);
    const auto parsed = ParseMailAddress(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(parsed->address, address);
}

void tst_SmtpMessage::recipientList()
{
    QCOMPARE(SplitRecipientList(QStringLiteral(" a@x.test,,b@y.test , ")),
             (QStringList{QStringLiteral("a@x.test"), QStringLiteral("b@y.test")}));
    QCOMPARE(SplitRecipientList(QStringLiteral(" , ")), QStringList());
}

void tst_SmtpMessage::refusesWhatCouldInject_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::newRow("LF in recipient") << "recipient" << QStringLiteral("a@x.test\nRCPT TO:<e@z.test>");
    QTest::newRow("CR in recipient") << "recipient" << QStringLiteral("a@x.test\r");
    QTest::newRow("NUL in recipient") << "recipient" << QStringLiteral("a@x.test") + QChar(0);
    QTest::newRow("LF in sender") << "sender" << QStringLiteral("n@v.test\nDATA");
    QTest::newRow("CR LF in subject") << "subject" << QStringLiteral("Hi\r\nBcc: e@z.test");
    QTest::newRow("LF in subject") << "subject" << QStringLiteral("Hi\nBcc: e@z.test");
}

void tst_SmtpMessage::refusesWhatCouldInject()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    SmtpMessage message = sample();
    if (field == QStringLiteral("recipient"))
        message.recipients.append(value);
    else if (field == QStringLiteral("sender"))
        message.sender = value;
    else
        message.subject = value;
    const QString problem = ValidateSmtpMessage(message);
    QVERIFY(!problem.isEmpty());
    // The message names the field and shows the offending character spelt out, never raw.
    QVERIFY2(!problem.contains(QLatin1Char('\n')) && !problem.contains(QLatin1Char('\r')) &&
                 !problem.contains(QChar(0)),
             qPrintable(problem));
    QVERIFY(ValidateSmtpMessage(sample()).isEmpty());
}

void tst_SmtpMessage::headersStayWellFormed_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QByteArray>("encoding");
    QTest::newRow("plain") << QStringLiteral("Password notice") << QStringLiteral("<p>ok</p>") << QByteArray("7bit");
    QTest::newRow("non-ASCII") << QStringLiteral("Kennwort geändert ✓ 😀").repeated(6)
                               << QStringLiteral("<p>geändert</p>") << QByteArray("base64");
    QTest::newRow("dot line in body") << QStringLiteral("x") << QStringLiteral("a\r\n.\r\nb") << QByteArray("base64");
    QTest::newRow("over-long body line") << QString(200, QLatin1Char('s')) << QString(2000, QLatin1Char('b'))
                                         << QByteArray("base64");
}

void tst_SmtpMessage::headersStayWellFormed()
{
    QFETCH(QString, subject);
    QFETCH(QString, body);
    QFETCH(QByteArray, encoding);
    SmtpMessage message = sample();
    message.subject = subject;
    message.htmlBody = body;
    message.recipients = {QStringLiteral("Jürgen Groß <j@x.test>"), QStringLiteral("b@y.test")};
    const QByteArray mail = ComposeSmtpMessage(message, QDateTime::currentDateTime(), QStringLiteral("id@v.test"));

    // CR LF line ends only, none longer than 998 characters.
    QVERIFY(mail.endsWith("\r\n"));
    QCOMPARE(mail.count("\r\n"), mail.count('\n'));
    QCOMPARE(mail.count("\r\n"), mail.count('\r'));
    for (const QByteArray& line : mail.split('\n'))
        QVERIFY2(line.size() <= 999, line.left(40).constData());
    const QByteArray headers = headerBlock(mail);
    for (const QByteArray& line : headers.split('\n')) {
        QVERIFY2(line.size() <= 79, line.constData());
        for (char c : line)
            QVERIFY2(uchar(c) < 0x80, line.constData()); // every header is plain ASCII
    }
    QVERIFY(headers.contains("Content-Type: text/html; charset=UTF-8\r\n"));
    QVERIFY(headers.contains(QByteArray("Content-Transfer-Encoding: " + encoding + "\r\n")));
    QVERIFY(headers.contains("Message-ID: <id@v.test>\r\n"));
    QVERIFY(headers.contains(" <j@x.test>"));
    // No body line may be a lone dot, even before the transport escapes it.
    QVERIFY(!mail.contains("\r\n.\r\n"));
}

void tst_SmtpMessage::dateIsEnglishWhateverTheLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QDateTime when(QDate(2025, 3, 4), QTime(5, 6, 7), QTimeZone(-(3 * 3600 + 30 * 60)));
    const QString date = MailDate(when);
    QLocale::setDefault(previous);
    QCOMPARE(date, QStringLiteral("Tue, 04 Mar 2025 05:06:07 -0330"));
}

QTEST_APPLESS_MAIN(tst_SmtpMessage)
#include "tst_smtpmessage.moc"
