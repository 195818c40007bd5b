#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class TDBSession;
struct sqlite3_stmt;

/// A forward-only query on the connection. Set SelectSQL, Open, read the current row, Next until Eof,
/// Close. A statement without result rows is simply executed by Open.
class TSelfQuery
{
public:
    /// What a field needs of its query: the statement while it is open, and a count of the times it
    /// was closed or run again, so that a field kept past that fails instead of reading freed memory.
    struct TStatementState
    {
        sqlite3_stmt* stmt = nullptr;
        quint64 generation = 0;
    };

    /// One column of the current row.
    class TField
    {
    public:
        /// A field of no query: reads as NULL.
        TField() = default;
        TField(std::shared_ptr<const TStatementState> state, int index)
            : m_state(std::move(state)), m_generation(m_state ? m_state->generation : 0), m_index(index)
        {
        }
        bool IsNull() const;
        /// NULL reads as 0.
        int AsInteger() const;
        qint64 AsLargeInt() const;
        double AsFloat() const;
        /// NULL reads as empty.
        QString AsString() const;

    private:
        /// The statement to read, or null for NULL; throws DatabaseError when the query was closed,
        /// run again or destroyed since this field was taken.
        sqlite3_stmt* statement() const;

        std::shared_ptr<const TStatementState> m_state;
        quint64 m_generation = 0;
        int m_index = 0;
    };

    explicit TSelfQuery(TDBSession& session);
    ~TSelfQuery();
    TSelfQuery(const TSelfQuery&) = delete;
    TSelfQuery& operator=(const TSelfQuery&) = delete;

    QString SelectSQL;

    /// Runs SelectSQL; throws DatabaseError with the engine's message on failure (the query stays closed).
    void Open();
    void Close();
    bool Active() const { return m_stmt != nullptr; }

    /// Runs the statement again from its first row.
    void First();
    void Next();
    /// True when no current row remains.
    bool Eof() const { return m_eof; }

    /// Column by name, matched without regard to case; throws DatabaseError when there is none.
    TField FieldByName(const QString& name) const;
    /// Column by position (0 is the first).
    TField Fields(int index) const;
    /// Position of a column, matched without regard to case; throws DatabaseError when there is none.
    int FieldIndex(const QString& name) const;
    int FieldCount() const { return static_cast<int>(m_names.size()); }

private:
    void step();
    [[noreturn]] void fail();

    struct StatementDeleter
    {
        void operator()(sqlite3_stmt* stmt) const;
    };

    TDBSession& m_session;
    std::shared_ptr<TStatementState> m_state = std::make_shared<TStatementState>();
    std::unique_ptr<sqlite3_stmt, StatementDeleter> m_stmtOwner;
    sqlite3_stmt* m_stmt = nullptr;
    QList<QByteArray> m_names; // lower-cased column names
    bool m_eof = true;
};
