#pragma once

#include <QStringList>

class CliContext;

/// host add | edit | delete: the host tree's commands for scripts.
class CliHosts
{
public:
    explicit CliHosts(CliContext& context) : m_context(context) {}

    /// arguments start with the action word. Returns the exit code; throws CliError.
    int run(const QStringList& arguments);

private:
    int add(const QStringList& arguments);
    int edit(const QStringList& arguments);
    int remove(const QStringList& arguments);

    CliContext& m_context;
};
