#pragma once

#include <QByteArray>
#include <QString>

/// The most bytes (UTF-8) a password may have; a longer one is refused, never cut.
constexpr qsizetype MaxPasswordBytes = 4096;

/// Why password cannot be stored to be sent to a host, or empty when it can: a control character
/// (below 0x20, or DEL) would end or change the line that passwd reads (a CR keeps only what stands
/// before it), and more than MaxPasswordBytes bytes are refused.
QString PasswordProblem(const QString& password);

/// PasswordProblem for raw bytes read from a file or a pipe, which must also be valid UTF-8.
QString PasswordBytesProblem(const QByteArray& bytes);
