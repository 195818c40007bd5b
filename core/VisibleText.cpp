#include "core/VisibleText.h"

QString VisibleControlCharacters(const QString& text, TLineBreaks lineBreaks)
{
    const auto isControl = [](char16_t code) {
        return code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0);
    };
    bool clean = true;
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (isControl(code) && !(lineBreaks == TLineBreaks::Keep && (code == '\r' || code == '\n' || code == '\t'))) {
            clean = false;
            break;
        }
    }
    if (clean)
        return text;

    QString shown;
    shown.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (!isControl(code)) {
            shown += c;
            continue;
        }
        switch (code) {
        case 0:
            shown += QStringLiteral("\\0");
            break;
        case '\r':
        case '\n':
        case '\t':
            if (lineBreaks == TLineBreaks::Keep)
                shown += c;
            else
                shown += code == '\r'   ? QStringLiteral("\\r")
                         : code == '\n' ? QStringLiteral("\\n")
                                        : QStringLiteral("\\t");
            break;
        default:
            shown += QStringLiteral("\\x%1").arg(static_cast<int>(code), 2, 16, QLatin1Char('0'));
        }
    }
    return shown;
}
