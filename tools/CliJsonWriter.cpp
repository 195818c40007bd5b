#include "tools/CliJsonWriter.h"

void CliJsonWriter::separate()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_needComma)
        m_buffer.append(',');
    if (m_pendingNewline) {
        m_buffer.append('\n');
        m_pendingNewline = false;
    }
}

void CliJsonWriter::open(char bracket)
{
    separate();
    m_buffer.append(bracket);
    m_needComma = false;
}

void CliJsonWriter::close(char bracket)
{
    if (m_pendingNewline) {
        m_buffer.append('\n');
        m_pendingNewline = false;
    }
    m_buffer.append(bracket);
    m_needComma = true;
}

void CliJsonWriter::key(const char* name)
{
    separate();
    m_buffer.append('"').append(name).append("\":");
    m_afterKey = true;
}

void CliJsonWriter::value(const QString& text)
{
    separate();
    AppendString(m_buffer, text);
    m_needComma = true;
}

void CliJsonWriter::value(qint64 number)
{
    separate();
    m_buffer.append(QByteArray::number(number));
    m_needComma = true;
}

void CliJsonWriter::value(bool flag)
{
    separate();
    m_buffer.append(flag ? "true" : "false");
    m_needComma = true;
}

void CliJsonWriter::null()
{
    separate();
    m_buffer.append("null");
    m_needComma = true;
}

void CliJsonWriter::AppendString(QByteArray& out, const QString& text)
{
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    out.append('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        default:
            if (byte < 0x20) {
                out.append("\\u00").append(hex[byte >> 4]).append(hex[byte & 15]);
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
}
