#pragma once

// A throw-away installation with a data module, recorded UI services, the real engine and the batch
// operations over it, plus what the batch tests need to set up users and read back what a run left.

#include "batch/NoticeMailSettings.h"
#include "batch/TBatchObserver.h"
#include "batch/TNoticeMailer.h"
#include "batch/TRemoteBatchOperations.h"
#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "engine/TRemoteEngine.h"
#include "tests/support/MailTestServer.h"
#include "tests/support/RecordingUiServices.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestServers.h"

#include <QDir>
#include <QProcess>
#include <QStringList>
#include <QtTest>

/// Everything an observer was told, in order.
struct RecordingObserver : TBatchObserver
{
    struct Row
    {
        TRowState state = TRowState::None;
        QString text;
    };
    QList<Row> rows;
    QStringList titles;
    QStringList statuses;
    QString finalTitle;
    int started = 0;
    int finished = 0;
    int lastDone = -1;
    std::function<void(int)> onRowStarted;
    std::function<void(const QString&)> onProgress;

    explicit RecordingObserver(int count) : rows(count) {}
    void BatchStarted(int) override { ++started; }
    void RowStarted(int row) override
    {
        rows[row].state = TRowState::Running;
        if (onRowStarted)
            onRowStarted(row);
    }
    void RowFinished(int row, TRowState state, const QString& text, int done) override
    {
        rows[row] = {state, text};
        lastDone = done;
    }
    void ProgressShown(const QString& title, const QString& status) override
    {
        titles << title;
        statuses << status;
        if (onProgress)
            onProgress(status);
    }
    void BatchFinished(const QString& title) override
    {
        finalTitle = title;
        ++finished;
    }
    QString everything() const
    {
        QString text = titles.join(QLatin1Char('\n')) + statuses.join(QLatin1Char('\n')) + finalTitle;
        for (const Row& row : rows)
            text += row.text;
        return text;
    }
};

/// One Logs row as stored.
struct LogRow
{
    int logID = 0;
    int userID = 0;
    QString addressPort, loginName, doAction, actionTime, pwBefore, pwAfter, actionDone, actionLog;
};

struct BatchFixture
{
    TestEnvironment env;
    RecordingUiServices ui;
    TdmPublic& dm = env.dm();
    TNoticeMailer mailer{dm};
    TRemoteBatchOperations operations{dm};

    // The scripted dialogs print their success and change nothing, which the runner window's check after
    // a change would rightly call a lie; the tests of that check are the command line's.
    BatchFixture() { dm.OptionsFile.SetVerifyAfterChange(false); }

    /// Points the notice mail at the loopback SMTP server shared by the test areas.
    void UseTestMailServer()
    {
        NoticeMailSettings settings;
        settings.server = MailTestServer::Address;
        settings.port = MailTestServer::Port;
        settings.account = MailTestServer::Account;
        settings.password = EncipherPassword(MailTestServer::Password);
        // The shared port offers no STARTTLS; these tests are about the batch, not the connection.
        settings.security = QStringLiteral("none");
        settings.sender = QStringLiteral("veltrane-batch@example.org");
        settings.subject = QStringLiteral("Batch notice");
        settings.body = QStringLiteral("<p>Your password changed.</p>");
        settings.Write(dm.OptionsFile.ini());
    }

    /// Stores host hID at address (test port) with a profile of no rows, so the defaults apply.
    void AddHost(int hID, const QString& address)
    {
        THost host;
        host.hID = hID;
        host.hAddress = address;
        host.hPort = TestServers::Port;
        host.OSID = 999;
        host.UseManager = 1;
        QVERIFY(dm.SaveHost(host, TSaveMode::Insert));
    }

    /// Stores and returns a user of host hID as the list query fills it.
    TUser AddUser(int uID, int hID, const QString& address, const QString& login, const QString& password,
                  const QString& newPassword = QString(), const QString& email = QString())
    {
        TUser user;
        user.uID = uID;
        user.hID = hID;
        user.HostIP = address;
        user.HostPort = TestServers::Port;
        user.LoginName = login;
        user.pwNow = EncipherPassword(password);
        user.pwNew = newPassword.isEmpty() ? QString() : EncipherPassword(newPassword);
        user.pwPeriod = 90;
        user.RecTime = 39000.25;
        user.pwLastTime = 39500.75;
        user.uName = QStringLiteral("Owner ") + login;
        user.Email = email;
        [&] {
            QVERIFY(dm.SaveUser(user, TSaveMode::Insert));
        }();
        return user;
    }

