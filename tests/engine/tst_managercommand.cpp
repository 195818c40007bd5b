// The login name in the manager's "passwd NAME" command must reach passwd as exactly one word.
#include "engine/ManagerCommand.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
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

    void elevatedCommandsKeepTheNameOneWord_data()
    {
        QTest::addColumn<int>("elevation");
        QTest::addColumn<QString>("name");
        for (const auto& [label, elevation] : {std::pair{"sudo", TElevation::Sudo}, std::pair{"su", TElevation::Su}}) {
            QTest::addRow("%s, plain", label) << int(elevation) << "oracle";
            QTest::addRow("%s, second command", label) << int(elevation) << "bob; touch /tmp/x";
            QTest::addRow("%s, quotes", label) << int(elevation) << "o'neil '' \"x\"";
            QTest::addRow("%s, substitution", label) << int(elevation) << "$(id)`id`";
        }
    }
    void elevatedCommandsKeepTheNameOneWord()
    {
        QFETCH(int, elevation);
        QFETCH(QString, name);
        // Stand-ins as the host's shell finds them: sudo runs its arguments; su runs -c's one argument
        // through a second shell, as root's login shell does; passwd reports what reached it.
        QTemporaryDir bin;
        const auto script = [&bin](const QString& file, const QByteArray& body) {
            QFile out(bin.filePath(file));
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("#!/bin/sh\n" + body);
            out.close();
            QVERIFY(out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        };
        script(QStringLiteral("sudo"), "[ \"$1\" = -p ] && shift 2\nexec \"$@\"\n");
        script(QStringLiteral("su"),
               "[ \"$1 $2 $3\" = '- root -c' ] && [ $# -eq 4 ] && exec /bin/sh -c \"$4\"\nexit 9\n");
        script(QStringLiteral("passwd"), "printf '%s|%s' \"$#\" \"$1\"\n");
        script(QStringLiteral("getent"), "[ \"$1\" = shadow ] && shift\nprintf '%s|%s' \"$#\" \"$1\"\n");
        // The change's command and the shadow entry's, with sudo's own prompt in front.
        for (const QString& command :
             {ElevatedPasswdCommand(TElevation(elevation), name),
              ElevatedManagerCommand(TElevation(elevation), ManagerShadowCommand(name), QStringLiteral("[it's] "))}) {
            QProcess shell;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("PATH"), bin.path() + QStringLiteral(":/usr/bin:/bin"));
            shell.setProcessEnvironment(environment);
            shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
            QVERIFY(shell.waitForFinished(5000));
            QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), QStringLiteral("1|") + name);
        }
        QCOMPARE(ElevatedPasswdCommand(TElevation::None, name), ManagerPasswdCommand(name));
    }
};

QTEST_GUILESS_MAIN(TestManagerCommand)
#include "tst_managercommand.moc"
