#include "core/IniFile.h"
#include "core/TOptionsFile.h"
#include "core/TdmPublic.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestSettings : public QObject
{
    Q_OBJECT

    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void defaultsWithoutFile()
    {
        QTemporaryDir dir;
        const TOptionsFile options(dir.filePath(QStringLiteral("veltrane")));
        QVERIFY(options.PassNumber());
        QVERIFY(options.PassSpechar());
        QVERIFY(options.AutoGenerate());
        QVERIFY(options.TestLogin());
        QVERIFY(options.ChangePassword());
        QVERIFY(options.SendMail());
        QVERIFY(options.DeleteUser());
        QVERIFY(options.GenerateNew());
        QVERIFY(options.VerifyAfterChange());
        QCOMPARE(options.PassLength(), 8);
        for (int column = 0; column < 7; ++column)
            QCOMPARE(options.ColumnWidth(column), 120);
        QCOMPARE(options.DatabasePath(), dir.filePath(QStringLiteral("veltrane.db")));
        QCOMPARE(options.path(), dir.filePath(QStringLiteral("Options.ini")));
    }

    void databasePathReplacesTheExtension_data()
    {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("db");
        QTest::newRow("no extension") << "/opt/v/veltrane"
                                      << "/opt/v/veltrane.db";
        QTest::newRow("extension") << "/opt/v/veltrane.exe"
                                   << "/opt/v/veltrane.db";
        QTest::newRow("dot in folder only") << "/opt/v.1/veltrane"
                                            << "/opt/v.1/veltrane.db";
        QTest::newRow("two dots") << "/opt/v/vel.trane.bin"
                                  << "/opt/v/vel.trane.db";
    }
    void databasePathReplacesTheExtension()
    {
        QFETCH(QString, exe);
        QFETCH(QString, db);
        QCOMPARE(TOptionsFile(exe).DatabasePath(), db);
    }

    void integerAndBooleanValues_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("flag");
        QTest::newRow("decimal") << QByteArray("12") << 12 << true;
        QTest::newRow("hex lower") << QByteArray("0x0A") << 10 << true;
        QTest::newRow("hex upper") << QByteArray("0X1e") << 30 << true;
        // Lengths the generator cannot sensibly make fall back to 8 (a million would hang generate).
        QTest::newRow("above 30") << QByteArray("1000000") << 8 << true;
        QTest::newRow("garbage") << QByteArray("abc") << 8 << true;
        QTest::newRow("empty") << QByteArray("") << 8 << true;
        QTest::newRow("two is true") << QByteArray("2") << 2 << true;
        QTest::newRow("zero is false") << QByteArray("0") << 8 << false;
        QTest::newRow("negative") << QByteArray("-3") << 8 << true;
        QTest::newRow("spaces around") << QByteArray("  14  ") << 14 << true;
        QTest::newRow("overflow") << QByteArray("99999999999") << 8 << true;
    }
    void integerAndBooleanValues()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, length);
        QFETCH(bool, flag);
        QTemporaryDir dir;
        const TOptionsFile options(dir.filePath(QStringLiteral("veltrane")));
        writeFile(options.path(), "[Options]\nPass_Length=" + value + "\nTestLogin=" + value + "\n");
        QCOMPARE(options.PassLength(), length);
        QCOMPARE(options.TestLogin(), flag);
    }

    void writesAreSeenAtOnceAndBooleansAreOneOrZero()
    {
        QTemporaryDir dir;
        const TOptionsFile writer(dir.filePath(QStringLiteral("veltrane")));
        const TOptionsFile reader(dir.filePath(QStringLiteral("veltrane")));
        writer.SetPassNumber(false);
        writer.SetGenerateNew(true);
        writer.SetPassLength(14);
        writer.SetColumnWidth(3, 77);
        QVERIFY(!reader.PassNumber());
        QCOMPARE(reader.PassLength(), 14);
        QCOMPARE(reader.ColumnWidth(3), 77);
        const QByteArray text = readFile(writer.path());
        QVERIFY(text.contains("Pass_Number=0\n"));
        QVERIFY(text.contains("GenerateNew=1\n"));
        QVERIFY(text.contains("[frmMain-lvUsers]\n3=77\n"));
    }

    void handEditedFileSurvivesAWrite()
    {
        QTemporaryDir dir;
        const TOptionsFile options(dir.filePath(QStringLiteral("veltrane")));
        const QByteArray original = "; kept by the administrator\r\n"
                                    "[Options]\r\n"
                                    "DataPath=\"/srv/veltrane/data.db\"\r\n"
                                    "\r\n"
                                    "; switches\r\n"
                                    "TestLogin=0\r\n"
                                    "Custom=yes\r\n"
                                    "; the other section follows\r\n"
                                    "\r\n"
                                    "[Other]\r\n"
                                    "Pass_Length=3\r\n";
        writeFile(options.path(), original);
        options.SetTestLogin(true);
        options.SetPassLength(12);
        QByteArray expected = original;
        expected.replace("TestLogin=0", "TestLogin=1");
        expected.replace("Custom=yes\r\n", "Custom=yes\r\nPass_Length=12\r\n");
        QCOMPARE(readFile(options.path()), expected);
        QCOMPARE(options.DatabasePath(), QStringLiteral("/srv/veltrane/data.db"));
        QCOMPARE(options.ini().readInteger(QStringLiteral("Other"), QStringLiteral("Pass_Length"), 0), 3);
    }

    void keysAndSectionsIgnoreCase()
    {
        QTemporaryDir dir;
        const TOptionsFile options(dir.filePath(QStringLiteral("veltrane")));
        writeFile(options.path(), "[options]\npass_length=20\n");
        QCOMPARE(options.PassLength(), 20);
        options.SetPassLength(21);
        QCOMPARE(readFile(options.path()), QByteArray("[options]\nPass_Length=21\n"));
    }

    void garbageAndUnreadableFilesGiveDefaults()
    {
        QTemporaryDir dir;
        const TOptionsFile options(dir.filePath(QStringLiteral("veltrane")));
        QByteArray garbage(4096, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = static_cast<char>((i * 7919) & 0xFF);
        writeFile(options.path(), garbage);
        QCOMPARE(options.PassLength(), 8);
        QVERIFY(options.TestLogin());

        if (::geteuid() != 0) { // root reads every file whatever its mode
            ::chmod(QFile::encodeName(options.path()).constData(), 0);
            QCOMPARE(options.PassLength(), 8);
        }
    }

    void fileThatIsNoSmallRegularFileIsNotRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        // Before, a pipe held up the start for good and /dev/zero ate all memory.
        QTest::newRow("a named pipe") << "fifo"
                                      << "it is a named pipe, not a regular file";
        QTest::newRow("a link to /dev/zero") << "zero"
                                             << "it is a character device, not a regular file";
        QTest::newRow("larger than 1 MB") << "large"
                                          << "it is larger than 1 MB";
    }
    void fileThatIsNoSmallRegularFileIsNotRead()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const TOptionsFile options(dir.filePath(QStringLiteral("veltrane")));
        const QByteArray path = QFile::encodeName(options.path());
        const QByteArray large = "[Options]\nPass_Length=12\n" + QByteArray(IniFile::MaxFileSize, ';') + '\n';
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        else if (kind == QLatin1String("zero"))
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), options.path()));
        else
            writeFile(options.path(), large);
        QCOMPARE(options.PassLength(), 8);
        QVERIFY(options.TestLogin());
        QVERIFY2(options.ReadProblem().contains(reason), qPrintable(options.ReadProblem()));
        QVERIFY(options.ReadProblem().contains(options.path()));
        // Nor is it replaced by a file of one key.
        QVERIFY_THROWS_EXCEPTION(IniWriteError, options.SetPassLength(10));
        if (kind == QLatin1String("large"))
            QCOMPARE(readFile(options.path()), large);
        QCOMPARE(QFileInfo(options.path()).isFile(), kind == QLatin1String("large"));
    }

    void failedWriteNamesTheFile()
    {
        QTemporaryDir dir;
        const QString sub = dir.filePath(QStringLiteral("missing-folder/veltrane"));
        const TOptionsFile options(sub);
        try {
            options.SetPassLength(10);
            QFAIL("a write into a missing folder must fail");
        } catch (const IniWriteError& error) {
            QCOMPARE(error.message(), QStringLiteral("Unable to write to %1").arg(options.path()));
        }
        QCOMPARE(options.PassLength(), 8);
    }

    void folderThatIsAFileCannotBeWritten()
    {
        // Even root cannot create a file below a regular file.
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("plain")), "x");
        const TOptionsFile options(dir.filePath(QStringLiteral("plain/veltrane")));
        QVERIFY_THROWS_EXCEPTION(IniWriteError, options.SetTestLogin(false));
        QVERIFY(options.TestLogin());
    }

    void hostKeyPolicyFailsSafe_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("knownOnly");
        QTest::newRow("no file") << QByteArray() << false;
        QTest::newRow("empty") << QByteArray("[Options]\nHostKeyPolicy=\n") << false;
        QTest::newRow("tofu") << QByteArray("[Options]\nHostKeyPolicy=TOFU\n") << false;
        QTest::newRow("known-only") << QByteArray("[Options]\nHostKeyPolicy= Known-Only \n") << true;
        // A mistyped safety setting must not loosen it.
        QTest::newRow("typo") << QByteArray("[Options]\nHostKeyPolicy=knownonly\n") << true;
    }
    void hostKeyPolicyFailsSafe()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, knownOnly);
        QTemporaryDir dir;
        if (!file.isEmpty())
            writeFile(dir.filePath(QStringLiteral("Options.ini")), file);
        const TOptionsFile options(dir.filePath(QStringLiteral("veltrane")));
        QCOMPARE(options.HostKeyPolicy() == THostKeyPolicy::KnownOnly, knownOnly);
        options.SetHostKeyPolicy(knownOnly ? THostKeyPolicy::TrustOnFirstUse : THostKeyPolicy::KnownOnly);
        QCOMPARE(options.HostKeyPolicy() == THostKeyPolicy::KnownOnly, !knownOnly);
    }

    void programPasswordSwitch_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("one") << "1" << true;
        QTest::newRow("minus one") << "-1" << false;
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("yes") << "yes" << false;
        QTest::newRow("one with blank") << "1 " << false;
    }
    void programPasswordSwitch()
    {
        QFETCH(QString, stored);
        QFETCH(bool, enabled);
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        QVERIFY(dm.SetSysParam(QStringLiteral("EnablePWD"), stored));
        QCOMPARE(dm.PasswordProtectionEnabled(), enabled);
    }

    void sysParamsRoundTrip()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        QCOMPARE(dm.GetSysParam(QStringLiteral("EnablePWD")), QStringLiteral("-1"));
        QCOMPARE(dm.GetUserPass(), QString());
        QVERIFY(dm.SetPasswordProtection(true));
        QCOMPARE(dm.GetSysParam(QStringLiteral("EnablePWD")), QStringLiteral("1"));
        QVERIFY(dm.SetPasswordProtection(false));
        QCOMPARE(dm.GetSysParam(QStringLiteral("EnablePWD")), QStringLiteral("-1"));
        // Quotes in a value are doubled, so the statement stays well formed.
        QVERIFY(dm.SetUserPass(QStringLiteral("it's")));
        QCOMPARE(dm.GetUserPass(), QStringLiteral("it's"));
        QVERIFY(ui.shown(QStringLiteral("runlog")).isEmpty());
    }

    void failedSysParamReadShowsTheStatement()
    {
        RecordingUiServices ui;
        TestEnvironment env;
        TdmPublic& dm = env.dm();
        QCOMPARE(dm.GetSysParam(QStringLiteral("NoSuchColumn")), QString());
        const auto shown = ui.shown(QStringLiteral("runlog"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].caption, QStringLiteral("Operation Error"));
        QVERIFY(shown[0].text.endsWith(QStringLiteral("select NoSuchColumn from SysParams")));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
