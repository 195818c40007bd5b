#include "core/TDBSession.h"

#include "core/DatabaseError.h"

#include <sqlcipher/sqlite3.h>

#include <QFile>
#include <QThread>

#include <cstdlib>

TDBSession::TDBSession() = default;

TDBSession::~TDBSession()
{
    Close();
}

void TDBSession::ConnectionCloser::operator()(sqlite3* db) const
{
    // Finalise whatever a query left prepared before the file is closed.
    while (sqlite3_stmt* stmt = sqlite3_next_stmt(db, nullptr))
        sqlite3_finalize(stmt);
    sqlite3_close(db);
}

void TDBSession::Close()
{
    m_db.reset();
    m_password.wipe();
    m_depth = 0;
}

bool TDBSession::OpenDatabase(const QString& path, bool raiseOnError)
{
    return open(path, SecretBuffer(), raiseOnError);
}

bool TDBSession::OpenDatabaseWithPassword(const QString& path, const SecretBuffer& password, bool raiseOnError)
{
    return open(path, password, raiseOnError);
}

bool TDBSession::open(const QString& path, const SecretBuffer& password, bool raiseOnError)
{
    // A copy first: the caller may hand in this session's own Password(), which Close() wipes.
    SecretBuffer keptPassword(password);
    m_fileName = path;
    Close();
    m_keyRefused = false;
    const QByteArray& key = keptPassword.isEmpty() ? Key : keptPassword.bytes();
    QString failure;
    sqlite3* db = nullptr;
    const QByteArray encoded = QFile::encodeName(path);
    int rc = sqlite3_open_v2(encoded.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_busy_handler(db, &TDBSession::busyHandler, this);
    if (rc == SQLITE_OK)
        rc = sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    if (rc == SQLITE_OK) {
        // A wrong key or a file that is no database only shows at the first read. An empty file
        // reads as an empty database; it holds no schema, so it is no database of ours either.
        int tables = 0;
        rc = sqlite3_exec(
            db, "select count(*) from sqlite_master;",
            [](void* out, int, char** values, char**) {
                *static_cast<int*>(out) = values[0] ? std::atoi(values[0]) : 0;
                return 0;
            },
            &tables, nullptr);
        m_keyRefused = rc == SQLITE_NOTADB;
        if (rc == SQLITE_OK && tables == 0) {
            rc = SQLITE_NOTADB;
            failure = QStringLiteral("file is not a database");
        }
    }
    if (rc == SQLITE_OK) {
        // Sorts and temporary tables stay in memory: SQLCipher writes temporary files unencrypted.
        rc = sqlite3_exec(db, "PRAGMA temp_store = MEMORY;", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        if (failure.isEmpty())
            failure = EngineMessage(db);
        if (failure.isEmpty() || rc == SQLITE_CANTOPEN)
            failure = QStringLiteral("Unable to open the database file %1").arg(path);
        sqlite3_close(db);
        if (raiseOnError)
            throw DatabaseError(failure);
        return false;
    }
    m_db.reset(db);
    m_password = std::move(keptPassword);
    return true;
}

QString TDBSession::EngineMessage(sqlite3* db)
{
    if (!db)
        return QStringLiteral("out of memory");
    const QString message = QString::fromUtf8(sqlite3_errmsg(db));
    // The engine reports a failed write for want of space (ENOSPC) as SQLITE_FULL.
    if ((sqlite3_extended_errcode(db) & 0xFF) == SQLITE_FULL)
        return DiskFullMessage + QStringLiteral(" (") + message + QLatin1Char(')');
    return message;
}

bool TDBSession::IsDiskFullMessage(const QString& message)
{
    return message.contains(DiskFullMessage) || message.contains(QLatin1String("database or disk is full"));
}

int TDBSession::busyHandler(void* self, int count)
{
    auto* session = static_cast<TDBSession*>(self);
    if (count == 0)
        session->m_busyClock.start();
    if (session->m_busyClock.elapsed() >= BusyTimeoutMs)
        return 0;
    // The pump only sets flags (Stop) and paints; it must not touch this connection.
    if (session->m_busyPump)
        session->m_busyPump();
    QThread::msleep(BusyStepMs);
    return 1;
}

sqlite3* TDBSession::Handle() const
{
    if (!m_db)
        throw DatabaseError(ClosedDatabaseMessage);
    return m_db.get();
}

void TDBSession::Execute(const QString& statement)
{
    sqlite3* db = Handle();
    char* error = nullptr;
    const QByteArray sql = statement.toUtf8();
    if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        QString message = error ? QString::fromUtf8(error) : QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_free(error);
        if ((sqlite3_extended_errcode(db) & 0xFF) == SQLITE_FULL)
            message = EngineMessage(db);
        throw DatabaseError(message);
    }
}

void TDBSession::StartTransaction()
{
    Handle();
    if (m_depth == 0)
        Execute(QStringLiteral("BEGIN DEFERRED TRANSACTION;"));
    ++m_depth;
}

void TDBSession::Commit()
{
    Handle();
    if (m_depth == 0)
        return;
    if (m_depth == 1)
        Execute(QStringLiteral("COMMIT TRANSACTION;"));
    --m_depth;
}

void TDBSession::Rollback()
{
    Handle();
    if (m_depth == 0)
        return;
    if (m_depth == 1) {
        try {
            Execute(QStringLiteral("ROLLBACK TRANSACTION;"));
        } catch (const DatabaseError&) {
            // The engine may already have ended the transaction itself (a full disk, an I/O error):
            // then nothing is left to roll back, and keeping the count would disable every later BEGIN.
            if (!sqlite3_get_autocommit(m_db.get()))
                throw;
        }
    }
    --m_depth;
}
