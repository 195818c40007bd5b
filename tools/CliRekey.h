#pragma once

#include <QStringList>

class CliContext;

/// rekey --new-password-file FILE | --builtin: puts the database under a password of the user's
/// (which becomes the program password too) or returns it to the built-in key.
class CliRekey
{
public:
    explicit CliRekey(CliContext& context) : m_context(context) {}

    /// Returns the exit code; throws CliError.
    int run(const QStringList& arguments);

private:
    CliContext& m_context;
};
