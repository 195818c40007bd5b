#pragma once

#include <QStringList>

class CliContext;

/// list [--json]: what the database holds, without any password.
class CliList
{
public:
    explicit CliList(CliContext& context) : m_context(context) {}

    /// Returns the exit code; throws CliError.
    int run(const QStringList& arguments);

private:
    CliContext& m_context;
};
