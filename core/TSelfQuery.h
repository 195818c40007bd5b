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
    /// One column of the current row.
    class TField
    {
    public:
        TField(sqlite3_stmt* stmt, int index) : m_stmt(stmt), m_index(index) {}
        bool IsNull() const;
        /// NULL reads as 0.
        int AsInteger() const;
        qint64 AsLargeInt() const;
        double AsFloat() const;
        /// NULL reads as empty.
        QString AsString() const;

    private:
        sqlite3_stmt* m_stmt;
        int m_index;
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
    std::unique_ptr<sqlite3_stmt, StatementDeleter> m_stmtOwner;
    sqlite3_stmt* m_stmt = nullptr;
    QList<QByteArray> m_names; // lower-cased column names
    bool m_eof = true;
};
