#pragma once

#include <QByteArray>
#include <QString>

/// Writes JSON text straight into a byte buffer: the list of 10,000 users builds no object tree.
/// The caller keeps the nesting right; the writer adds the commas between members and items.
class CliJsonWriter
{
public:
    void beginObject() { open('{'); }
    void endObject() { close('}'); }
    void beginArray() { open('['); }
    void endArray() { close(']'); }

    /// Starts a member of the current object; the value follows with one of the value calls.
    void key(const char* name);
    void value(const QString& text);
    void value(qint64 number);
    void value(bool flag);
    void null();
    /// A line break before the next item (after its comma), so every item stands on its own line.
    void newline() { m_pendingNewline = true; }

    const QByteArray& text() const { return m_buffer; }
    void reserve(qsizetype bytes) { m_buffer.reserve(bytes); }

    /// text as a JSON string literal, quotes included.
    static void AppendString(QByteArray& out, const QString& text);

private:
    void open(char bracket);
    void close(char bracket);
    void separate();

    QByteArray m_buffer;
    bool m_needComma = false;
    bool m_afterKey = false;
    bool m_pendingNewline = false;
};
