#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

/// One record of a CSV file and the line it starts on (1 is the first line of the file).
struct CsvRecord
{
    int line = 0;
    QStringList fields;
};

/// Something wrong with the file at a line.
struct CsvProblem
{
    int line = 0;
    QString message;
    bool operator==(const CsvProblem&) const = default;
};

/// RFC 4180 comma-separated values in UTF-8: fields in double quotes may hold commas, doubled
/// quotes and line breaks; records end in CR LF (a lone LF is taken too). Pure functions, no I/O.
class CliCsv
{
public:
    struct Document
    {
        QList<CsvRecord> records;   ///< the header row first; blank lines are skipped
        QList<CsvProblem> problems; ///< every problem found, in line order
    };

    /// Reads a whole file. A quoted field that is never closed ends the reading there.
    static Document parse(const QByteArray& data);
    /// One record with its CR LF; fields are quoted only when they need it.
    static QByteArray formatRecord(const QStringList& fields);
};
