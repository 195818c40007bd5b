#include "engine/TranscriptRedactor.h"

#include <QString>

QByteArray FoldAsciiCase(QByteArray bytes)
{
    for (char& c : bytes)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return bytes;
}

void TranscriptRedactor::Reset()
{
    m_secrets.clear();
    m_outputs.clear();
}

void TranscriptRedactor::AddSecret(const SecretBuffer& secret)
{
    if (secret.bytes().isEmpty())
        return;
    SecretBuffer folded(FoldAsciiCase(secret.bytes()));
    for (const SecretBuffer& known : m_secrets)
        if (known.bytes() == folded.bytes())
            return;
    m_secrets.append(std::move(folded));
}

QList<QByteArray> TranscriptRedactor::Append(const QByteArray& received)
{
    m_outputs.append(received);
    if (m_secrets.isEmpty())
        return m_outputs;
    // Redacted over the whole conversation, then cut back into its waits.
    QByteArray all = m_outputs.join();
    QByteArray mask(all.size(), '\0');
    for (const SecretBuffer& secret : m_secrets) {
        const QByteArray& wanted = secret.bytes();
        for (qsizetype at = all.indexOf(wanted); at >= 0; at = all.indexOf(wanted, at + 1))
            for (qsizetype i = at; i < at + wanted.size(); ++i)
                mask[i] = 1;
    }
    QList<QByteArray> redacted;
    qsizetype offset = 0;
    for (const QByteArray& output : m_outputs) {
        QByteArray shown = output;
        for (qsizetype i = 0; i < shown.size(); ++i)
            if (mask[offset + i])
                shown[i] = '*';
        offset += output.size();
        redacted.append(shown);
    }
    all.fill('\0');
    return redacted;
}

QByteArray TranscriptRedactor::Redacted(const QByteArray& received) const
{
    TranscriptRedactor copy = *this;
    return copy.Append(received).constLast();
}
