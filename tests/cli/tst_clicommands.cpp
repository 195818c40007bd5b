// veltrane-cli as scripts use it: the real program on a real temporary database.
#include "batch/FallbackLogFile.h"
#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/TDBSession.h"
#include "core/TdmPublic.h"
#include "tests/cli/CliInstall.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>

class TestCliCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<CliInstall> m_install;

    CliResult cli(const QStringList& arguments, const QByteArray& input = QByteArray())
    {
        return m_install->run(arguments, input);
    }
    TdmPublic& dm() { return m_install->environment().dm(); }
    int count(const QString& statement)
    {
        auto query = dm().NewQuery();
        query->SelectSQL = statement;
        if (!dm().OpenQuery(*query) || query->Eof())
            return -1;
        return query->Fields(0).AsInteger();
    }
    QString text(const QString& statement)
    {
        auto query = dm().NewQuery();
        query->SelectSQL = statement;
        if (!dm().OpenQuery(*query) || query->Eof())
            return QStringLiteral("<no row>");
        return query->Fields(0).AsString();
    }
    /// Two hosts and three users, the common start of most cases.
    void addSampleData()
    {
        m_install->writeFile(QStringLiteral("h.csv"), kHostsHeader + "127.0.1.5,,Linux,root,Top#1,,main\r\n"
                                                                     "127.0.1.6,2222,,,,user,\r\n");
        m_install->writeFile(QStringLiteral("u.csv"), kUsersHeader + "127.0.1.5,22,oracle,Pw1,New1,30,Ann,a@x,\r\n"
                                                                     "127.0.1.5,22,scott,Pw2,,,,,\r\n"
                                                                     "127.0.1.6,2222,oracle,Pw3,,90,,,\r\n");
        const CliResult hosts = cli({"import", "hosts", "h.csv"});
        EXPECT_EXIT(hosts, 0);
        const CliResult users = cli({"import", "users", "u.csv"});
        EXPECT_EXIT(users, 0);
    }

