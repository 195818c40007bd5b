#include "tools/CliTransaction.h"

#include "core/DatabaseError.h"
#include "core/TDBSession.h"
#include "tools/CliError.h"
#include "tools/CliUiServices.h"

CliTransaction::CliTransaction(TDBSession& session) : m_session(session)
{
    try {
        m_session.StartTransaction();
        m_open = true;
    } catch (const DatabaseError& error) {
        throw CliError::failure(CliUiServices::DatabaseFailureLine(error.message()));
    }
}

CliTransaction::~CliTransaction()
{
    rollback();
}

void CliTransaction::commit()
{
    try {
        m_session.Commit();
        m_open = false;
    } catch (const DatabaseError& error) {
        rollback();
        throw CliError::failure(CliUiServices::DatabaseFailureLine(error.message()) +
                                QStringLiteral("; nothing was stored"));
    }
}

void CliTransaction::rollback() noexcept
{
    if (!m_open)
        return;
    m_open = false;
    try {
        m_session.Rollback();
    } catch (const DatabaseError&) {
        // The engine has ended the transaction itself; nothing is left to undo.
    }
}
