#pragma once

#include <QStringList>

class CliContext;

/// user add | edit | delete: the user editor's and the user list's commands for scripts.
class CliUsers
{
public:
    explicit CliUsers(CliContext& context) : m_context(context) {}

    /// arguments start with the action word. Returns the exit code; throws CliError.
    int run(const QStringList& arguments);

private:
    int add(const QStringList& arguments);
    int edit(const QStringList& arguments);
    int remove(const QStringList& arguments);

    CliContext& m_context;
};
