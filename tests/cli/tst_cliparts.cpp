// The pure parts of veltrane-cli: CSV reading and writing, host addresses, field rules, the
// command-line reader and the fallback log identity.
#include "core/PasswordCipher.h"
#include "tools/CliArguments.h"
#include "tools/CliCipher.h"
#include "tools/CliCsv.h"
#include "tools/CliError.h"
#include "tools/CliFieldRules.h"
#include "tools/CliHostAddress.h"
#include "tools/CliJsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QtTest>

using Records = QList<QStringList>;
using Lines = QList<int>;

class TestCliParts : public QObject
{
    Q_OBJECT

private slots:
    void csvReadsRecords_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<Records>("records");
        QTest::addColumn<Lines>("lines");
        QTest::newRow("plain, CR LF") << QByteArray("a,b\r\n1,2\r\n") << Records{{"a", "b"}, {"1", "2"}} << Lines{1, 2};
        QTest::newRow("LF only, no final break")
            << QByteArray("a,b\n1,2") << Records{{"a", "b"}, {"1", "2"}} << Lines{1, 2};
        QTest::newRow("comma and doubled quote inside quotes")
            << QByteArray("a\r\n\"x, \"\"y\"\"\"\r\n") << Records{{"a"}, {"x, \"y\""}} << Lines{1, 2};
        QTest::newRow("line break inside quotes counts its line")
            << QByteArray("a,b\r\n\"one\r\ntwo\",3\r\nlast,4\r\n")
            << Records{{"a", "b"}, {"one\r\ntwo", "3"}, {"last", "4"}} << Lines{1, 2, 4};
        QTest::newRow("empty fields and trailing comma") << QByteArray("a,,\r\n") << Records{{"a", "", ""}} << Lines{1};
        QTest::newRow("blank lines skipped, quoted empty kept")
            << QByteArray("a\r\n\r\n\"\"\r\n\n") << Records{{"a"}, {""}} << Lines{1, 3};
        QTest::newRow("byte-order mark dropped") << QByteArray("\xEF\xBB\xBF"
                                                               "address\r\nx\r\n")
                                                 << Records{{"address"}, {"x"}} << Lines{1, 2};
        QTest::newRow("UTF-8 text") << QByteArray("J\xC3\xBCrgen,\xE2\x82\xAC") << Records{{"J\u00fcrgen", "\u20ac"}}
                                    << Lines{1};
    }
    void csvReadsRecords()
    {
        QFETCH(QByteArray, data);
        QFETCH(Records, records);
        QFETCH(Lines, lines);
        const CliCsv::Document document = CliCsv::parse(data);
        QVERIFY2(document.problems.isEmpty(), qPrintable(document.problems.value(0).message));
        QCOMPARE(document.records.size(), records.size());
        for (qsizetype i = 0; i < records.size(); ++i) {
            QCOMPARE(document.records[i].fields, records[i]);
            QCOMPARE(document.records[i].line, lines[i]);
        }
    }

    void csvReportsProblems_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<Lines>("problemLines");
        QTest::addColumn<QString>("firstWords");
        QTest::newRow("unbalanced quote names the line it opened on")
            << QByteArray("a\r\nok\r\n\"never\r\nclosed\r\n") << Lines{3} << "unbalanced quotes";
        QTest::newRow("text after a closing quote") << QByteArray("a,b\r\n\"x\"y,2\r\n") << Lines{2} << "text after";
        QTest::newRow("quote inside a bare field") << QByteArray("a\r\nO\"Neil\r\n") << Lines{2} << "a quote inside";
        QTest::newRow("invalid UTF-8 on two lines")
            << QByteArray("a\r\n\xC3\x28\r\nfine\r\n\xFF\r\n") << Lines{2, 4} << "the text is not valid UTF-8";
        QTest::newRow("invalid UTF-8 inside a quoted multi-line field reports the record's line")
            << QByteArray("a\r\n\"x\r\n\xFE\"\r\n") << Lines{2} << "the text is not valid UTF-8";
    }
    void csvReportsProblems()
    {
        QFETCH(QByteArray, data);
        QFETCH(Lines, problemLines);
        QFETCH(QString, firstWords);
        const CliCsv::Document document = CliCsv::parse(data);
        Lines lines;
        for (const CsvProblem& problem : document.problems)
            lines << problem.line;
        QCOMPARE(lines, problemLines);
        QVERIFY2(document.problems[0].message.startsWith(firstWords), qPrintable(document.problems[0].message));
    }

    void csvWritesWhatItReads_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("bare") << QStringList{"a", "", "1"} << QByteArray("a,,1\r\n");
        QTest::newRow("comma, quote, break, edge blank")
            << QStringList{"x,y", "say \"hi\"", "two\nlines", " padded"}
            << QByteArray("\"x,y\",\"say \"\"hi\"\"\",\"two\nlines\",\" padded\"\r\n");
        QTest::newRow("non-ASCII stays UTF-8") << QStringList{"\u00e9t\u00e9"} << QByteArray("\xC3\xA9t\xC3\xA9\r\n");
    }
    void csvWritesWhatItReads()
    {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, line);
        QCOMPARE(CliCsv::formatRecord(fields), line);
        const CliCsv::Document document = CliCsv::parse(line);
        QVERIFY(document.problems.isEmpty());
        QCOMPARE(document.records.value(0).fields, fields);
    }

    void hostAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::newRow("port 22 when none") << "10.0.0.5" << true << "10.0.0.5" << 22;
        QTest::newRow("name and port") << "db.example.org:2222" << true << "db.example.org" << 2222;
        QTest::newRow("bounds") << "h:65535" << true << "h" << 65535;
        QTest::newRow("bracketed IPv6 with port") << "[::1]:2200" << true << "::1" << 2200;
        QTest::newRow("bare IPv6 is all address") << "fe80::1" << true << "fe80::1" << 22;
        QTest::newRow("bare IPv6 that looks like a port") << "::1:2222" << true << "::1:2222" << 22;
        QTest::newRow("several colons, no IPv6") << "host:22:33" << false << "" << 0;
        QTest::newRow("IPv6 with a non-hex tail") << "fe80::1:22x" << false << "" << 0;
        QTest::newRow("port 0") << "h:0" << false << "" << 0;
        QTest::newRow("port too big") << "h:65536" << false << "" << 0;
        QTest::newRow("port not a number") << "h:ssh" << false << "" << 0;
        QTest::newRow("signed port") << "h:+22" << false << "" << 0;
        QTest::newRow("empty port") << "h:" << false << "" << 0;
        QTest::newRow("no address") << ":22" << false << "" << 0;
        QTest::newRow("unclosed bracket") << "[::1:22" << false << "" << 0;
    }
    void hostAddresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, address);
        QFETCH(int, port);
        const std::optional<CliHostAddress> parsed = CliHostAddress::parse(text);
        QCOMPARE(parsed.has_value(), valid);
        if (valid) {
            QCOMPARE(parsed->address, address);
            QCOMPARE(parsed->port, port);
        } else {
            QVERIFY_THROWS_EXCEPTION(CliError, CliHostAddress::parseOrThrow(text));
        }
    }

    void fieldRules()
    {
        QCOMPARE(CliFieldRules::parsePeriod(QString()), std::optional<int>(-1));
        QCOMPARE(CliFieldRules::parsePeriod(QStringLiteral("None")), std::optional<int>(-1));
        QCOMPARE(CliFieldRules::parsePeriod(QStringLiteral(" 90 ")), std::optional<int>(90));
        QCOMPARE(CliFieldRules::parsePeriod(QStringLiteral("0")), std::optional<int>(0));
        QVERIFY(!CliFieldRules::parsePeriod(QStringLiteral("-5")));
        QVERIFY(!CliFieldRules::parsePeriod(QStringLiteral("30 days")));
        QVERIFY(!CliFieldRules::parsePeriod(QStringLiteral("99999999999")));
        QCOMPARE(CliFieldRules::parseLoginAs(QStringLiteral("Manager")), std::optional<int>(-1));
        QCOMPARE(CliFieldRules::parseLoginAs(QStringLiteral("user")), std::optional<int>(1));
        QVERIFY(!CliFieldRules::parseLoginAs(QStringLiteral("root")));
    }

    void argumentsReader()
    {
        const CliArguments args({"a", "--name", "Ann", "--period=30", "--json", "--", "--odd", "--host", "x"}, {"json"},
                                {"name", "period", "host"});
        QCOMPARE(args.positional(), (QStringList{"a", "--odd", "--host", "x"}));
        QCOMPARE(args.value("name"), QStringLiteral("Ann"));
        QCOMPARE(args.intValue("period", 0, 100, -1), 30);
        QVERIFY(args.has("json"));
        QVERIFY(!args.has("host"));

        const CliArguments repeated({"--host", "a", "--host", "b"}, {}, {"host"});
        QCOMPARE(repeated.values("host"), (QStringList{"a", "b"}));

        auto usageExit = [](const std::function<void()>& f) {
            try {
                f();
            } catch (const CliError& error) {
                return error.exitCode();
            }
            return -1;
        };
        QCOMPARE(usageExit([] { CliArguments({"--nmae", "x"}, {}, {"name"}); }), int(ExitUsage));
        QCOMPARE(usageExit([] { CliArguments({"--name"}, {}, {"name"}); }), int(ExitUsage));
        QCOMPARE(usageExit([] { CliArguments({"--json=1"}, {"json"}, {}); }), int(ExitUsage));
        QCOMPARE(usageExit([] {
                     CliArguments({"--period", "x"}, {}, {"period"}).intValue("period", 0, 9, 0);
                 }),
                 int(ExitUsage));
        QCOMPARE(usageExit([] { CliArguments({"a", "b"}, {}, {}).requirePositional(1, "X"); }), int(ExitUsage));
    }

    void jsonWriterOutputParsesBack()
    {
        const QString awkward = QStringLiteral("quote \" back\\slash\r\ntab\t bell\a \u00e9\u20ac end");
        CliJsonWriter json;
        json.beginObject();
        json.key("items");
        json.beginArray();
        for (int i = 0; i < 3; ++i) {
            json.newline();
            json.beginObject();
            json.key("n"), json.value(qint64(i) - 1);
            json.key("text"), json.value(awkward);
            json.key("flag"), json.value(i == 1);
            json.key("none"), json.null();
            json.endObject();
        }
        json.endArray();
        json.key("empty");
        json.beginArray();
        json.endArray();
        json.endObject();

        QJsonParseError error;
        const QJsonObject root = QJsonDocument::fromJson(json.text(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray items = root.value("items").toArray();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0].toObject().value("n").toInt(), -1);
        QCOMPARE(items[2].toObject().value("text").toString(), awkward);
        QCOMPARE(items[1].toObject().value("flag").toBool(), true);
        QVERIFY(items[1].toObject().value("none").isNull());
        QVERIFY(root.value("empty").toArray().isEmpty());
        QCOMPARE(json.text().count('\n'), 3); // one item per line
    }

    void logIdentity_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("next");
        QTest::newRow("plain") << "root"
                               << "Old#1"
                               << "N3w,pass";
        QTest::newRow("comma in the login, no new password") << "odd,name"
                                                             << "x"
                                                             << "";
    }
    void logIdentity()
    {
        QFETCH(QString, login);
        QFETCH(QString, current);
        QFETCH(QString, next);
        const QString line = EncipherPassword(QStringLiteral("42,") + login + QLatin1Char(',') +
                                              EncipherPassword(current) + QLatin1Char(',') + EncipherPassword(next));
        const QByteArray file = line.toLatin1() + "\r\n" + QByteArray(69, '*') + "\r\r\nRecorded Time: x\r\n";
        const std::optional<CliCipher::LogIdentity> identity = CliCipher::ParseLogIdentity(file);
        QVERIFY(identity);
        QCOMPARE(identity->userId, 42);
        QCOMPARE(identity->login, login);
        QCOMPARE(identity->currentPassword, current);
        QCOMPARE(identity->newPassword, next);
    }
    void logIdentityRefusesOtherFiles()
    {
        QVERIFY(!CliCipher::ParseLogIdentity(QByteArray("Recorded Time: x\r\n")));
        QVERIFY(!CliCipher::ParseLogIdentity(QByteArray()));
        QVERIFY(!CliCipher::ParseLogIdentity(EncipherPassword(QStringLiteral("no commas here")).toLatin1()));
        QVERIFY(!CliCipher::ParseLogIdentity(EncipherPassword(QStringLiteral("x,root,AB,CD")).toLatin1()));
    }
};

QTEST_GUILESS_MAIN(TestCliParts)
#include "tst_cliparts.moc"
