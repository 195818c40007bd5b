#pragma once

#include <QList>
#include <QString>

/// Reads and edits an OpenSSH-format known_hosts file: which entries name a host, their keys'
/// fingerprints, and replacing or removing them when the user decides on a host's key.
class KnownHostsFile
{
public:
    /// One key recorded for a host.
    struct RecordedKey
    {
        int line = 0;        ///< line number, from 1
        QString type;        ///< "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...
        QString fingerprint; ///< "SHA256:" and the unpadded base64 of the key's SHA-256, as ssh-keygen -l shows it
    };

    /// The name a host is recorded under: "address" for port 22, "[address]:port" otherwise.
    static QString HostPattern(const QString& address, int port);
    /// Line numbers (from 1) of the entries that name the host and port, hashed entries included;
    /// empty when the file cannot be read or holds none.
    static QList<int> LinesFor(const QString& path, const QString& address, int port);
    /// The error text for a changed host key: what happened, that it may be an attack, and which
    /// lines of which file to remove when the change is expected.
    static QString ChangedKeyMessage(const QString& path, const QString& address, int port);

    /// The fingerprint of a public key given as the base64 text of a known_hosts entry.
    static QString Fingerprint(const QByteArray& base64Key);
    /// The keys recorded for the host and port (not those of @cert-authority or @revoked lines).
    static QList<RecordedKey> RecordedKeys(const QString& path, const QString& address, int port);
    /// Takes the host and port out of every entry that names it (an entry naming other hosts too keeps
    /// them) and, when entry is not empty, appends entry as a line of its own. The file is rewritten
    /// whole (created 0600, its folder 0700, when missing). Returns an error text that names the file,
    /// empty on success; removed (when given) receives the number of entries taken out.
    static QString Replace(const QString& path, const QString& address, int port, const QString& entry,
                           int* removed = nullptr);
};
