#pragma once

class TDBSession;

/// One database transaction of a command: begun on construction, rolled back on destruction
/// unless commit() went through, so an error anywhere leaves nothing stored.
class CliTransaction
{
public:
    /// Begins the transaction; throws a CliError when the database refuses.
    explicit CliTransaction(TDBSession& session);
    ~CliTransaction();
    CliTransaction(const CliTransaction&) = delete;
    CliTransaction& operator=(const CliTransaction&) = delete;

    /// Commits; throws a CliError (after rolling back) when the database refuses, e.g. when locked.
    void commit();

private:
    void rollback() noexcept;

    TDBSession& m_session;
    bool m_open = false;
};
