// The login name in the manager's "passwd NAME" command must reach passwd as exactly one word.
#include "engine/ManagerCommand.h"

#include <QProcess>
#include <QtTest>

class TestManagerCommand : public QObject
{
    Q_OBJECT

private slots:
    void plainNamesGoUnchanged_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("letters") << "oracle";
        QTest::newRow("mixed") << "Admin_01.ops-team";
        QTest::newRow("digits") << "4711";
    }
    void plainNamesGoUnchanged()
    {
        QFETCH(QString, name);
        QCOMPARE(ManagerPasswdCommand(name), QStringLiteral("passwd ") + name);
    }

    void otherNamesAreOneShellWord_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("second command") << "bob; touch /tmp/x"
                                        << "'bob; touch /tmp/x'";
        QTest::newRow("substitution") << "$(id)`id`"
                                      << "'$(id)`id`'";
        QTest::newRow("single quote") << "o'neil"
                                      << "'o'\\''neil'";
        QTest::newRow("only quotes") << "''"
                                     << "''\\'''\\'''";
        QTest::newRow("blank and tab") << "a b\tc"
                                       << "'a b\tc'";
        QTest::newRow("newline") << "a\nreboot"
                                 << "'a\nreboot'";
        QTest::newRow("empty") << ""
                               << "''";
        QTest::newRow("non-ASCII letter") << QStringLiteral("j\u00fcrgen") << QStringLiteral("'j\u00fcrgen'");
        QTest::newRow("glob and redirect") << "*>x"
                                           << "'*>x'";
    }
    void otherNamesAreOneShellWord()
    {
        QFETCH(QString, name);
        QFETCH(QString, quoted);
        QCOMPARE(QuoteForShell(name), quoted);

        // Let a real POSIX shell split the command: one argument, byte for byte the name.
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("set -- ") + QuoteForShell(name) +
                                               QStringLiteral("; printf '%s|' \"$#\"; printf '%s' \"$1\"")});
        QVERIFY(shell.waitForFinished(5000));
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), QStringLiteral("1|") + name);
    }
};

QTEST_GUILESS_MAIN(TestManagerCommand)
#include "tst_managercommand.moc"
