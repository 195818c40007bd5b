#include "tools/CliCsv.h"

#include <QStringDecoder>

namespace {

bool isLineBreak(char c)
{
    return c == '\n' || c == '\r';
}

/// Reads the fields of one record at a time, keeping the line count across quoted line breaks.
class CsvScanner
{
public:
    explicit CsvScanner(const QByteArray& data) : m_data(data)
    {
        if (m_data.startsWith("\xEF\xBB\xBF"))
            m_pos = 3; // a byte-order mark written by spreadsheet programs
    }

    bool atEnd() const { return m_pos >= m_data.size(); }

    /// Reads one record; false when a quoted field ran to the end of the file.
    bool readRecord(CliCsv::Document& document)
    {
        CsvRecord record;
        record.line = m_line;
        bool invalidText = false;
        bool anyQuoted = false;
        while (true) {
            QByteArray field;
            bool quoted = false;
            if (!readField(field, quoted, document))
                return false;
            anyQuoted = anyQuoted || quoted;
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            QString text = decoder.decode(field);
            if (decoder.hasError())
                invalidText = true;
            record.fields.append(std::move(text));
            if (atEnd())
                break;
            const char c = m_data[m_pos];
            if (c == ',') {
                ++m_pos;
                continue;
            }
            skipLineBreak();
            break;
        }
        if (invalidText)
            document.problems.append(
                {record.line, QStringLiteral("the text is not valid UTF-8; save the file as UTF-8")});
        const bool blankLine = record.fields.size() == 1 && record.fields[0].isEmpty() && !anyQuoted;
        if (!blankLine)
            document.records.append(std::move(record));
        return true;
    }

private:
    void skipLineBreak()
    {
        if (m_pos < m_data.size() && m_data[m_pos] == '\r')
            ++m_pos;
        if (m_pos < m_data.size() && m_data[m_pos] == '\n')
            ++m_pos;
        ++m_line;
    }

    bool readField(QByteArray& field, bool& quoted, CliCsv::Document& document)
    {
        if (m_pos < m_data.size() && m_data[m_pos] == '"') {
            quoted = true;
            const int startLine = m_line;
            ++m_pos;
            while (true) {
                if (m_pos >= m_data.size()) {
                    document.problems.append(
                        {startLine, QStringLiteral("unbalanced quotes: the quoted field that starts on this line is "
                                                   "never closed; add the closing quote")});
                    return false;
                }
                const char c = m_data[m_pos++];
                if (c == '"') {
                    if (m_pos < m_data.size() && m_data[m_pos] == '"') {
                        field.append('"');
                        ++m_pos;
                        continue;
                    }
                    break;
                }
                if (c == '\r' && m_pos < m_data.size() && m_data[m_pos] == '\n') {
                    field.append('\r');
                    continue; // the LF that follows counts the line
                }
                if (isLineBreak(c))
                    ++m_line;
                field.append(c);
            }
            if (m_pos < m_data.size() && m_data[m_pos] != ',' && !isLineBreak(m_data[m_pos])) {
                document.problems.append(
                    {m_line, QStringLiteral("text after the closing quote of a field; quote the whole field and "
                                            "double the quotes inside it")});
                readPlain(field, document, false);
            }
            return true;
        }
        readPlain(field, document, true);
        return true;
    }

    void readPlain(QByteArray& field, CliCsv::Document& document, bool reportQuotes)
    {
        bool reported = !reportQuotes;
        while (m_pos < m_data.size()) {
            const char c = m_data[m_pos];
            if (c == ',' || isLineBreak(c))
                break;
            if (c == '"' && !reported) {
                document.problems.append(
                    {m_line, QStringLiteral("a quote inside a field that does not start with one; put the whole "
                                            "field in quotes and double the quote")});
                reported = true;
            }
            field.append(c);
            ++m_pos;
        }
    }

    const QByteArray& m_data;
    qsizetype m_pos = 0;
    int m_line = 1;
};

bool needsQuotes(const QString& field)
{
    if (field.isEmpty())
        return false;
    if (field.front().isSpace() || field.back().isSpace())
        return true;
    for (const QChar c : field)
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            return true;
    return false;
}

} // namespace

CliCsv::Document CliCsv::parse(const QByteArray& data)
{
    Document document;
    CsvScanner scanner(data);
    while (!scanner.atEnd())
        if (!scanner.readRecord(document))
            break;
    return document;
}

QByteArray CliCsv::formatRecord(const QStringList& fields)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line.append(',');
        const QString& field = fields[i];
        if (needsQuotes(field)) {
            QString doubled = field;
            doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            line.append('"').append(doubled.toUtf8()).append('"');
        } else {
            line.append(field.toUtf8());
        }
    }
    line.append("\r\n");
    return line;
}
