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

/// The command a manager account runs to read loginName's shadow entry: "getent shadow " and the
/// quoted name.
QString ManagerShadowCommand(const QString& loginName);

/// The command a manager account runs to read loginName's passwd entry, which every account may read:
/// "getent passwd " and the quoted name.
QString ManagerPasswdEntryCommand(const QString& loginName);

/// command as the manager runs it with elevation: unchanged, behind "sudo -p " and the quoted
/// sudoPrompt (so that sudo's prompt is known in any language), or as the one argument of
/// "su - root -c ", quoted once more for root's shell.
QString ElevatedManagerCommand(TElevation elevation, const QString& command, const QString& sudoPrompt);
