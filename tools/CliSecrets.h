#pragma once

#include "core/SecretBuffer.h"

#include <QString>

#include <optional>

/// Passwords for veltrane-cli never come from the command line (other users can read it): they
/// come from standard input, one per line, or from a prompt with echo off when standard input
/// is a terminal.
class CliSecrets
{
public:
    CliSecrets();

    /// The next line, without its line break; nullopt at the end of the input. what names the
    /// secret in the prompt ("Current password for root on 10.0.0.5:22").
    std::optional<SecretBuffer> next(const QString& what);
    /// The next line, which must be there and not be empty; throws a usage error otherwise.
    SecretBuffer require(const QString& what);
    /// The next line, empty when the input has ended.
    SecretBuffer optional(const QString& what);

    bool fromTerminal() const { return m_terminal; }

private:
    std::optional<SecretBuffer> readLine(int fd);

    bool m_terminal;
};
