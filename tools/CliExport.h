#pragma once

#include <QStringList>

class CliContext;

/// export hosts|users FILE.csv: the import formats, with the password columns left empty.
class CliExport
{
public:
    explicit CliExport(CliContext& context) : m_context(context) {}

    /// Returns the exit code; throws CliError.
    int run(const QStringList& arguments);

private:
    CliContext& m_context;
};
