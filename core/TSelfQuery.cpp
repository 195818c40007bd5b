#include "core/TSelfQuery.h"

#include "core/DatabaseError.h"
#include "core/TDBSession.h"

#include <sqlcipher/sqlite3.h>

void TSelfQuery::StatementDeleter::operator()(sqlite3_stmt* stmt) const
{
    sqlite3_finalize(stmt);
}

TSelfQuery::TSelfQuery(TDBSession& session) : m_session(session) {}

TSelfQuery::~TSelfQuery()
{
    Close();
}

void TSelfQuery::Close()
{
    // Fields still held by callers see that their statement is gone.
    m_state->stmt = nullptr;
    ++m_state->generation;
    m_stmtOwner.reset();
    m_stmt = nullptr;
    m_names.clear();
    m_eof = true;
}

void TSelfQuery::fail()
{
    sqlite3* db = m_session.Handle();
    const QString message = TDBSession::EngineMessage(db);
    Close();
    throw DatabaseError(message);
}

void TSelfQuery::Open()
{
    Close();
    sqlite3* db = m_session.Handle();
    const QByteArray sql = SelectSQL.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        fail();
    }
    if (!stmt) // only blanks or a comment
        return;
    m_stmtOwner.reset(stmt);
    m_stmt = stmt;
    m_state->stmt = stmt;
    const int count = sqlite3_column_count(stmt);
    m_names.reserve(count);
    for (int i = 0; i < count; ++i)
        m_names.append(QByteArray(sqlite3_column_name(stmt, i)).toLower());
    step();
    if (count == 0) {
        // An insert, update or delete has run; it leaves no rows to read.
        Close();
    }
}

void TSelfQuery::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        m_eof = false;
    } else if (rc == SQLITE_DONE) {
        m_eof = true;
    } else {
        fail();
    }
}

void TSelfQuery::First()
{
    if (!m_stmt)
        return;
    ++m_state->generation;
    sqlite3_reset(m_stmt);
    step();
}

void TSelfQuery::Next()
{
    if (m_stmt && !m_eof)
        step();
}

int TSelfQuery::FieldIndex(const QString& name) const
{
    const QByteArray wanted = name.toUtf8().toLower();
    for (int i = 0; i < m_names.size(); ++i)
        if (m_names[i] == wanted)
            return i;
    throw DatabaseError(QStringLiteral("Field '%1' not found").arg(name));
}

TSelfQuery::TField TSelfQuery::FieldByName(const QString& name) const
{
    return TField(m_state, FieldIndex(name));
}

TSelfQuery::TField TSelfQuery::Fields(int index) const
{
    if (!m_stmt || index < 0 || index >= m_names.size())
        throw DatabaseError(QStringLiteral("Field index out of range"));
    return TField(m_state, index);
}

sqlite3_stmt* TSelfQuery::TField::statement() const
{
    if (!m_state)
        return nullptr;
    if (m_state->generation != m_generation)
        throw DatabaseError(QStringLiteral("A column was read after its query was closed or run again"));
    return m_state->stmt;
}

// Reading a column of a query that failed or is past its end yields NULL: callers that do not
// check a failed statement then see empty values instead of crashing.
bool TSelfQuery::TField::IsNull() const
{
    sqlite3_stmt* stmt = statement();
    return !stmt || sqlite3_column_type(stmt, m_index) == SQLITE_NULL || !sqlite3_stmt_busy(stmt);
}

int TSelfQuery::TField::AsInteger() const
{
    return IsNull() ? 0 : sqlite3_column_int(statement(), m_index);
}

qint64 TSelfQuery::TField::AsLargeInt() const
{
    return IsNull() ? 0 : sqlite3_column_int64(statement(), m_index);
}

double TSelfQuery::TField::AsFloat() const
{
    return IsNull() ? 0.0 : sqlite3_column_double(statement(), m_index);
}

QString TSelfQuery::TField::AsString() const
{
    if (IsNull())
        return QString();
    sqlite3_stmt* stmt = statement();
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, m_index));
    const int size = sqlite3_column_bytes(stmt, m_index);
    return QString::fromUtf8(text, size);
}