private slots:
    void init() { m_install = std::make_unique<CliInstall>(); }
    void cleanup() { m_install.reset(); }

    void usageErrorsExitTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList{} << "no command given";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << "unknown command 'frobnicate'";
        QTest::newRow("misspelt option") << QStringList{"list", "--jsno"} << "unknown option --jsno";
        QTest::newRow("host add without address") << QStringList{"host", "add"} << "missing ADDRESS[:PORT]";
        QTest::newRow("port out of range") << QStringList{"host", "add", "h:70000"} << "port from 1 to 65535";
        QTest::newRow("manager login needs --manager")
            << QStringList{"host", "add", "h", "--login-as", "manager"} << "needs --manager LOGIN";
        QTest::newRow("bad login-as") << QStringList{"host", "add", "h", "--login-as", "root"} << "'manager' or 'user'";
        QTest::newRow("no selection") << QStringList{"generate"} << "choose the users with --all";
        QTest::newRow("all mixed with host") << QStringList{"test-login", "--all", "--host", "h"} << "--all selects";
        QTest::newRow("due-within not a number")
            << QStringList{"generate", "--due-within", "soon"} << "--due-within must be a whole number";
        QTest::newRow("import of something else") << QStringList{"import", "things", "x.csv"} << "'hosts' or 'users'";
        QTest::newRow("period in words") << QStringList{"user", "add", "h", "bob", "--period", "soon"}
                                         << "--period takes a number";
        QTest::newRow("login with a blank")
            << QStringList{"user", "add", "h", "j doe"} << "the login name contains white space.";
        QTest::newRow("manager taken for an option")
            << QStringList{"host", "add", "h", "--manager", "-froot"} << "--manager starts with \"-\"";
        QTest::newRow("address with a control character") << QStringList{"host", "add",
                                                                         "db\x1b"
                                                                         "1"}
                                                          << "the host address contains a control character";
        QTest::newRow("switch on and off") << QStringList{"host", "add", "h", "--use-agent", "--no-use-agent"}
                                           << "--use-agent and --no-use-agent contradict";
        QTest::newRow("password never on the command line")
            << QStringList{"user", "edit", "h", "bob", "--password", "Secret"} << "unexpected argument 'Secret'";
    }
    void usageErrorsExitTwo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const CliResult result = cli(arguments);
        EXPECT_EXIT(result, 2);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
        QCOMPARE(result.err.count(QLatin1Char('\n')), 1);
        QVERIFY(result.out.isEmpty());
    }

    void helpForEveryCommand_data()
    {
        QTest::addColumn<QStringList>("arguments");
        for (const char* command : {"init-db", "encipher", "decipher-log", "list", "generate", "test-login",
                                    "change-password", "send-mail", "import", "export", "rekey", "paths"})
            QTest::newRow(command) << QStringList{QString::fromLatin1(command), "--help"};
        for (const char* action : {"add", "edit", "delete"}) {
            QTest::newRow(qPrintable(QStringLiteral("host ") + QLatin1String(action)))
                << QStringList{"host", QString::fromLatin1(action), "--help"};
            QTest::newRow(qPrintable(QStringLiteral("user ") + QLatin1String(action)))
                << QStringList{"user", QString::fromLatin1(action), "--help"};
        }
        for (const char* action : {"trust", "forget"})
            QTest::newRow(qPrintable(QStringLiteral("host ") + QLatin1String(action)))
                << QStringList{"host", QString::fromLatin1(action), "--help"};
        QTest::newRow("overview") << QStringList{"--help"};
    }
    void helpForEveryCommand()
    {
        QFETCH(QStringList, arguments);
        const CliResult result = cli(arguments);
        EXPECT_EXIT(result, 0);
        QVERIFY(result.out.startsWith(QLatin1String("Usage: veltrane-cli")));
        QVERIFY2(result.out.contains(QLatin1String("Example:\n  veltrane-cli")) ||
                     result.out.contains(QLatin1String("Example:\n  printf")) ||
                     result.out.contains(QLatin1String("Example:\n  echo")),
                 qPrintable(result.out));
    }

    void pathsAndVersionOfAPortableCopy()
    {
        // A copy outside an installed layout keeps everything beside itself, and paths only looks.
        const QString dir = m_install->dir();
        QFile::remove(m_install->path(QStringLiteral("veltrane.db")));
        const QStringList before = QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        CliResult result = cli({"paths"});
        EXPECT_EXIT(result, 0);
        const QString expected =
            QStringLiteral("Data folder:  %1\nOptions.ini:  %1/Options.ini\nDatabase:     "
                           "%1/veltrane.db\nknown_hosts:  %1/known_hosts\nLogs:         %1/Logs\n"
                           "Batch lock:   %1/veltrane.db.batch-lock\nManual:       %1/manual/index.html\n")
                .arg(dir);
        QCOMPARE(result.out, expected);
        QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);

        // --db names the database, relative to the working folder as the commands open it.
        result = cli({"--db", "sub/other.db", "paths"});
        EXPECT_EXIT(result, 0);
        QVERIFY2(result.out.contains(QStringLiteral("Database:     %1/sub/other.db\n").arg(dir)),
                 qPrintable(result.out));
        result = cli({"paths", "extra"});
        EXPECT_EXIT(result, 2);

        result = cli({"--version"});
        EXPECT_EXIT(result, 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^veltrane-cli \\d+\\.\\d+\\n$")).match(result.out).hasMatch(),
                 qPrintable(result.out));
    }

    void missingDatabaseSaysHowToCreateOne()
    {
        const CliResult result = cli({"--db", m_install->path("nothing.db"), "list"});
        EXPECT_EXIT(result, 1);
        QVERIFY(result.err.contains(QLatin1String("init-db")));
    }

    void hostLifecycle()
    {
        // add: port 22 by default; the manager password comes from standard input, enciphered.
        CliResult result =
            cli({"host", "add", "127.0.1.5", "--os", "linux", "--manager", "root", "--note", "O'Neil's"}, "Top#1\n");
        EXPECT_EXIT(result, 0);
        QCOMPARE(count("select count(*) from Hosts where hAddress='127.0.1.5' and hPort=22 and OSID=1 and "
                       "UseManager=-1 and MngLogin='root' and hNote='O''Neil''s'"),
                 1);
        QCOMPARE(DecipherPassword(text("select MngPwd from Hosts")), QStringLiteral("Top#1"));
        QCOMPARE(count("select count(*) from Hosts where MngUseAgent=0 and hLegacyAlgorithms=0"), 1);
        EXPECT_EXIT(cli({"host", "edit", "127.0.1.5", "--use-agent", "--legacy-algorithms"}), 0);
        QCOMPARE(count("select count(*) from Hosts where MngUseAgent=1 and hLegacyAlgorithms=1"), 1);
        EXPECT_EXIT(cli({"host", "edit", "127.0.1.5", "--no-legacy-algorithms"}), 0);
        QCOMPARE(count("select count(*) from Hosts where MngUseAgent=1 and hLegacyAlgorithms=0"), 1);
        QVERIFY(cli({"list"}).out.contains(QLatin1String("use-agent=yes  legacy-algorithms=no  O'Neil's")));

        result = cli({"host", "add", "127.0.1.5:22"});
        EXPECT_EXIT(result, 1);
        QVERIFY(result.err.contains(QLatin1String("already exists")));
        result = cli({"host", "add", "127.0.1.7", "--os", "BeOS"});
        EXPECT_EXIT(result, 1);
        QVERIFY(result.err.contains(QLatin1String("Linux, Linux (manager account)")));
        result = cli({"host", "add", "127.0.1.5:2222", "--manager", "root"}, QByteArray());
        EXPECT_EXIT(result, 2); // manager mode without its password
        QCOMPARE(count("select count(*) from Hosts"), 1);

        // edit: only what is given changes; moving onto another host's address:port is refused.
        EXPECT_EXIT(cli({"host", "add", "127.0.1.6"}), 0);
        result = cli({"host", "edit", "127.0.1.5", "--port", "2200", "--login-as", "user", "--os", "Other OS..."});
        EXPECT_EXIT(result, 0);
        QCOMPARE(count("select count(*) from Hosts where hAddress='127.0.1.5' and hPort=2200 and UseManager=1 and "
                       "OSID=-1 and MngLogin='root' and hNote='O''Neil''s'"),
                 1);
        result = cli({"host", "edit", "127.0.1.5:2200", "--address", "127.0.1.6", "--port", "22"});
        EXPECT_EXIT(result, 1);
        result = cli({"host", "edit", "127.0.1.9", "--note", "x"});
        EXPECT_EXIT(result, 1);
        QVERIFY(result.err.contains(QLatin1String("no host 127.0.1.9:22")));

        // delete: refused while users remain, as the host tree does.
        EXPECT_EXIT(cli({"user", "add", "127.0.1.6", "bob"}, "pw\n"), 0);
        result = cli({"host", "delete", "127.0.1.6"});
        EXPECT_EXIT(result, 1);
        QVERIFY(result.err.contains(QLatin1String("still has 1 user")));
        EXPECT_EXIT(cli({"user", "delete", "127.0.1.6", "bob"}), 0);
        EXPECT_EXIT(cli({"host", "delete", "127.0.1.6"}), 0);
        QCOMPARE(count("select count(*) from Hosts"), 1);
    }

    void hostSecretsComeInTheirOrder()
    {
        // Only readability is checked when the key is named; logging in with it is the engine's.
        m_install->writeFile(QStringLiteral("id_test"), "key\n");
        const QString key = m_install->path(QStringLiteral("id_test"));
        const auto hostText = [this](const char* column, const char* address) {
            return text(QStringLiteral("select %1 from Hosts where hAddress='%2'")
                            .arg(QLatin1String(column), QLatin1String(address)));
        };

        // Manager password, key passphrase, root password: one line each, in this order.
        CliResult result =
            cli({"host", "add", "127.0.1.5", "--manager", "admin", "--elevate", "su", "--manager-key", "id_test"},
                "mgr\nphrase\nroot'pw\n");
        EXPECT_EXIT(result, 0);
        QCOMPARE(DecipherPassword(hostText("MngPwd", "127.0.1.5")), QStringLiteral("mgr"));
        QCOMPARE(DecipherPassword(hostText("MngKeyPass", "127.0.1.5")), QStringLiteral("phrase"));
        QCOMPARE(DecipherPassword(hostText("MngRootPwd", "127.0.1.5")), QStringLiteral("root'pw"));
        QCOMPARE(hostText("MngKeyPath", "127.0.1.5"), key);
        QCOMPARE(hostText("MngElevation", "127.0.1.5"), QStringLiteral("2"));

        // With a key the manager password may be an empty line.
        result =
            cli({"host", "add", "127.0.1.6", "--manager", "admin", "--elevate", "sudo", "--manager-key", key}, "\n\n");
        EXPECT_EXIT(result, 0);
        QCOMPARE(hostText("MngElevation", "127.0.1.6"), QStringLiteral("1"));
        QVERIFY(hostText("MngPwd", "127.0.1.6").isEmpty());

        // edit reads only the secrets of the options given; leaving su drops the root password.
        EXPECT_EXIT(cli({"host", "edit", "127.0.1.5", "--elevate", "sudo"}), 0);
        QVERIFY(hostText("MngRootPwd", "127.0.1.5").isEmpty());
        QCOMPARE(DecipherPassword(hostText("MngPwd", "127.0.1.5")), QStringLiteral("mgr"));
        EXPECT_EXIT(cli({"host", "edit", "127.0.1.5", "--elevate", "su"}, "new root\n"), 0);
        QCOMPARE(DecipherPassword(hostText("MngRootPwd", "127.0.1.5")), QStringLiteral("new root"));
        QCOMPARE(DecipherPassword(hostText("MngKeyPass", "127.0.1.5")), QStringLiteral("phrase"));
        EXPECT_EXIT(cli({"host", "edit", "127.0.1.5", "--manager-key", ""}), 0);
        QVERIFY(hostText("MngKeyPath", "127.0.1.5").isEmpty());
        QVERIFY(hostText("MngKeyPass", "127.0.1.5").isEmpty());

        // Refused before anything is stored.
        result = cli({"host", "add", "127.0.1.7", "--manager", "admin", "--elevate", "su"}, "mgr\n");
        EXPECT_EXIT(result, 2);
        QVERIFY2(result.err.contains(QLatin1String("root password")), qPrintable(result.err));
        result = cli({"host", "add", "127.0.1.7", "--elevate", "doas"}, "x\n");
        EXPECT_EXIT(result, 2);
        QVERIFY2(result.err.contains(QLatin1String("'none', 'sudo' or 'su'")), qPrintable(result.err));
        result = cli({"host", "add", "127.0.1.7", "--manager", "admin", "--manager-key", "absent"}, "pw\n\n");
        EXPECT_EXIT(result, 1);
        QVERIFY2(result.err.contains(QLatin1String("cannot read the key file absent")), qPrintable(result.err));
        QCOMPARE(count("select count(*) from Hosts"), 2);
    }

    void hostElevationAndKeyGoThroughCsv()
    {
        m_install->writeFile(QStringLiteral("h.csv"),
                             "address,elevate,root_password,manager_key,manager_key_passphrase,manager_login,"
                             "manager_password,use_agent,legacy_algorithms\r\n"
                             "127.0.1.5,su,R00t,/keys/a,phrase,admin,pw,yes,0\r\n"
                             "127.0.1.6,SUDO,,/keys/b,,admin,,NO,1\r\n" // the key instead of a password
                             "127.0.1.7,,,,,,,,\r\n");
        EXPECT_EXIT(cli({"import", "hosts", "h.csv"}), 0);
        QCOMPARE(DecipherPassword(text("select MngRootPwd from Hosts where hAddress='127.0.1.5'")),
                 QStringLiteral("R00t"));
        QCOMPARE(DecipherPassword(text("select MngKeyPass from Hosts where hAddress='127.0.1.5'")),
                 QStringLiteral("phrase"));
        const CliResult exported = cli({"export", "hosts", "-"});
        EXPECT_EXIT(exported, 0);
        QCOMPARE(exported.out.toUtf8(), kHostsExportHeader + "127.0.1.5,22,,admin,,manager,,su,,/keys/a,,yes,no\r\n"
                                                             "127.0.1.6,22,,admin,,manager,,sudo,,/keys/b,,no,yes\r\n"
                                                             "127.0.1.7,22,,,,user,,none,,,,no,no\r\n");

        m_install->writeFile(QStringLiteral("bad.csv"), "address,elevate,root_password,manager_key,"
                                                        "manager_key_passphrase,use_agent\r\n"
                                                        "127.0.2.1,doas,,,,\r\n"     // unknown word
                                                        "127.0.2.2,sudo,R00t,,,\r\n" // root password unused
                                                        "127.0.2.3,su,,,,\r\n"       // su without it
                                                        "127.0.2.4,,,keys/c,,\r\n"   // relative key path
                                                        "127.0.2.5,,,,phrase,\r\n"   // passphrase, no key
                                                        "127.0.2.6,su,R00t,/keys/d,,\r\n"
                                                        "127.0.2.7,,,,,maybe\r\n"); // no switch word
        const CliResult refused = cli({"import", "hosts", "bad.csv"});
        EXPECT_EXIT(refused, 1);
        QVERIFY2(refused.err.contains(QLatin1String("fix lines 2, 3, 4, 5, 6, 8 ")), qPrintable(refused.err));
        QCOMPARE(count("select count(*) from Hosts"), 3);
    }

    void userLifecycle()
    {
        EXPECT_EXIT(cli({"host", "add", "127.0.1.5"}), 0);
        // add: current password, then the optional pending one, each on its own line.
        CliResult result = cli({"user", "add", "127.0.1.5", "oracle", "--name", "Ann O'Neil", "--email", "ann@x",
                                "--period", "30", "--remark", "dba"},
                               "Cur,1\r\nNext'2\n");
        EXPECT_EXIT(result, 0);
        QCOMPARE(DecipherPassword(text("select pwNow from Users")), QStringLiteral("Cur,1"));
        QCOMPARE(DecipherPassword(text("select pwNew from Users")), QStringLiteral("Next'2"));
        QCOMPARE(count("select count(*) from Users where uID=1 and pwPeriod=30 and pwLastTime=-1 and RecTime>0 and "
                       "uName='Ann O''Neil' and Email='ann@x' and uRemark='dba'"),
                 1);
        EXPECT_EXIT(cli({"user", "add", "127.0.1.5", "scott"}, "only\n"), 0);
        QCOMPARE(text("select pwNew from Users where LoginName='scott'"), QString());

        result = cli({"user", "add", "127.0.1.5", "oracle"}, "x\n");
        EXPECT_EXIT(result, 1);
        QVERIFY(result.err.contains(QLatin1String("already exists")));
        result = cli({"user", "add", "127.0.1.5", "blank"}, "\n");
        EXPECT_EXIT(result, 2);
        result = cli({"user", "add", "127.0.1.7", "nohost"}, "x\n");
        EXPECT_EXIT(result, 1);
        QCOMPARE(count("select count(*) from Users"), 2);

        // edit: --password and --new-password read their lines in that order; an empty new clears it.
        result = cli({"user", "edit", "127.0.1.5", "oracle", "--new-password", "--password", "--period", "none"},
                     "Changed1\n\n");
        EXPECT_EXIT(result, 0);
        QCOMPARE(DecipherPassword(text("select pwNow from Users where uID=1")), QStringLiteral("Changed1"));
        QCOMPARE(text("select pwNew from Users where uID=1"), QString());
        QCOMPARE(count("select pwPeriod from Users where uID=1"), -1);
        QCOMPARE(text("select uName from Users where uID=1"), QStringLiteral("Ann O'Neil"));
        result = cli({"user", "edit", "127.0.1.5", "oracle", "--login", "scott"});
        EXPECT_EXIT(result, 1);
        EXPECT_EXIT(cli({"user", "edit", "127.0.1.5", "oracle", "--login", "ora2"}), 0);

        // delete takes the history rows along.
        auto query = dm().NewQuery();
        query->SelectSQL = QStringLiteral("insert into Logs(logID,UserID) values(1,1)");
        QVERIFY(dm().OpenQuery(*query));
        EXPECT_EXIT(cli({"user", "delete", "127.0.1.5", "ora2"}), 0);
        QCOMPARE(count("select count(*) from Logs"), 0);
        QCOMPARE(count("select count(*) from Users"), 1);
        EXPECT_EXIT(cli({"user", "delete", "127.0.1.5", "ora2"}), 1);
    }

    void terminalPromptHidesThePassword()
    {
        // expect gives veltrane-cli a terminal, as an administrator typing at it.
        EXPECT_EXIT(cli({"host", "add", "127.0.1.5"}), 0);
        m_install->writeFile(QStringLiteral("type.exp"),
                             QStringLiteral("set timeout 20\n"
                                            "spawn %1 user add 127.0.1.5 typist\n"
                                            "expect \"Current password of typist on 127.0.1.5:22: \"\n"
                                            "send \"Typed#Secret1\\r\"\n"
                                            "expect \"New password of typist on 127.0.1.5:22 (empty for none): \"\n"
                                            "send \"\\r\"\n"
                                            "expect eof\n")
                                 .arg(m_install->program())
                                 .toUtf8());
        QProcess expect;
        expect.setWorkingDirectory(m_install->dir());
        expect.start(QStringLiteral("expect"), {m_install->path("type.exp")});
        QVERIFY2(expect.waitForFinished(30000), "expect did not finish");
        const QByteArray screen = expect.readAll();
        QVERIFY2(screen.contains("Added user typist on 127.0.1.5:22."), screen.constData());
        QVERIFY2(!screen.contains("Typed#Secret1"), screen.constData());
        QCOMPARE(DecipherPassword(text("select pwNow from Users where LoginName='typist'")),
                 QStringLiteral("Typed#Secret1"));
        QCOMPARE(text("select pwNew from Users where LoginName='typist'"), QString());
    }

    void ctrlCAtThePromptGivesTheEchoBack()
    {
        EXPECT_EXIT(cli({"host", "add", "127.0.1.5"}), 0);
        // The shell ignores Ctrl+C and reports the terminal's state once veltrane-cli has ended by it.
        m_install->writeFile(QStringLiteral("interrupt.exp"),
                             QStringLiteral("set timeout 20\n"
                                            "spawn sh -c \"trap '' INT; %1 user add 127.0.1.5 typist; stty -a\"\n"
                                            "expect \"Current password of typist on 127.0.1.5:22: \"\n"
                                            "send \"\\003\"\n"
                                            "expect eof\n")
                                 .arg(m_install->program())
                                 .toUtf8());
        QProcess expect;
        expect.setWorkingDirectory(m_install->dir());
        expect.start(QStringLiteral("expect"), {m_install->path("interrupt.exp")});
        QVERIFY2(expect.waitForFinished(30000), "expect did not finish");
        const QByteArray screen = expect.readAll();
        QVERIFY2(screen.contains(" echo ") && !screen.contains(" -echo "), screen.constData());
        QCOMPARE(text("select count(*) from Users"), QStringLiteral("0"));
    }

    void passwordsNoHostCanTakeAreRefused_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("said");
        QTest::newRow("carriage return inside") << QByteArray("first\rsecond\n\n") << "control character";
        QTest::newRow("longer than 4096 bytes") << QByteArray(4097, 'a') + "\n\n"
                                                << "longer than 4096 bytes";
        QTest::newRow("not UTF-8") << QByteArray("J\xFCrgen\n\n") << "not valid UTF-8";
    }
    void passwordsNoHostCanTakeAreRefused()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, said);
        EXPECT_EXIT(cli({"host", "add", "127.0.1.5"}), 0);
        const CliResult added = cli({"user", "add", "127.0.1.5", "ann"}, input);
        EXPECT_EXIT(added, 2);
        QVERIFY2(added.err.contains(QStringLiteral("current password of ann")) && added.err.contains(said),
                 qPrintable(added.err));
        QCOMPARE(text("select count(*) from Users"), QStringLiteral("0"));

        m_install->writeFile(QStringLiteral("u.csv"), kUsersHeader + "127.0.1.5,22,ann,\"a\tb\",,,,,\r\n");
        const CliResult imported = cli({"import", "users", "u.csv"});
        EXPECT_EXIT(imported, 1);
        QVERIFY2(imported.err.contains(QStringLiteral("u.csv:2: password: The password contains a control")),
                 qPrintable(imported.err));
    }

    void argumentThatIsNotUtf8IsRefused()
    {
        // QProcess passes arguments as UTF-8, so the raw bytes go through a shell.
        QProcess shell;
        shell.setWorkingDirectory(m_install->dir());
        shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("'%1' user add 127.0.1.5 "
                                                                                "\"$(printf 'J\\374rgen')\"")
                                                                     .arg(m_install->program())});
        QVERIFY(shell.waitForFinished(10000));
        QCOMPARE(shell.exitCode(), 2);
        QVERIFY2(shell.readAllStandardError().contains("argument 4 is not valid UTF-8"), "no UTF-8 refusal");
    }

    void filesAreTheOwnersOnlyAndNoCoreIsDumped()
    {
        const mode_t before = ::umask(022);
        const CliResult created = cli({"init-db", m_install->path("own.db")});
        ::umask(before);
        EXPECT_EXIT(created, 0);
        QCOMPARE(QFileInfo(m_install->path("own.db")).permissions() & 0x0777, QFileDevice::Permissions(0x0600));

        // An exposed database is named on every start, with the command that fixes it.
        QVERIFY(QFile::setPermissions(m_install->path("own.db"), QFileDevice::Permissions(0x6644)));
        const CliResult listed = cli({"--db", m_install->path("own.db"), "list"});
        EXPECT_EXIT(listed, 0);
        QVERIFY2(listed.err.contains(QStringLiteral("chmod 600 '%1'").arg(m_install->path("own.db"))),
                 qPrintable(listed.err));

        // A process that holds passwords dumps no core, whatever limit it was started with.
        rlimit core{};
        ::getrlimit(RLIMIT_CORE, &core);
        const rlimit saved = core;
        core.rlim_cur = core.rlim_max;
        ::setrlimit(RLIMIT_CORE, &core);
        QProcess waiting;
        m_install->start(waiting, {QStringLiteral("encipher")});
        ::setrlimit(RLIMIT_CORE, &saved);
        QVERIFY(waiting.waitForStarted(10000));
        QTest::qWait(300);
        QFile limits(QStringLiteral("/proc/%1/limits").arg(waiting.processId()));
        QVERIFY(limits.open(QIODevice::ReadOnly));
        const QByteArray text = limits.readAll();
        waiting.closeWriteChannel();
        QVERIFY(waiting.waitForFinished(10000));
        QVERIFY2(text.contains(QByteArray("Max core file size        0                    0")), text.constData());
    }

    void importStoresEveryRow()
    {
        addSampleData();
        QCOMPARE(count("select count(*) from Hosts"), 2);
        QCOMPARE(count("select count(*) from Hosts where hAddress='127.0.1.5' and hPort=22 and OSID=1 and "
                       "UseManager=-1 and hNote='main'"),
                 1);
        QCOMPARE(count("select count(*) from Hosts where hAddress='127.0.1.6' and hPort=2222 and OSID=-1 and "
                       "UseManager=1"),
                 1);
        QCOMPARE(count("select count(*) from Users"), 3);
        QCOMPARE(DecipherPassword(text("select pwNew from Users where LoginName='oracle' and pwPeriod=30")),
                 QStringLiteral("New1"));
        QCOMPARE(count("select count(distinct uID) from Users"), 3);

        // Columns in any order, quoted fields with commas, quotes and line breaks.
        m_install->writeFile(QStringLiteral("more.csv"), "login,password,address,port,remark\r\n"
                                                         "\"o,dd\",\"p\"\"w\",127.0.1.6,2222,\"two\r\nlines\"\r\n");
        EXPECT_EXIT(cli({"import", "users", "more.csv"}), 0);
        QCOMPARE(DecipherPassword(text("select pwNow from Users where LoginName='o,dd'")), QStringLiteral("p\"w"));
        QCOMPARE(text("select uRemark from Users where LoginName='o,dd'"), QStringLiteral("two\r\nlines"));
    }

    void badImportStoresNothing_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("unbalanced quotes") << kUsersHeader + "127.0.1.5,22,new1,pw,,,,,\r\n"
                                                             "127.0.1.5,22,\"new2,pw,,,,,\r\n"
                                           << QStringList{"3"};
        QTest::newRow("wrong column count") << kUsersHeader + "127.0.1.5,22,new1,pw,,,,,\r\n"
                                                              "127.0.1.5,22,new2,pw\r\n"
                                            << QStringList{"3"};
        QTest::newRow("invalid UTF-8") << kUsersHeader + "127.0.1.5,22,new1,pw,,,J\xFCrgen,,\r\n" << QStringList{"2"};
        QTest::newRow("every bad row listed")
            << kUsersHeader + "127.0.1.9,22,a,pw,,,,,\r\n"  // unknown host
                              "127.0.1.5,0,b,pw,,,,,\r\n"   // bad port
                              "127.0.1.5,22,,pw,,,,,\r\n"   // missing login
                              "127.0.1.5,22,c,,,,,,\r\n"    // missing password
                              "127.0.1.5,22,d,pw,,x,,,\r\n" // bad period
                              "127.0.1.5,22,fine,pw,,,,,\r\n"
                              "127.0.1.5,22,oracle,pw,,,,,\r\n" // already in the database
                              "127.0.1.5,,fine,pw,,,,,\r\n"     // twice in the file
            << QStringList{"2", "3", "4", "5", "6", "8", "9"};
        QTest::newRow("NUL in a remark names line and column")
            << kUsersHeader + "127.0.1.5,22,n1,pw,,,,,cut" + '\0' + "here\r\n"
            << QStringList{"2"};
        QTest::newRow("logins no host can take")
            << kUsersHeader + "127.0.1.5,22,j doe,pw,,,,,\r\n"
                              "127.0.1.5,22,-x,pw,,,,,\r\n"
                              "127.0.1.5,22,ok,pw,,,,,\"two\r\nlines\"\r\n" // a remark may hold line breaks
            << QStringList{"2", "3"};
        QTest::newRow("unknown column") << QByteArray("address,login,password,shell\r\n127.0.1.5,x,pw,/bin/sh\r\n")
                                        << QStringList{"1"};
        QTest::newRow("missing required column") << QByteArray("address,login\r\n127.0.1.5,x\r\n") << QStringList{"1"};
    }
    void badImportStoresNothing()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, lines);
        addSampleData();
        m_install->writeFile(QStringLiteral("bad.csv"), file);
        const CliResult result = cli({"import", "users", "bad.csv"});
        EXPECT_EXIT(result, 1);
        for (const QString& line : lines)
            QVERIFY2(result.err.contains(QStringLiteral("bad.csv:") + line + QLatin1Char(':')), qPrintable(result.err));
        QVERIFY2(result.err.contains(
                     QStringLiteral("nothing was stored: fix line%1 %2")
                         .arg(lines.size() == 1 ? QString() : QStringLiteral("s"), lines.join(QStringLiteral(", ")))),
                 qPrintable(result.err));
        QCOMPARE(count("select count(*) from Users"), 3);
    }

    void badHostImportStoresNothing()
    {
        addSampleData();
        m_install->writeFile(QStringLiteral("bad.csv"), kHostsHeader + "127.0.1.7,,,,,,\r\n"
                                                                       "127.0.1.5,22,,,,user,\r\n"  // in the database
                                                                       "127.0.1.8,,Plan9,,,,\r\n"   // unknown profile
                                                                       "127.0.1.9,,,,,manager,\r\n" // no manager
                                                                       "127.0.1.7,22,,,,,\r\n");    // twice
        const CliResult result = cli({"import", "hosts", "bad.csv"});
        EXPECT_EXIT(result, 1);
        QVERIFY2(result.err.contains(QLatin1String("fix lines 3, 4, 5, 6 ")), qPrintable(result.err));
        QCOMPARE(count("select count(*) from Hosts"), 2);
    }

    void exportWritesTheImportFormatWithoutPasswords()
    {
        addSampleData();
        EXPECT_EXIT(cli({"user", "edit", "127.0.1.5", "scott", "--name", "Scott, \"Tiger\""}), 0);
        CliResult result = cli({"export", "users", "out.csv"});
        EXPECT_EXIT(result, 0);
        QFile file(m_install->path("out.csv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray users = file.readAll();
        QCOMPARE(users, kUsersHeader + "127.0.1.5,22,oracle,,,30,Ann,a@x,\r\n"
                                       "127.0.1.5,22,scott,,,,\"Scott, \"\"Tiger\"\"\",,\r\n"
                                       "127.0.1.6,2222,oracle,,,90,,,\r\n");
        result = cli({"export", "hosts", "-"});
        EXPECT_EXIT(result, 0);
        QCOMPARE(result.out.toUtf8(), kHostsExportHeader + "127.0.1.5,22,Linux,root,,manager,main,none,,,,no,no\r\n"
                                                           "127.0.1.6,2222,,,,user,,none,,,,no,no\r\n");
    }

    void listJsonHoldsNoPassword()
    {
        addSampleData();
        const double now = DayNumber::Now();
        auto query = dm().NewQuery();
        query->SelectSQL =
            QStringLiteral("update Users set pwLastTime=%1 where pwPeriod=30").arg(DayNumber::Format(now - 25.2));
        QVERIFY(dm().OpenQuery(*query));
        const CliResult result = cli({"list", "--json"});
        EXPECT_EXIT(result, 0);
        QJsonParseError error;
        const QJsonObject root = QJsonDocument::fromJson(result.out.toUtf8(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(root.value("hosts").toArray().size(), 2);
        QCOMPARE(root.value("osProfiles").toArray().size(), 10);
        const QJsonArray users = root.value("users").toArray();
        QCOMPARE(users.size(), 3);
        const QJsonObject oracle = users[0].toObject();
        QCOMPARE(oracle.value("login").toString(), QStringLiteral("oracle"));
        QCOMPARE(root.value("hosts").toArray()[0].toObject().value("useAgent"), QJsonValue(false));
        QCOMPARE(root.value("hosts").toArray()[0].toObject().value("legacyAlgorithms"), QJsonValue(false));
        QCOMPARE(oracle.value("address").toString(), QStringLiteral("127.0.1.5"));
        QCOMPARE(oracle.value("port").toInt(), 22);
        QCOMPARE(oracle.value("period").toInt(), 30);
        QCOMPARE(oracle.value("passedDays").toInt(), 25);
        QCOMPARE(oracle.value("dueSoon").toBool(), true);
        QCOMPARE(oracle.value("newPasswordPending").toBool(), true);
        QVERIFY(users[1].toObject().value("period").isNull());
        QVERIFY(users[1].toObject().value("lastChange").isNull());
        for (const char* secret : {"Pw1", "New1", "Top#1"})
            QVERIFY(!result.out.contains(QLatin1String(secret)));
        auto stored = dm().NewQuery();
        stored->SelectSQL = QStringLiteral("select pwNow from Users union select MngPwd from Hosts");
        QVERIFY(dm().OpenQuery(*stored));
        for (; !stored->Eof(); stored->Next())
            if (!stored->Fields(0).AsString().isEmpty())
                QVERIFY(!result.out.contains(stored->Fields(0).AsString()));
    }

    void generateStoresNewPasswordsForTheSelection()
    {
        addSampleData();
        m_install->writeFile(QStringLiteral("Options.ini"), "[Options]\r\nPass_Length=12\r\nPass_Spechar=0\r\n");
        const QString before = text("select pwNew from Users where uID=3");
        CliResult result = cli({"generate", "--host", "127.0.1.5", "--user", "oracle", "--user", "scott"});
        EXPECT_EXIT(result, 0);
        QVERIFY(result.out.contains(QLatin1String("Generated new passwords for 2 user(s).")));
        for (int id : {1, 2}) {
            const QString password =
                DecipherPassword(text(QStringLiteral("select pwNew from Users where uID=%1").arg(id)));
            QCOMPARE(password.size(), 12);
            QVERIFY(!password.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9]"))));
            QVERIFY(password != QLatin1String("New1"));
        }
        QCOMPARE(text("select pwNew from Users where uID=3"), before);

        // --print-only shows the passwords and stores nothing.
        const QString stored = text("select pwNew from Users where uID=1");
        result = cli({"generate", "--all", "--print-only"});
        EXPECT_EXIT(result, 0);
        const QStringList lines = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[2].startsWith(QLatin1String("oracle 127.0.1.6:2222 ")));
        QCOMPARE(lines[2].section(QLatin1Char(' '), 2).size(), 12);
        QCOMPARE(text("select pwNew from Users where uID=1"), stored);

        // A length that makes no password never clears the pending ones: it counts as 8.
        m_install->writeFile(QStringLiteral("Options.ini"), "[Options]\r\nPass_Length=0\r\n");
        result = cli({"generate", "--all"});
        EXPECT_EXIT(result, 0);
        QCOMPARE(DecipherPassword(text("select pwNew from Users where uID=1")).size(), 8);
    }

    void selectionRules_data()
    {
        QTest::addColumn<QStringList>("selection");
        QTest::addColumn<QStringList>("selected");
        // Users: 1 oracle@5 period 30 changed 23 days ago; 2 scott@5 no period; 3 oracle@6 period 90, 84 days.
        QTest::newRow("all") << QStringList{"--all"}
                             << QStringList{"oracle 127.0.1.5:22", "scott 127.0.1.5:22", "oracle 127.0.1.6:2222"};
        QTest::newRow("host") << QStringList{"--host", "127.0.1.6:2222"} << QStringList{"oracle 127.0.1.6:2222"};
        QTest::newRow("user on every host")
            << QStringList{"--user", "oracle"} << QStringList{"oracle 127.0.1.5:22", "oracle 127.0.1.6:2222"};
        QTest::newRow("user narrowed by host")
            << QStringList{"--host", "127.0.1.5", "--user", "oracle"} << QStringList{"oracle 127.0.1.5:22"};
        QTest::newRow("due within 7 days")
            << QStringList{"--due-within", "7"} << QStringList{"oracle 127.0.1.5:22", "oracle 127.0.1.6:2222"};
        QTest::newRow("due within 6 days") << QStringList{"--due-within", "6"} << QStringList{"oracle 127.0.1.6:2222"};
        QTest::newRow("due within narrowed by host")
            << QStringList{"--due-within", "7", "--host", "127.0.1.5"} << QStringList{"oracle 127.0.1.5:22"};
    }
    void selectionRules()
    {
        QFETCH(QStringList, selection);
        QFETCH(QStringList, selected);
        addSampleData();
        const double now = DayNumber::Now();
        auto query = dm().NewQuery();
        query->SelectSQL =
            QStringLiteral("update Users set pwLastTime=%1 where uID=1").arg(DayNumber::Format(now - 23.2));
        QVERIFY(dm().OpenQuery(*query));
        query->SelectSQL =
            QStringLiteral("update Users set pwLastTime=%1 where uID=3").arg(DayNumber::Format(now - 84.2));
        QVERIFY(dm().OpenQuery(*query));
        const CliResult result = cli(QStringList{"generate", "--print-only"} + selection);
        EXPECT_EXIT(result, 0);
        QStringList got;
        for (const QString& line : result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            got << line.section(QLatin1Char(' '), 0, 1);
        QCOMPARE(got, selected);
    }

    void selectionMatchingNobodyFails_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown login") << QStringList{"generate", "--user", "nobody"}
                                       << "no user matches the selection --user nobody";
        QTest::newRow("unknown host") << QStringList{"test-login", "--host", "127.9.9.9"} << "no host 127.9.9.9:22";
        QTest::newRow("nobody due") << QStringList{"change-password", "--due-within", "3"}
                                    << "no user matches the selection --due-within 3";
    }
    void selectionMatchingNobodyFails()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        addSampleData();
        const CliResult result = cli(arguments);
        EXPECT_EXIT(result, 1);
        QVERIFY2(result.err.contains(message), qPrintable(result.err));
        QCOMPARE(result.err.count(QLatin1Char('\n')), 1);
        QCOMPARE(count("select count(*) from Logs"), 0);
    }

    void lockedDatabaseFailsInOneLine_data()
    {
        QTest::addColumn<QString>("lock");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::newRow("reading under an exclusive lock") << "EXCLUSIVE" << QStringList{"list"} << QByteArray();
        QTest::newRow("adding a host while another writes")
            << "IMMEDIATE" << QStringList{"host", "add", "127.0.1.8"} << QByteArray();
        QTest::newRow("adding a user while another writes")
            << "IMMEDIATE" << QStringList{"user", "add", "127.0.1.5", "new"} << QByteArray("pw\n");
        QTest::newRow("importing while another writes")
            << "IMMEDIATE" << QStringList{"import", "users", "more.csv"} << QByteArray();
        QTest::newRow("generating while another writes")
            << "IMMEDIATE" << QStringList{"generate", "--all"} << QByteArray();
        QTest::newRow("deleting while another writes")
            << "IMMEDIATE" << QStringList{"user", "delete", "127.0.1.5", "scott"} << QByteArray();
    }
    void lockedDatabaseFailsInOneLine()
    {
        QFETCH(QString, lock);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        addSampleData();
        m_install->writeFile(QStringLiteral("more.csv"), kUsersHeader + "127.0.1.5,22,new,pw,,,,,\r\n"
                                                                        "127.0.1.5,22,new2,pw,,,,,\r\n");
        const QString pwNewBefore = text("select group_concat(pwNew) from Users");
        TDBSession other;
        QVERIFY(other.OpenDatabase(m_install->environment().databasePath(), true));
        other.Execute(QStringLiteral("BEGIN %1;").arg(lock));
        if (lock == QLatin1String("EXCLUSIVE"))
            other.Execute(QStringLiteral("update Hosts set hNote='held' where hID=1;"));

        const CliResult result = cli(arguments, input);
        other.Execute(QStringLiteral("ROLLBACK;"));
        EXPECT_EXIT(result, 1);
        QCOMPARE(result.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(result.err.contains(QLatin1String("locked by another program")), qPrintable(result.err));
        QCOMPARE(count("select count(*) from Hosts"), 2);
        QCOMPARE(count("select count(*) from Users"), 3);
        QCOMPARE(text("select group_concat(pwNew) from Users"), pwNewBefore);
    }

    void decipherLogRecoversPasswords()
    {
        // A file written by the batch's own fallback writer, as after a failed save.
        TUser user;
        user.uID = 7;
        user.LoginName = QStringLiteral("root");
        user.pwNow = EncipherPassword(QStringLiteral("Old#1"));
        user.pwNew = EncipherPassword(QStringLiteral("New#2"));
        const QString file = WriteFallbackLogFile(m_install->dir(), user, QStringLiteral("Recorded Time: x\r\n"),
                                                  QDateTime(QDate(2024, 3, 5), QTime(15, 7, 12)));
        QCOMPARE(file, m_install->path("Logs/20240305150712_root.log"));
        CliResult result = cli({"decipher-log", file});
        EXPECT_EXIT(result, 0);
        QCOMPARE(result.out, QStringLiteral("User ID: 7\nLogin: root\nCurrent password: Old#1\nNew password: New#2\n"));

        m_install->writeFile(QStringLiteral("notes.txt"), "just some text\n");
        result = cli({"decipher-log", m_install->path("notes.txt")});
        EXPECT_EXIT(result, 1);
        QVERIFY(result.err.contains(QLatin1String("not a fallback log file")));
        result = cli({"decipher-log", m_install->path("missing.log")});
        EXPECT_EXIT(result, 1);
    }
};

QTEST_GUILESS_MAIN(TestCliCommands)
#include "tst_clicommands.moc"
