#pragma once

#include "core/SecretBuffer.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>

#include <memory>

struct sqlite3;

/// The one database connection of the process: an SQLite file encrypted either with the key built
/// into the program (the default) or with a password of the user's (the protected mode).
/// Transactions nest by count: only the outermost start, commit and rollback reach the engine.
class TDBSession
{
public:
    /// The built-in key of the database file (also the key of the password cipher, whatever the
    /// file's key).
    static inline const QByteArray Key = QByteArrayLiteral("vmr_3317");

    TDBSession();
    ~TDBSession();
    TDBSession(const TDBSession&) = delete;
    TDBSession& operator=(const TDBSession&) = delete;

    /// Opens an existing database file (never creates one) and applies the key. A missing file, a
    /// file that is not a database or one written with another key all fail. Returns whether the
    /// connection is open; with raiseOnError a failure throws DatabaseError instead of returning false.
    bool OpenDatabase(const QString& path, bool raiseOnError);
    /// OpenDatabase for a file in the protected mode: password is handed to SQLCipher as the
    /// passphrase it derives the file's key from. An empty password means the built-in key.
    bool OpenDatabaseWithPassword(const QString& path, const SecretBuffer& password, bool raiseOnError);
    void Close();
    bool Connected() const { return m_db != nullptr; }
    const QString& FileName() const { return m_fileName; }

    /// Whether the open connection uses a password of the user's rather than the built-in key.
    bool KeyedByPassword() const { return Connected() && !m_password.isEmpty(); }
    /// The password the connection was opened with, empty for the built-in key. Kept so that the
    /// file can be re-keyed again without asking for it.
    const SecretBuffer& Password() const { return m_password; }
    /// Whether the last open failed at the first read because the key does not fit: the file is
    /// under another key, or no database at all (SQLCipher cannot tell the two apart).
    bool KeyRefused() const { return m_keyRefused; }

    /// Runs a statement without result rows; throws DatabaseError on failure.
    void Execute(const QString& statement);

    void StartTransaction();
    void Commit();
    void Rollback();
    int TransactionDepth() const { return m_depth; }

    /// The engine's message for the last failure on db, with a full disk named as such: "the disk is
    /// full (database or disk is full)", so that nobody is sent to check the file instead.
    static QString EngineMessage(sqlite3* db);
    /// Whether message is one EngineMessage gives for a full disk (or the engine's own words for it).
    static bool IsDiskFullMessage(const QString& message);

    /// The raw handle, for the query objects; throws when the connection is closed.
    sqlite3* Handle() const;

    /// Milliseconds a statement waits on a lock held by another process (veltrane-cli from cron, say)
    /// before failing: long enough for another program's short transaction, short enough that a lock
    /// held for good sends a batch's outcomes to the log files without freezing the window for long.
    static constexpr int BusyTimeoutMs = 2000;
    /// Pause between two looks at the lock while waiting.
    static constexpr int BusyStepMs = 5;

    /// Called on every step of a wait for another program's lock (a batch pumps its window there, so
    /// Stop keeps working); empty for none. It must not use this connection.
    using BusyPump = std::function<void()>;
    void SetBusyPump(BusyPump pump) { m_busyPump = std::move(pump); }

private:
    bool open(const QString& path, const SecretBuffer& password, bool raiseOnError);

    static int busyHandler(void* self, int count);

    /// Closes a connection after finalising whatever statements a query left prepared.
    struct ConnectionCloser
    {
        void operator()(sqlite3* db) const;
    };

    std::unique_ptr<sqlite3, ConnectionCloser> m_db;
    BusyPump m_busyPump;
    QElapsedTimer m_busyClock;
    QString m_fileName;
    SecretBuffer m_password;
    bool m_keyRefused = false;
    int m_depth = 0;
};

/// What EngineMessage puts before the engine's own words when the disk is full.
inline const QString DiskFullMessage = QStringLiteral("the disk is full");

/// The message of every operation on a closed connection.
inline const QString ClosedDatabaseMessage = QStringLiteral("Cannot perform this operation on a closed database");
