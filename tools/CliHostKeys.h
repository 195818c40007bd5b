#pragma once

#include <QString>
#include <QStringList>

/// host trust | forget: the user's decisions on a host's SSH key, kept in the known_hosts file of the
/// data folder (the one the program and every batch check hosts against). They need no database.
namespace CliHostKeys {

/// The known_hosts file the program uses.
QString KnownHostsPath();

/// host trust ADDRESS[:PORT] [--fingerprint SHA256:...]: fetches the key the host presents now, prints
/// its type and fingerprint and records it, replacing any key recorded for that address and port.
/// With --fingerprint the key is recorded only when it has that fingerprint. Returns the exit code.
int Trust(const QStringList& arguments);

/// host forget ADDRESS[:PORT]: removes every key recorded for that address and port.
int Forget(const QStringList& arguments);

} // namespace CliHostKeys
