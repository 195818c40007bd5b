#pragma once

#include <QString>

/// How VisibleControlCharacters treats line breaks and tabs.
enum class TLineBreaks
{
    Keep,    ///< CR, LF and TAB stay as they are (multi-line texts: transcripts, viewers)
    Visible, ///< they are shown as "\r", "\n", "\t" too (one-line outputs)
};

/// text with NUL shown as "\0" and every other control character (C0, DEL and C1) as "\xHH", so that
/// text from a host or a file neither cuts an SQL statement short nor drives a terminal.
QString VisibleControlCharacters(const QString& text, TLineBreaks lineBreaks = TLineBreaks::Keep);
