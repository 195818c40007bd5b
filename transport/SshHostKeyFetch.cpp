#include "transport/SshHostKeyFetch.h"

#include "transport/KnownHostsFile.h"
#include "transport/SshHandles.h"
#include "transport/SshTransport.h"

#include <memory>

namespace {

struct SshKeyDeleter
{
    void operator()(ssh_key key) const { ssh_key_free(key); }
};
using SshKeyHandle = std::unique_ptr<ssh_key_struct, SshKeyDeleter>;

/// Text that libssh allocated and the caller must free.
struct SshTextDeleter
{
    void operator()(char* text) const { ssh_string_free_char(text); }
};
using SshText = std::unique_ptr<char, SshTextDeleter>;

QString errorOf(ssh_session session)
{
    const char* text = ssh_get_error(session);
    return text && *text ? QString::fromUtf8(text) : QStringLiteral("no further detail");
}

} // namespace

SshHostKey FetchHostKey(const QString& address, int port, int timeoutSeconds)
{
    const QString endpoint = QStringLiteral("%1:%2").arg(address).arg(port);
    SshSessionHandle session(ssh_new());
    if (!session)
        throw SshError(SshError::Kind::Failed, QStringLiteral("Cannot create an SSH session (out of memory)."));
    ssh_session s = session.get();
    const QByteArray host = address.toUtf8();
    const unsigned int portNumber = static_cast<unsigned int>(port);
    const long timeout = timeoutSeconds;
    const bool processConfig = false;
    // No known_hosts at all: the key is only looked at here, never judged or recorded.
    const bool configured = ssh_options_set(s, SSH_OPTIONS_HOST, host.constData()) == SSH_OK &&
                            ssh_options_set(s, SSH_OPTIONS_PORT, &portNumber) == SSH_OK &&
                            ssh_options_set(s, SSH_OPTIONS_PROCESS_CONFIG, &processConfig) == SSH_OK &&
                            ssh_options_set(s, SSH_OPTIONS_KNOWNHOSTS, "/dev/null") == SSH_OK &&
                            ssh_options_set(s, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null") == SSH_OK &&
                            ssh_options_set(s, SSH_OPTIONS_TIMEOUT, &timeout) == SSH_OK;
    if (!configured)
        throw SshError(SshError::Kind::Failed,
                       QStringLiteral("Cannot prepare the SSH session for %1: %2.").arg(endpoint, errorOf(s)));
    if (ssh_connect(s) != SSH_OK)
        throw SshError(SshError::Kind::Failed,
                       QStringLiteral("Cannot fetch the host key of %1: %2. Check the address, the port and that "
                                      "an SSH server answers there.")
                           .arg(endpoint, errorOf(s)));

    ssh_key rawKey = nullptr;
    if (ssh_get_server_publickey(s, &rawKey) != SSH_OK)
        throw SshError(SshError::Kind::Failed,
                       QStringLiteral("%1 presented no host key: %2.").arg(endpoint, errorOf(s)));
    const SshKeyHandle key(rawKey);
    char* rawBase64 = nullptr;
    if (ssh_pki_export_pubkey_base64(key.get(), &rawBase64) != SSH_OK)
        throw SshError(SshError::Kind::Failed, QStringLiteral("The host key of %1 cannot be read.").arg(endpoint));
    const SshText base64(rawBase64);
    char* rawEntry = nullptr;
    if (ssh_session_export_known_hosts_entry(s, &rawEntry) != SSH_OK)
        throw SshError(SshError::Kind::Failed,
                       QStringLiteral("The host key of %1 cannot be written as a known_hosts entry: %2.")
                           .arg(endpoint, errorOf(s)));
    const SshText entry(rawEntry);

    SshHostKey result;
    result.type = QString::fromLatin1(ssh_key_type_to_char(ssh_key_type(key.get())));
    result.fingerprint = KnownHostsFile::Fingerprint(QByteArray(base64.get()));
    result.entry = QString::fromUtf8(entry.get()).trimmed();
    return result;
}
