#pragma once

#include <QStringList>

class CliContext;

/// generate SELECTION [--print-only]: new pending passwords, as the user list's "Generate new
/// password" makes them.
class CliGenerate
{
public:
    explicit CliGenerate(CliContext& context) : m_context(context) {}

    /// Returns the exit code; throws CliError.
    int run(const QStringList& arguments);

private:
    CliContext& m_context;
};
