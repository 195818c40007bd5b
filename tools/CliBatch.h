#pragma once

#include "engine/TActionStaus.h"

#include <QStringList>

class CliContext;

/// test-login | change-password | verify | send-mail SELECTION: the runner window's batch, run by the very
/// same runner, shown as lines on the console. Ctrl+C acts as its Stop button.
class CliBatch
{
public:
    CliBatch(CliContext& context, TOperationType type) : m_context(context), m_type(type) {}

    /// Returns 0 when every user succeeded, 1 otherwise; throws CliError.
    int run(const QStringList& arguments);

    /// The command word of an operation ("test-login", ...).
    static QString CommandName(TOperationType type);

private:
    CliContext& m_context;
    TOperationType m_type;
};
