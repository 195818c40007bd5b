#pragma once

#include "tools/CliCsv.h"

#include <QHash>
#include <QStringList>

class CliContext;

/// import hosts|users FILE.csv: the whole file in one transaction, or nothing at all.
class CliImport
{
public:
    explicit CliImport(CliContext& context) : m_context(context) {}

    /// Returns the exit code; throws CliError.
    int run(const QStringList& arguments);

    /// The header of a file mapped to column positions; problems for unknown, repeated or
    /// missing columns are added to problems (all on line 1).
    static QHash<QString, int> ReadHeader(const CsvRecord& header, const QStringList& known,
                                          const QStringList& required, QList<CsvProblem>& problems);

private:
    int importHosts(const QList<CsvRecord>& records, const QHash<QString, int>& columns, QList<CsvProblem>& problems);
    int importUsers(const QList<CsvRecord>& records, const QHash<QString, int>& columns, QList<CsvProblem>& problems);

    CliContext& m_context;
};
