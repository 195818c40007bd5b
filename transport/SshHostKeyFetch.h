#pragma once

#include <QString>

/// A server's host key as its key exchange presented it.
struct SshHostKey
{
    /// "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa", ...
    QString type;
    /// "SHA256:" and the unpadded base64 of the key's SHA-256, as ssh-keygen -l and OpenSSH show it.
    QString fingerprint;
    /// The known_hosts line that records the key for the address and port, as libssh writes it.
    QString entry;
};

/// Connects to address:port, completes the key exchange without logging in, and returns the key the
/// server presented. Nothing is checked against or written to any known_hosts file: what to do with
/// the key is the caller's decision. Throws SshError (Failed) with a message that says what to check.
SshHostKey FetchHostKey(const QString& address, int port, int timeoutSeconds = 15);
