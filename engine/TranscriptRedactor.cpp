#include "engine/TranscriptRedactor.h"

#include <QChar>
#include <QString>

#include <algorithm>

namespace {

constexpr char32_t kNoUtf8 = 0xFFFFFFFF;

/// Where one byte of a compared form came from: bytes [from, to) of the output.
struct Origin
{
    qsizetype from;
    qsizetype to;
};

/// Overwrites text (it held a secret or host output that may hold one) and empties it.
void Wipe(QString& text)
{
    std::fill(text.begin(), text.end(), QChar());
    text.resize(0);
}

/// Bytes that the escape sequence or invisible control character at bytes[at] takes, or 0 when a
/// character that a terminal shows starts there.
qsizetype InvisibleLength(const QByteArray& bytes, qsizetype at)
{
    const qsizetype size = bytes.size();
    const auto byte = [&bytes](qsizetype i) {
        return static_cast<unsigned char>(bytes[i]);
    };
    const unsigned char first = byte(at);
    if (first != 0x1B) {
        // Controls that move the cursor change what shows; the others show as nothing.
        const bool moves =
            first == '\b' || first == '\t' || first == '\n' || first == '\v' || first == '\f' || first == '\r';
        return (first < 0x20 && !moves) || first == 0x7F ? 1 : 0;
    }
    qsizetype i = at + 1;
    if (i == size)
        return 1;
    const unsigned char kind = byte(i);
    if (kind == '[') {
        // CSI: parameters and intermediates, then one final byte.
        for (++i; i < size && byte(i) >= 0x20 && byte(i) <= 0x3F; ++i) {
        }
        return (i < size && byte(i) >= 0x40 && byte(i) <= 0x7E ? i + 1 : i) - at;
    }
    // OSC, DCS, SOS, PM, APC (their letters may come folded to lower case): a string up to BEL or ST.
    if (kind == ']' || kind == 'P' || kind == 'p' || kind == 'X' || kind == 'x' || kind == '^' || kind == '_') {
        for (++i; i < size; ++i) {
            if (byte(i) == 0x07)
                return i + 1 - at;
            if (byte(i) == 0x1B && i + 1 < size && byte(i + 1) == '\\')
                return i + 2 - at;
        }
        return size - at;
    }
    // ESC, intermediates, one final byte: "\x1b7", "\x1b(b".
    for (; i < size && byte(i) >= 0x20 && byte(i) <= 0x2F; ++i) {
    }
    return (i < size && byte(i) >= 0x30 && byte(i) <= 0x7E ? i + 1 : i) - at;
}

/// The code point that starts at bytes[at] and its length; kNoUtf8 and 1 for a byte that starts none.
qsizetype DecodeUtf8(const QByteArray& bytes, qsizetype at, char32_t& code)
{
    const unsigned char lead = static_cast<unsigned char>(bytes[at]);
    code = kNoUtf8;
    if (lead < 0x80) {
        code = lead;
        return 1;
    }
    const int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || at + length > bytes.size())
        return 1;
    char32_t value = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(bytes[at + k]);
        if ((next & 0xC0) != 0x80)
            return 1;
        value = (value << 6) | (next & 0x3F);
    }
    static constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kShortest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 1;
    code = value;
    return length;
}

/// bytes as they are compared: case-folded and canonically decomposed (NFD), bytes that are no UTF-8
/// kept as they are, and with withoutEscapes no escape sequences or invisible controls. origins, when
/// given, gets where each byte of the form came from.
QByteArray Comparable(const QByteArray& bytes, bool withoutEscapes, QList<Origin>* origins)
{
    QByteArray form;
    form.reserve(bytes.size());
    if (origins)
        origins->reserve(bytes.size());
    // A base character and the combining marks after it: decomposition may put the marks in another
    // order, so they are folded as one.
    QString cluster;
    qsizetype clusterFrom = 0;
    qsizetype clusterTo = 0;
    const auto add = [&](const QByteArray& piece, qsizetype from, qsizetype to) {
        form += piece;
        if (origins)
            origins->insert(origins->size(), piece.size(), Origin{from, to});
    };
    const auto flush = [&] {
        if (cluster.isEmpty())
            return;
        if (cluster.size() == 1 && cluster[0].unicode() < 0x80) {
            add(QByteArray(1, static_cast<char>(cluster[0].toLower().unicode())), clusterFrom, clusterTo);
        } else {
            // Upper case first: Qt folds each character to one, but upper-cases "ß" to "SS" as a host may.
            QString folded = cluster.normalized(QString::NormalizationForm_D)
                                 .toUpper()
                                 .toCaseFolded()
                                 .normalized(QString::NormalizationForm_D);
            QByteArray piece = folded.toUtf8();
            add(piece, clusterFrom, clusterTo);
            piece.fill('\0');
            Wipe(folded);
        }
        Wipe(cluster);
    };
    for (qsizetype at = 0; at < bytes.size();) {
        if (withoutEscapes) {
            if (const qsizetype skipped = InvisibleLength(bytes, at)) {
                at += skipped;
                continue;
            }
        }
        char32_t code = 0;
        const qsizetype length = DecodeUtf8(bytes, at, code);
        if (code == kNoUtf8) {
            flush();
            add(bytes.mid(at, 1), at, at + 1);
            ++at;
            continue;
        }
        if (QChar::combiningClass(code) == 0)
            flush();
        if (cluster.isEmpty())
            clusterFrom = at;
        cluster.append(QChar::fromUcs4(code));
        clusterTo = at + length;
        at += length;
    }
    flush();
    return form;
}

} // namespace

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
    Forms forms{SecretBuffer(Comparable(secret.bytes(), false, nullptr)),
                SecretBuffer(Comparable(secret.bytes(), true, nullptr))};
    for (const Forms& known : m_secrets)
        if (known.whole.bytes() == forms.whole.bytes() && known.withoutEscapes.bytes() == forms.withoutEscapes.bytes())
            return;
    m_secrets.append(std::move(forms));
}

QList<QByteArray> TranscriptRedactor::Append(const QByteArray& received)
{
    m_outputs.append(received);
    if (m_secrets.isEmpty())
        return m_outputs;
    // Redacted over the whole conversation, then cut back into its waits.
    QByteArray all = m_outputs.join();
    QByteArray mask(all.size(), '\0');
    for (const bool withoutEscapes : {false, true}) {
        QList<Origin> origins;
        QByteArray form = Comparable(all, withoutEscapes, &origins);
        for (const Forms& secret : m_secrets) {
            const QByteArray& wanted = (withoutEscapes ? secret.withoutEscapes : secret.whole).bytes();
            if (wanted.isEmpty())
                continue;
            // From the first to the last byte the secret took, escapes between its characters included.
            for (qsizetype at = form.indexOf(wanted); at >= 0; at = form.indexOf(wanted, at + 1))
                std::fill(mask.begin() + origins[at].from, mask.begin() + origins[at + wanted.size() - 1].to, char(1));
        }
        form.fill('\0');
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
