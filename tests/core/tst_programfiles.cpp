// Where the programs keep their files: an installed copy (bin beside share/veltrane/manual) per user
// under XDG_DATA_HOME, anything else beside the executable; and the first start of an installed copy.

#include "core/IniFile.h"
#include "core/Platform.h"
#include "core/ProgramFiles.h"
#include "core/TDBSession.h"
#include "core/TOptionsFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

namespace {

/// Sets an environment variable for the life of the object; the old value comes back after.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

} // namespace

class TestProgramFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_root;

    QString path(const QString& relative) const { return m_root->filePath(relative); }
    void makeDirs(const QStringList& dirs) const
    {
        for (const QString& dir : dirs)
            QVERIFY(QDir().mkpath(path(dir)));
    }

private slots:
    void init()
    {
        // A fresh tree per case: prefix/bin beside prefix/share/veltrane/manual, and look-alikes.
        m_root = std::make_unique<QTemporaryDir>();
        makeDirs({QStringLiteral("prefix/bin"), QStringLiteral("prefix/share/veltrane/manual"),
                  QStringLiteral("tools/bin"), QStringLiteral("portable"), QStringLiteral("other/programs"),
                  QStringLiteral("other/share/veltrane/manual"), QStringLiteral("home")});
    }

    void dataFolderFollowsTheLayout_data()
    {
        QTest::addColumn<QString>("executableDir");
        QTest::addColumn<QByteArray>("xdgDataHome");
        QTest::addColumn<QString>("dataDir");
        QTest::addColumn<QString>("manualDir");
        QTest::newRow("installed, XDG_DATA_HOME set") << "prefix/bin" << QByteArray("XDG") << "xdg/veltrane"
                                                      << "prefix/share/veltrane/manual";
        QTest::newRow("installed, XDG_DATA_HOME unset") << "prefix/bin" << QByteArray() << "home/.local/share/veltrane"
                                                        << "prefix/share/veltrane/manual";
        // XDG_DATA_HOME must be absolute: relative and empty values are ignored.
        QTest::newRow("installed, XDG_DATA_HOME relative")
            << "prefix/bin" << QByteArray("relative/data") << "home/.local/share/veltrane"
            << "prefix/share/veltrane/manual";
        QTest::newRow("installed, XDG_DATA_HOME empty")
            << "prefix/bin" << QByteArray("") << "home/.local/share/veltrane"
            << "prefix/share/veltrane/manual";
        QTest::newRow("a bin without the manual beside it") << "tools/bin" << QByteArray("XDG") << "tools/bin"
                                                            << "tools/bin/manual";
        QTest::newRow("the manual beside a folder not named bin")
            << "other/programs" << QByteArray("XDG") << "other/programs"
            << "other/programs/manual";
        QTest::newRow("portable copy") << "portable" << QByteArray("XDG") << "portable"
                                       << "portable/manual";
    }
    void dataFolderFollowsTheLayout()
    {
        QFETCH(QString, executableDir);
        QFETCH(QByteArray, xdgDataHome);
        QFETCH(QString, dataDir);
        QFETCH(QString, manualDir);
        const ScopedEnv home("HOME", QFile::encodeName(path(QStringLiteral("home"))));
        const ScopedEnv xdg("XDG_DATA_HOME",
                            xdgDataHome == "XDG" ? QFile::encodeName(path(QStringLiteral("xdg"))) : xdgDataHome);
        QCOMPARE(Platform::DataDir(path(executableDir)), path(dataDir));
        QCOMPARE(Platform::ManualDir(path(executableDir)), path(manualDir));
        const ProgramFiles::Locations where = ProgramFiles::Find(path(executableDir));
        QCOMPARE(where.options, path(dataDir) + QStringLiteral("/Options.ini"));
        QCOMPARE(where.database, path(dataDir) + QStringLiteral("/veltrane.db"));
        QCOMPARE(where.batchLock, path(dataDir) + QStringLiteral("/veltrane.db.batch-lock"));
    }

    void firstStartOfAnInstalledCopy()
    {
        const ScopedEnv xdg("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("xdg/deeper"))));
        const QString bin = path(QStringLiteral("prefix/bin"));
        const QString data = path(QStringLiteral("xdg/deeper/veltrane"));

        QCOMPARE(ProgramFiles::PrepareFirstStart(bin), QString());
        struct stat status
        {
        };
        QCOMPARE(::stat(QFile::encodeName(data).constData(), &status), 0);
        QCOMPARE(status.st_mode & 0777, 0700u);
        TDBSession session;
        session.OpenDatabase(data + QStringLiteral("/veltrane.db"), true);
        QVERIFY(session.Connected());
        session.Close();

        // A later start leaves the user's database alone, whatever it holds.
        QFile database(data + QStringLiteral("/veltrane.db"));
        QVERIFY(database.open(QIODevice::WriteOnly | QIODevice::Append));
        database.write("mine");
        database.close();
        const qint64 size = QFileInfo(database).size();
        QCOMPARE(ProgramFiles::PrepareFirstStart(bin), QString());
        QCOMPARE(QFileInfo(database.fileName()).size(), size);

        // With DataPath naming another file (on a share not mounted yet, say) none is made up.
        QVERIFY(database.remove());
        const QString elsewhere = path(QStringLiteral("share-not-mounted/team.db"));
        IniFile(data + QStringLiteral("/Options.ini"))
            .writeString(TOptionsFile::Section, QStringLiteral("DataPath"), elsewhere);
        QCOMPARE(ProgramFiles::PrepareFirstStart(bin), QString());
        QVERIFY(!QFileInfo::exists(elsewhere));
        QVERIFY(!database.exists());
    }

    void firstStartLeavesOtherCopiesAlone()
    {
        const ScopedEnv xdg("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("xdg"))));
        QCOMPARE(ProgramFiles::PrepareFirstStart(path(QStringLiteral("portable"))), QString());
        QVERIFY(QDir(path(QStringLiteral("portable"))).isEmpty());
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("xdg"))));
    }

    void firstStartSaysWhatToDoWhenTheFolderCannotBeMade()
    {
        // A file where a folder must go stops even root.
        QFile blocker(path(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const ScopedEnv xdg("XDG_DATA_HOME", QFile::encodeName(blocker.fileName()));
        const QString problem = ProgramFiles::PrepareFirstStart(path(QStringLiteral("prefix/bin")));
        QVERIFY2(problem.contains(blocker.fileName() + QStringLiteral("/veltrane")), qPrintable(problem));
        QVERIFY2(problem.contains(QStringLiteral("XDG_DATA_HOME")), qPrintable(problem));
    }

    void foldersOpenToOthersAreWarnedOf_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("warning");
        QTest::newRow("private folders") << "private"
                                         << "";
        QTest::newRow("database folder writable by others")
            << "open"
            << "of the database and settings is not safe (other users can write to it)";
        QTest::newRow("settings folder is a symbolic link") << "link"
                                                            << "of the settings is not safe (it is a symbolic";
        QTest::newRow("settings file is a pipe") << "fifo"
                                                 << "is not read (it is a named pipe, not a regular file)";
    }
    void foldersOpenToOthersAreWarnedOf()
    {
        QFETCH(QString, kind);
        QFETCH(QString, warning);
        makeDirs({QStringLiteral("data"), QStringLiteral("real")});
        QString settings = path(QStringLiteral("data"));
        QCOMPARE(::chmod(QFile::encodeName(path(QStringLiteral("data"))).constData(),
                         kind == QLatin1String("open") ? 0777 : 0700),
                 0);
        if (kind == QLatin1String("link")) {
            settings = path(QStringLiteral("linked"));
            QVERIFY(QFile::link(path(QStringLiteral("real")), settings));
        }
        const TOptionsFile options(settings + QStringLiteral("/veltrane"));
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(options.path()).constData(), 0600), 0);
        const QStringList warnings = ProgramFiles::Warnings(path(QStringLiteral("data/veltrane.db")), options);
        QCOMPARE(warnings.size(), warning.isEmpty() ? 0 : 1);
        if (!warning.isEmpty())
            QVERIFY2(warnings[0].contains(warning), qPrintable(warnings[0]));
    }
};

QTEST_GUILESS_MAIN(TestProgramFiles)
#include "tst_programfiles.moc"