    /// The stored Users row of uID (HostIP and HostPort stay empty).
    TUser StoredUser(int uID)
    {
        TUser user;
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select * from Users where uID = %1").arg(uID);
        if (!dm.OpenQuery(*query) || query->Eof())
            return user;
        user.uID = uID;
        user.LoginName = query->FieldByName(QStringLiteral("LoginName")).AsString();
        user.pwNow = query->FieldByName(QStringLiteral("pwNow")).AsString();
        user.pwNew = query->FieldByName(QStringLiteral("pwNew")).AsString();
        user.pwLastTime = query->FieldByName(QStringLiteral("pwLastTime")).AsFloat();
        user.LastLog = query->FieldByName(QStringLiteral("LastLog")).AsString();
        user.pwCandidates = query->FieldByName(QStringLiteral("pwCandidates")).AsString();
        return user;
    }

    QList<LogRow> LogRows()
    {
        QList<LogRow> rows;
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select logID, UserID, AddressPort, LoginName, DoAction, "
                                          "printf('%.2f', ActionTime), pwBefore, pwAfter, ActionDone, ActionLog "
                                          "from Logs order by logID");
        if (!dm.OpenQuery(*query))
            return rows;
        for (; !query->Eof(); query->Next()) {
            LogRow row;
            row.logID = query->Fields(0).AsInteger();
            row.userID = query->Fields(1).AsInteger();
            row.addressPort = query->Fields(2).AsString();
            row.loginName = query->Fields(3).AsString();
            row.doAction = query->Fields(4).AsString();
            row.actionTime = query->Fields(5).AsString();
            row.pwBefore = query->Fields(6).AsString();
            row.pwAfter = query->Fields(7).AsString();
            row.actionDone = query->Fields(8).AsString();
            row.actionLog = query->Fields(9).AsString();
            rows << row;
        }
        return rows;
    }

    /// The fallback log files written so far, by name.
    QStringList LogFiles() const
    {
        return QDir(env.dir() + QStringLiteral("/Logs")).entryList(QDir::Files, QDir::Name);
    }
    QByteArray LogFile(const QString& name) const
    {
        QFile file(env.dir() + QStringLiteral("/Logs/") + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    /// Everything a run left in the database, the log files and the recorded screen, to search for
    /// passwords in.
    QString EverythingKept()
    {
        QString text;
        for (const LogRow& row : LogRows())
            text += row.addressPort + row.loginName + row.doAction + row.pwBefore + row.pwAfter + row.actionLog;
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select LastLog from Users");
        if (dm.OpenQuery(*query))
            for (; !query->Eof(); query->Next())
                text += query->Fields(0).AsString();
        for (const QString& name : LogFiles())
            text += QString::fromUtf8(LogFile(name));
        for (const auto& shown : ui.all)
            text += shown.text + shown.caption;
        return text;
    }
};

/// Another process that holds a lock on the database while it lives.
class DatabaseLock
{
public:
    /// holdMs > 0: the other program lets go by itself after that long.
    DatabaseLock(const QString& databasePath, const QString& mode, int holdMs = 0)
    {
        QStringList arguments{databasePath, mode};
        if (holdMs > 0)
            arguments << QString::number(holdMs);
        m_process.start(qEnvironmentVariable("DB_LOCK_HOLDER"), arguments);
        m_locked = m_process.waitForReadyRead(10000) && m_process.readLine().trimmed() == "locked";
    }
    ~DatabaseLock()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
    }
    bool locked() const { return m_locked; }

private:
    QProcess m_process;
    bool m_locked = false;
};

/// Fails the test when the servers are missing: the batch tests need the real ones.
#define REQUIRE_TEST_SERVERS()                                                                                         \
    do {                                                                                                               \
        const QString problem = ServerProblem();                                                                       \
        if (!problem.isEmpty())                                                                                        \
            QFAIL(qPrintable(problem));                                                                                \
    } while (false)

/// Fails when any of secrets appears in text.
inline void VerifyNoSecret(const QString& text, const QStringList& secrets)
{
    for (const QString& secret : secrets)
        QVERIFY2(!text.contains(secret),
                 qPrintable(QStringLiteral("a password sent to a host was kept: %1").arg(secret)));
}
