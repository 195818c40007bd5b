#pragma once

#include "core/Elevation.h"

#include <QString>

/// Whether loginName may follow "passwd " unchanged: letters, digits, ".", "_" and "-" only.
bool IsPlainLoginName(const QString& loginName);

/// loginName as one word of the POSIX shell: plain names unchanged, any other text (including the
/// empty name) in single quotes with each ' written as '\''.
QString QuoteForShell(const QString& loginName);

/// The command a manager account runs to change loginName's password: "passwd " and the quoted name.
QString ManagerPasswdCommand(const QString& loginName);

/// The command a manager account runs to change loginName's password with elevation: the manager
/// command itself, "sudo " before it, or "su - root -c " with it quoted once more, so that the name
/// is still one word after su's shell has split the command.
QString ElevatedPasswdCommand(TElevation elevation, const QString& loginName);
