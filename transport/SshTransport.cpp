#include "transport/SshTransport.h"

#include "transport/CancelSignal.h"
#include "transport/KnownHostsFile.h"
#include "transport/SshHandles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <linux/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstddef>

namespace {

/// Keyboard-interactive rounds before a server that keeps asking is given up on.
constexpr int kMaxKeyboardRounds = 16;
/// Longest wait for the send window when writing input.
constexpr int kWriteLimitMs = 5000;

/// Longest sleep of a wait on the channel before libssh is asked again: bytes it already holds (read
/// along with an earlier packet, or taken in during a write) never wake a poll() on the socket.
constexpr int kWaitSliceMs = 25;

// What libssh 0.10 offers by default, and the SHA-1 algorithms that old systems need on top.
constexpr const char* kKeyExchanges =
    "curve25519-sha256,curve25519-sha256@libssh.org,ecdh-sha2-nistp256,ecdh-sha2-nistp384,ecdh-sha2-nistp521,"
    "diffie-hellman-group18-sha512,diffie-hellman-group16-sha512,diffie-hellman-group-exchange-sha256,"
    "diffie-hellman-group14-sha256,diffie-hellman-group14-sha1,diffie-hellman-group-exchange-sha1,"
    "diffie-hellman-group1-sha1";
constexpr const char* kHostKeys = "ssh-ed25519,ecdsa-sha2-nistp521,ecdsa-sha2-nistp384,ecdsa-sha2-nistp256,"
                                  "rsa-sha2-512,rsa-sha2-256,ssh-rsa,ssh-dss";
constexpr const char* kMacs = "hmac-sha2-256-etm@openssh.com,hmac-sha2-512-etm@openssh.com,hmac-sha2-256,"
                              "hmac-sha2-512,hmac-sha1-etm@openssh.com,hmac-sha1";

bool IsSha1Algorithm(const QString& name)
{
    static const QStringList sha1{QStringLiteral("ssh-rsa"),
                                  QStringLiteral("ssh-dss"),
                                  QStringLiteral("diffie-hellman-group1-sha1"),
                                  QStringLiteral("diffie-hellman-group14-sha1"),
                                  QStringLiteral("diffie-hellman-group-exchange-sha1"),
                                  QStringLiteral("hmac-sha1"),
                                  QStringLiteral("hmac-sha1-96"),
                                  QStringLiteral("hmac-sha1-etm@openssh.com"),
                                  QStringLiteral("hmac-sha1-96-etm@openssh.com"),
                                  QStringLiteral("ssh-rsa-cert-v01@openssh.com"),
                                  QStringLiteral("ssh-dss-cert-v01@openssh.com")};
    return sha1.contains(name.trimmed());
}

bool SocketConnected(socket_t fd)
{
    if (fd == SSH_INVALID_SOCKET)
        return false;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    return ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

/// Bytes the host sent on this connection so far, as the kernel counted them; 0 when unknown.
quint64 BytesReceived(socket_t fd)
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (fd == SSH_INVALID_SOCKET || ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
        return 0;
    return info.tcpi_bytes_received;
}

} // namespace

QString SshFailureCause(const QString& libsshText, bool legacyAllowed)
{
    const QString folded = libsshText.toLower();
    if (folded.contains(QLatin1String("too many authentication failures")))
        return QStringLiteral("The host closed the login after too many authentication attempts.");
    static const QRegularExpression noMatch(QStringLiteral("no match for method ([^:]+): server \\[([^\\]]*)\\]"));
    if (const QRegularExpressionMatch match = noMatch.match(libsshText); match.hasMatch()) {
        const QString libsshMethod = match.captured(1).trimmed();
        const QString method = libsshMethod.startsWith(QLatin1String("kex"))          ? QStringLiteral("key exchange")
                               : libsshMethod.contains(QLatin1String("host key"))     ? QStringLiteral("host key type")
                               : libsshMethod.startsWith(QLatin1String("encryption")) ? QStringLiteral("cipher")
                               : libsshMethod.startsWith(QLatin1String("mac"))        ? QStringLiteral("MAC")
                                                                                      : libsshMethod;
        QStringList offered;
        // Markers of protocol extensions travel in the key-exchange list; they are no algorithms.
        for (const QString& name : match.captured(2).split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (!name.trimmed().startsWith(QLatin1String("ext-info-")) &&
                !name.trimmed().startsWith(QLatin1String("kex-strict-")))
                offered << name.trimmed();
        const bool onlySha1 = !offered.isEmpty() && std::all_of(offered.cbegin(), offered.cend(), IsSha1Algorithm);
        if (onlySha1 && !legacyAllowed)
            return QStringLiteral(
                       "The host offers only SHA-1 algorithms (%1); allow them for this host if it cannot be "
                       "upgraded.")
                .arg(offered.join(QStringLiteral(", ")));
        return QStringLiteral("The host and this program have no %1 in common (the host offers %2).")
            .arg(method, offered.isEmpty() ? QStringLiteral("none") : offered.join(QStringLiteral(", ")));
    }
    if (folded.contains(QLatin1String("connection refused")))
        return QStringLiteral("The host refused the connection: nothing listens on that port.");
    if (folded.contains(QLatin1String("too large banner")) || folded.contains(QLatin1String("protocol mismatch")) ||
        folded.contains(QLatin1String("banner")))
        return QStringLiteral("The host sent something other than an SSH greeting (%1); check that an SSH server "
                              "listens on that port.")
            .arg(libsshText.left(120).simplified());
    if (folded.contains(QLatin1String("disconnect")) || folded.contains(QLatin1String("socket error")) ||
        folded.contains(QLatin1String("connection reset")))
        return QStringLiteral("The host closed the connection (%1).").arg(libsshText.left(160).simplified());
    return QString();
}

struct SshTransport::Impl
{
    std::shared_ptr<const CancelSignal> cancel;
    SshSessionHandle session; // declared before the channel: the channel is freed first
    SshChannelHandle channel;
    bool tcpConnected = false;
    QString endpoint; // "address:port" for messages
    // Whom the open connection belongs to, so that a later open can tell whether it may reuse it.
    QString connectedAs;
    SecretBuffer connectedPassword;
    bool reused = false;
    QString serverKey;
    bool recordedServerKey = false;
    bool environmentAccepted = true;
    bool hasTerminal = true;
    QString startedCommand;
    bool legacyAlgorithms = false;

    // Timing of the open in progress.
    QElapsedTimer openClock;
    qint64 connectedMs = 0;
    qint64 lastArrivalMs = 0;
    int socketTimeoutMs = 5000;
    int idleTimeoutMs = 15000;

    void close() noexcept
    {
        channel.reset();
        session.reset();
        connectedAs.clear();
        connectedPassword.wipe();
    }

    bool cancelled() const { return cancel && cancel->raised(); }

    [[noreturn]] void abandon()
    {
        close();
        throw SshError(SshError::Kind::Cancelled,
                       QStringLiteral("501 Cancelled: the connection to %1 was abandoned.").arg(endpoint));
    }

    /// Waits up to waitMs for events on the session's socket or for the cancel signal; returns the
    /// socket's events.
    short pollSocket(short events, int waitMs)
    {
        pollfd fds[2] = {{session ? ssh_get_fd(session.get()) : SSH_INVALID_SOCKET, events, 0},
                         {cancel ? cancel->fd() : -1, POLLIN, 0}};
        if (fds[0].fd == SSH_INVALID_SOCKET && fds[1].fd < 0) {
            QThread::msleep(static_cast<unsigned long>(std::min(waitMs, 10)));
            return 0;
        }
        // A negative descriptor is skipped by poll().
        if (::poll(fds, 2, std::max(waitMs, 0)) <= 0)
            return 0;
        return fds[0].revents;
    }

    QString libsshError() const
    {
        const char* text = session ? ssh_get_error(session.get()) : nullptr;
        return text && *text ? QString::fromUtf8(text) : QStringLiteral("no further detail");
    }

    [[noreturn]] void fail(const QString& message)
    {
        close();
        throw SshError(SshError::Kind::Failed, message);
    }

    /// Fails with the cause libssh's last error names, or with fallback (which quotes that error).
    [[noreturn]] void failWithCause(const QString& fallback, SshError::Kind kind = SshError::Kind::Failed)
    {
        const QString cause = SshFailureCause(libsshError(), legacyAlgorithms);
        close();
        throw SshError(kind, cause.isEmpty() ? fallback : cause);
    }

    void noteTcpState()
    {
        if (!tcpConnected && session && SocketConnected(ssh_get_fd(session.get()))) {
            tcpConnected = true;
            connectedMs = lastArrivalMs = openClock.elapsed();
        }
    }

    /// One wait step of the open: enforces the connect and idle limits and blocks until the socket
    /// is ready, the cancel signal is raised or the nearest limit passes. Throws when a limit passes
    /// or on cancel.
    void waitStep(const char* stage)
    {
        noteTcpState();
        const qint64 now = openClock.elapsed();
        qint64 left = 0;
        if (!tcpConnected) {
            left = socketTimeoutMs - now;
            if (left <= 0)
                fail(QStringLiteral("No TCP connection to %1 within %2 ms; check the address, the port and "
                                    "whether the host is reachable.")
                         .arg(endpoint)
                         .arg(socketTimeoutMs));
        } else if (!ssh_get_serverbanner(session.get())) {
            // Counted from the connect, not from the last byte: lines sent before the version line would
            // restart an idle limit for ever.
            left = idleTimeoutMs - (now - connectedMs);
            if (left <= 0) {
                const quint64 received = BytesReceived(ssh_get_fd(session.get()));
                const QString what = received == 0
                                         ? QStringLiteral("accepted the connection but sent nothing")
                                         : QStringLiteral("sent %1 bytes but no SSH version line").arg(received);
                close();
                throw SshError(SshError::Kind::Silent,
                               QStringLiteral("No SSH greeting from %1 within %2 s: the host %3; check that an SSH "
                                              "server listens on that port.")
                                   .arg(endpoint)
                                   .arg(idleTimeoutMs / 1000)
                                   .arg(what));
            }
        } else {
            left = idleTimeoutMs - (now - lastArrivalMs);
            if (left <= 0)
                fail(QStringLiteral("%1 sent nothing for %2 s during the %3; check that an SSH server answers "
                                    "on that port.")
                         .arg(endpoint)
                         .arg(idleTimeoutMs / 1000)
                         .arg(QLatin1String(stage)));
        }
        if (cancelled())
            abandon();
        const short revents = pollSocket(static_cast<short>(tcpConnected ? POLLIN : POLLOUT), static_cast<int>(left));
        if (tcpConnected && (revents & (POLLIN | POLLHUP | POLLERR)))
            lastArrivalMs = openClock.elapsed();
        noteTcpState();
        if (cancelled())
            abandon();
    }

    /// Calls a non-blocking libssh step until it stops answering "again".
    template <typename Step> int repeat(Step step, int again, const char* stage)
    {
        for (;;) {
            const int rc = step();
            if (rc != again)
                return rc;
            // A host that hung up leaves libssh answering "again" with nothing left to wait for.
            if (session && (ssh_get_status(session.get()) & (SSH_CLOSED | SSH_CLOSED_ERROR)))
                closedDuring(stage);
            waitStep(stage);
        }
    }

    /// Whether the password went out in this login: a hang-up after it is the host's answer to it.
    bool passwordAnswered = false;

    [[noreturn]] void closedDuring(const char* stage)
    {
        // libssh keeps the host's disconnect reason in its error text ("Received SSH_MSG_DISCONNECT: ...").
        const QString text = libsshError();
        QString cause = SshFailureCause(text, legacyAlgorithms);
        if (cause.isEmpty())
            cause = QStringLiteral("The host closed the connection during the %1 (%2).")
                        .arg(QLatin1String(stage), text.left(160).simplified());
        const bool refused = passwordAnswered && QLatin1String(stage) == QLatin1String("authentication");
        close();
        throw SshError(refused ? SshError::Kind::Refused : SshError::Kind::Failed, cause);
    }

    void configure(const SshOpenParams& params);
    void connect();
    void checkHostKey(const SshOpenParams& params);
    void authenticate(const SshOpenParams& params);
    bool authenticateKeyboard(const SshOpenParams& params, bool& passwordTried);
    bool authenticateWithKeyFile(const SshOpenParams& params);
    bool authenticateWithAgent();
    [[noreturn]] void expired(const SshOpenParams& params, const QString& hostWords);
    void readServerKey();
    void startCommand(const SshOpenParams& params);
};

void SshTransport::Impl::configure(const SshOpenParams& params)
{
    session.reset(ssh_new());
    if (!session)
        fail(QStringLiteral("Cannot create an SSH session (out of memory)."));
    ssh_session s = session.get();
    const QByteArray address = params.address.toUtf8();
    const QByteArray user = params.username.toUtf8();
    const QByteArray knownHosts = QFile::encodeName(params.knownHostsPath);
    const unsigned int port = static_cast<unsigned int>(params.port);
    const int compressionLevel = 6;
    const bool processConfig = false;
    // libssh refuses names with characters a shell would take (quotes, "$", ";", ...): that name fails
    // alone, the host is not to blame.
    if (ssh_options_set(s, SSH_OPTIONS_USER, user.constData()) != SSH_OK) {
        close();
        throw SshError(SshError::Kind::BadLoginName,
                       QStringLiteral("The login name \"%1\" cannot be used over SSH (libssh refuses its characters); "
                                      "correct the login name.")
                           .arg(params.username));
    }
    legacyAlgorithms = params.legacyAlgorithms;
    bool ok = ssh_options_set(s, SSH_OPTIONS_HOST, address.constData()) == SSH_OK &&
              ssh_options_set(s, SSH_OPTIONS_PORT, &port) == SSH_OK &&
              // Only our own settings count: no ~/.ssh/config, no system-wide known hosts.
              ssh_options_set(s, SSH_OPTIONS_PROCESS_CONFIG, &processConfig) == SSH_OK &&
              ssh_options_set(s, SSH_OPTIONS_KNOWNHOSTS, knownHosts.constData()) == SSH_OK &&
              ssh_options_set(s, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, "/dev/null") == SSH_OK &&
              // Offered, not forced: a server without zlib still gets an uncompressed session.
              ssh_options_set(s, SSH_OPTIONS_COMPRESSION, "zlib@openssh.com,zlib,none") == SSH_OK &&
              ssh_options_set(s, SSH_OPTIONS_COMPRESSION_LEVEL, &compressionLevel) == SSH_OK;
    if (ok && params.legacyAlgorithms)
        ok = ssh_options_set(s, SSH_OPTIONS_KEY_EXCHANGE, kKeyExchanges) == SSH_OK &&
             ssh_options_set(s, SSH_OPTIONS_HOSTKEYS, kHostKeys) == SSH_OK &&
             ssh_options_set(s, SSH_OPTIONS_PUBLICKEY_ACCEPTED_TYPES, kHostKeys) == SSH_OK &&
             ssh_options_set(s, SSH_OPTIONS_HMAC_C_S, kMacs) == SSH_OK &&
             ssh_options_set(s, SSH_OPTIONS_HMAC_S_C, kMacs) == SSH_OK;
    if (!ok)
        fail(QStringLiteral("Cannot prepare the SSH session for %1: %2.").arg(endpoint, libsshError()));
    ssh_set_blocking(s, 0);
}

void SshTransport::Impl::connect()
{
    const int rc = repeat([this] { return ssh_connect(session.get()); }, SSH_AGAIN, "key exchange");
    noteTcpState();
    if (rc != SSH_OK) {
        if (!tcpConnected)
            failWithCause(QStringLiteral("Cannot connect to %1: %2. Check the address, the port and the network.")
                              .arg(endpoint, libsshError()));
        failWithCause(QStringLiteral("The SSH handshake with %1 failed: %2.").arg(endpoint, libsshError()));
    }
}

void SshTransport::Impl::readServerKey()
{
    ssh_key raw = nullptr;
    if (ssh_get_server_publickey(session.get(), &raw) != SSH_OK)
        return;
    const SshPkiKeyHandle key(raw);
    unsigned char* hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key.get(), SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != 0)
        return;
    const QByteArray digest(reinterpret_cast<const char*>(hash), static_cast<qsizetype>(length));
    ssh_clean_pubkey_hash(&hash);
    serverKey = QString::fromLatin1(ssh_key_type_to_char(ssh_key_type(key.get()))) + QStringLiteral(" SHA256:") +
                QString::fromLatin1(digest.toBase64(QByteArray::Base64Encoding | QByteArray::OmitTrailingEquals));
}

void SshTransport::Impl::checkHostKey(const SshOpenParams& params)
{
    readServerKey();
    switch (ssh_session_is_known_server(session.get())) {
    case SSH_KNOWN_HOSTS_OK:
        return;
    case SSH_KNOWN_HOSTS_NOT_FOUND:
    case SSH_KNOWN_HOSTS_UNKNOWN: {
        if (params.refuseUnknownHost) {
            const QString message =
                QStringLiteral("The host key of %1 (%2) is not recorded yet, and only known hosts are accepted: check "
                               "the key with the host administrator, then test the login in the host editor or run "
                               "'veltrane-cli host trust %1'.")
                    .arg(endpoint, serverKey);
            close();
            throw SshError(SshError::Kind::UnknownHost, message);
        }
        // Trust on first use: later connections must present the same key.
        const QString folder = QFileInfo(params.knownHostsPath).absolutePath();
        QDir().mkpath(folder);
        if (ssh_session_update_known_hosts(session.get()) != SSH_OK) {
            const QString message =
                QStringLiteral("The host key of %1 could not be recorded in %2 (%3), so the host cannot be trusted: "
                               "make that file and its folder writable.")
                    .arg(endpoint, params.knownHostsPath, libsshError());
            close();
            throw SshError(SshError::Kind::KnownHostsFile, message);
        }
        recordedServerKey = true;
        return;
    }
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: {
        const QString message = KnownHostsFile::ChangedKeyMessage(params.knownHostsPath, params.address, params.port) +
                                QStringLiteral(" The host now presents %1.").arg(serverKey);
        close();
        throw SshError(SshError::Kind::HostKeyChanged, message);
    }
    case SSH_KNOWN_HOSTS_ERROR:
        break;
    }
    const QString message = QStringLiteral("Cannot check the host key of %1 against %2 (%3): make that file readable.")
                                .arg(endpoint, params.knownHostsPath, libsshError());
    close();
    throw SshError(SshError::Kind::KnownHostsFile, message);
}

void SshTransport::Impl::expired(const SshOpenParams& params, const QString& hostWords)
{
    close();
    throw SshError(
        SshError::Kind::PasswordExpired,
        QStringLiteral("The password of %1 at %2 has expired: the host asks for a new one at login (\"%3\"). "
                       "Change it there once by hand, or as the manager.")
            .arg(params.username, endpoint, hostWords.simplified()));
}

namespace {

/// Whether a login prompt asks for a new password or says the old one has expired.
bool AsksForANewPassword(const QString& text)
{
    const QString folded = text.toLower();
    return folded.contains(QLatin1String("new password")) || folded.contains(QLatin1String("expired")) ||
           folded.contains(QLatin1String("change your password"));
}

} // namespace

bool SshTransport::Impl::authenticateKeyboard(const SshOpenParams& params, bool& passwordTried)
{
    ssh_session s = session.get();
    for (int round = 0; round < kMaxKeyboardRounds; ++round) {
        const int rc =
            repeat([s] { return ssh_userauth_kbdint(s, nullptr, nullptr); }, SSH_AUTH_AGAIN, "authentication");
        if (rc == SSH_AUTH_SUCCESS)
            return true;
        if (rc == SSH_AUTH_ERROR) {
            if (passwordTried)
                failWithCause(QStringLiteral("The host refused the password."), SshError::Kind::Refused);
            failWithCause(QStringLiteral("The login at %1 failed: %2.").arg(endpoint, libsshError()));
        }
        if (rc != SSH_AUTH_INFO)
            return false;
        const int prompts = ssh_userauth_kbdint_getnprompts(s);
        QString words = QString::fromUtf8(ssh_userauth_kbdint_getinstruction(s));
        for (int i = 0; i < prompts; ++i) {
            char echo = 0;
            words +=
                QLatin1Char(' ') + QString::fromUtf8(ssh_userauth_kbdint_getprompt(s, static_cast<unsigned>(i), &echo));
        }
        // PAM asks for a new password during the login of an expired account; answering it with the
        // old one would only be refused, or worse, taken.
        if (AsksForANewPassword(words))
            expired(params, words);
        // Only a single prompt can be the password; anything else is answered with nothing.
        if (prompts == 1) {
            ssh_userauth_kbdint_setanswer(s, 0, params.password.c_str());
            passwordTried = true;
            passwordAnswered = true;
        }
    }
    return false;
}

bool SshTransport::Impl::authenticateWithKeyFile(const SshOpenParams& params)
{
    ssh_key raw = nullptr;
    const QByteArray path = QFile::encodeName(params.keyPath);
    const int imported = ssh_pki_import_privkey_file(
        path.constData(), params.keyPassphrase.isEmpty() ? nullptr : params.keyPassphrase.c_str(), nullptr, nullptr,
        &raw);
    if (imported != SSH_OK) {
        const QFileInfo file(params.keyPath);
        const QString why = !file.exists()       ? QStringLiteral("the file does not exist")
                            : !file.isReadable() ? QStringLiteral("the file cannot be read")
                            : params.keyPassphrase.isEmpty()
                                ? QStringLiteral("it is not a private key libssh reads, or it needs a passphrase")
                                : QStringLiteral("the passphrase is wrong, or it is not a private key libssh reads");
        close();
        throw SshError(SshError::Kind::KeyFile,
                       QStringLiteral("The private key %1 for %2 could not be used: %3; correct the key file or its "
                                      "passphrase in the host editor.")
                           .arg(params.keyPath, endpoint, why));
    }
    const SshPkiKeyHandle key(raw);
    ssh_session s = session.get();
    ssh_key k = key.get();
    const int rc = repeat([s, k] { return ssh_userauth_publickey(s, nullptr, k); }, SSH_AUTH_AGAIN, "authentication");
    if (rc == SSH_AUTH_ERROR)
        failWithCause(QStringLiteral("The login at %1 failed: %2.").arg(endpoint, libsshError()));
    return rc == SSH_AUTH_SUCCESS;
}

bool SshTransport::Impl::authenticateWithAgent()
{
    if (qEnvironmentVariableIsEmpty("SSH_AUTH_SOCK"))
        return false;
    ssh_session s = session.get();
    const int rc = repeat([s] { return ssh_userauth_agent(s, nullptr); }, SSH_AUTH_AGAIN, "authentication");
    // An agent that cannot be reached is no reason to give up: the password follows.
    return rc == SSH_AUTH_SUCCESS;
}

void SshTransport::Impl::authenticate(const SshOpenParams& params)
{
    ssh_session s = session.get();
    passwordAnswered = false;
    int rc = repeat([s] { return ssh_userauth_none(s, nullptr); }, SSH_AUTH_AGAIN, "authentication");
    if (rc == SSH_AUTH_SUCCESS) {
        if (!params.passwordOnly)
            return;
        // Let in without a password: the session works, but the stored password was never asked for.
        close();
        throw SshError(SshError::Kind::NoPassword,
                       QStringLiteral("The host let %1 in without a password, so the stored password is not proven "
                                      "by this login.")
                           .arg(params.username));
    }
    if (rc == SSH_AUTH_ERROR)
        failWithCause(QStringLiteral("The login at %1 failed: %2.").arg(endpoint, libsshError()));
    const int methods = ssh_userauth_list(s, nullptr);
    // A login that proves a password offers nothing else: a key or an agent that the account accepts
    // would say nothing about the password, and each one offered uses up one of MaxAuthTries.
    if (!params.passwordOnly && (methods & SSH_AUTH_METHOD_PUBLICKEY)) {
        if (!params.keyPath.isEmpty() ? authenticateWithKeyFile(params) : params.useAgent && authenticateWithAgent())
            return;
    }
    if (!params.passwordOnly && params.password.isEmpty() && !params.keyPath.isEmpty()) {
        close();
        throw SshError(SshError::Kind::Refused,
                       QStringLiteral("%1 refused the key %2 of %3; check that its public key is "
                                      "in the account's authorized_keys.")
                           .arg(endpoint, params.keyPath, params.username));
    }
    bool passwordTried = false;
    if (ssh_userauth_list(s, nullptr) & SSH_AUTH_METHOD_INTERACTIVE) {
        if (authenticateKeyboard(params, passwordTried))
            return;
    }
    if (ssh_userauth_list(s, nullptr) & SSH_AUTH_METHOD_PASSWORD) {
        const SecretBuffer& password = params.password;
        passwordAnswered = true;
        rc = repeat([s, &password] { return ssh_userauth_password(s, nullptr, password.c_str()); }, SSH_AUTH_AGAIN,
                    "authentication");
        if (rc == SSH_AUTH_SUCCESS)
            return;
        if (rc == SSH_AUTH_ERROR) {
            // A host that counts attempts hangs up here after a refused keyboard-interactive answer:
            // the password was refused all the same.
            if (passwordTried)
                failWithCause(QStringLiteral("The host refused the password."), SshError::Kind::Refused);
            failWithCause(QStringLiteral("The login at %1 failed: %2.").arg(endpoint, libsshError()));
        }
        passwordTried = true;
    }
    close();
    if (!passwordTried)
        throw SshError(
            SshError::Kind::Refused,
            QStringLiteral("The host offers no password login for %1 (only other methods).").arg(params.username));
    throw SshError(SshError::Kind::Refused, QStringLiteral("The host refused the password."));
}

void SshTransport::Impl::startCommand(const SshOpenParams& params)
{
    channel.reset(ssh_channel_new(session.get()));
    if (!channel)
        fail(QStringLiteral("Cannot create a channel to %1: %2.").arg(endpoint, libsshError()));
    ssh_channel c = channel.get();
    if (repeat([c] { return ssh_channel_open_session(c); }, SSH_AGAIN, "channel opening") != SSH_OK)
        fail(QStringLiteral("%1 did not open a session channel: %2.").arg(endpoint, libsshError()));
    // A host that allows no terminal (PermitTTY no) still runs the command on plain pipes; the
    // refusal leaves the channel usable.
    hasTerminal = repeat([c] { return ssh_channel_request_pty_size(c, "vt100", 80, 24); }, SSH_AGAIN,
                         "terminal request") == SSH_OK;
    if (!hasTerminal && !ssh_channel_is_open(c))
        failWithCause(QStringLiteral("The host refused a terminal."));
    environmentAccepted = true;
    for (const auto& [name, value] : params.environment) {
        const QByteArray n = name, v = value;
        // OpenSSH takes only what its AcceptEnv names; a refusal leaves the channel usable.
        if (repeat([c, &n, &v] { return ssh_channel_request_env(c, n.constData(), v.constData()); }, SSH_AGAIN,
                   "environment request") != SSH_OK)
            environmentAccepted = false;
    }
    const QByteArray command =
        (environmentAccepted || params.commandIfEnvironmentRefused.isEmpty() ? params.command
                                                                             : params.commandIfEnvironmentRefused)
            .toUtf8();
    startedCommand = QString::fromUtf8(command);
    if (repeat([c, &command] { return ssh_channel_request_exec(c, command.constData()); }, SSH_AGAIN,
               "command start") != SSH_OK)
        failWithCause(hasTerminal ? QStringLiteral("%1 did not start the command: %2.").arg(endpoint, libsshError())
                                  : QStringLiteral("The host refused a terminal, and did not start the command "
                                                   "without one either (%1).")
                                        .arg(libsshError()));
}

SshTransport::SshTransport() : d(std::make_unique<Impl>()) {}

SshTransport::~SshTransport()
{
    CloseSession();
}

void SshTransport::setCancelSignal(std::shared_ptr<const CancelSignal> cancel)
{
    d->cancel = std::move(cancel);
}

namespace {

QString accountKey(const SshOpenParams& params)
{
    return QStringLiteral("%1\n%2\n%3\n%4").arg(params.address).arg(params.port).arg(params.username, params.keyPath);
}

} // namespace

void SshTransport::OpenSession(const SshOpenParams& params)
{
    d->channel.reset();
    d->reused = false;
    if (params.reuseConnection && d->session && ssh_is_connected(d->session.get()) &&
        d->connectedAs == accountKey(params) && d->connectedPassword.bytes() == params.password.bytes()) {
        d->openClock.start();
        d->lastArrivalMs = 0;
        try {
            d->startCommand(params);
            d->reused = true;
            return;
        } catch (const SshError& error) {
            if (error.kind() == SshError::Kind::Cancelled)
                throw;
            // The connection went stale since its last command: a fresh login follows.
        }
    }
    CloseSession();
    d->tcpConnected = false;
    d->serverKey.clear();
    d->recordedServerKey = false;
    d->endpoint = QStringLiteral("%1:%2").arg(params.address).arg(params.port);
    d->socketTimeoutMs = params.socketTimeoutMs;
    d->idleTimeoutMs = params.idleTimeoutMs;
    d->openClock.start();
    d->lastArrivalMs = 0;
    if (params.knownHostsPath.isEmpty())
        d->fail(
            QStringLiteral("No known-hosts file is set, so the host key of %1 cannot be checked.").arg(d->endpoint));
    d->configure(params);
    d->connect();
    d->checkHostKey(params);
    d->authenticate(params);
    d->connectedAs = accountKey(params);
    d->connectedPassword = params.password;
    d->startCommand(params);
}

void SshTransport::CloseChannel() noexcept
{
    d->channel.reset();
}

bool SshTransport::ReusedConnection() const
{
    return d->reused;
}

QString SshTransport::ServerKey() const
{
    return d->serverKey;
}

bool SshTransport::RecordedServerKey() const
{
    return d->recordedServerKey;
}

bool SshTransport::EnvironmentAccepted() const
{
    return d->environmentAccepted;
}

bool SshTransport::HasTerminal() const
{
    return d->hasTerminal;
}

QString SshTransport::StartedCommand() const
{
    return d->startedCommand;
}

void SshTransport::CloseSession() noexcept
{
    d->close();
}

// libssh reports end of file only once the buffered output is taken, so a session whose command
// has ended stays active until its last words are read.
bool SshTransport::SessionActive()
{
    if (!d->session || !d->channel || !ssh_is_connected(d->session.get()))
        return false;
    return ssh_channel_is_open(d->channel.get()) && !ssh_channel_is_eof(d->channel.get());
}

bool SshTransport::CanConnectSocket() const
{
    return d->tcpConnected;
}

bool SshTransport::PollOutput()
{
    if (!d->channel)
        return false;
    // libssh reads the network only for a stream whose buffer is empty; the error stream is
    // polled first so that packets keep moving while main-stream output waits to be taken.
    ssh_channel_poll(d->channel.get(), 1);
    return ssh_channel_poll(d->channel.get(), 0) > 0;
}

bool SshTransport::WaitOutput(int maxMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (PollOutput())
            return true;
        // Error-stream bytes count as well: while they lie unread the channel never shows its end.
        if (d->channel && ssh_channel_poll(d->channel.get(), 1) > 0)
            return true;
        if (!SessionActive() || d->cancelled())
            return false;
        const qint64 left = maxMs - clock.elapsed();
        if (left <= 0)
            return false;
        d->pollSocket(POLLIN, static_cast<int>(std::min<qint64>(left, kWaitSliceMs)));
    }
}

int SshTransport::ExitStatus()
{
    if (!d->channel)
        return -1;
    // Reported with the close; libssh answers -1 until it has seen it.
    return ssh_channel_get_exit_status(d->channel.get());
}

void SshTransport::ReadOutput(int maxBytes, QByteArray& channelOutput, QByteArray& extendedOutput)
{
    channelOutput.clear();
    extendedOutput.clear();
    if (!d->channel || maxBytes <= 0)
        return;
    const auto readStream = [this, maxBytes](int isStderr, QByteArray& into) {
        into.resize(maxBytes);
        const int n =
            ssh_channel_read_nonblocking(d->channel.get(), into.data(), static_cast<uint32_t>(maxBytes), isStderr);
        if (n == SSH_ERROR) {
            into.clear();
            throw SshError(SshError::Kind::Failed,
                           QStringLiteral("Reading from %1 failed: %2.").arg(d->endpoint, d->libsshError()));
        }
        into.resize(std::max(n, 0)); // SSH_EOF: nothing more will come
    };
    readStream(0, channelOutput);
    try {
        readStream(1, extendedOutput);
    } catch (const SshError&) {
        // Keep what the main stream gave; the failure shows again on the next read.
        if (channelOutput.isEmpty())
            throw;
    }
}

void SshTransport::WriteInput(const QByteArray& bytes)
{
    // Once the command has ended nothing reads the input any more, even before the host's close
    // has been processed.
    if (!SessionActive())
        throw SshError(SshError::Kind::Failed,
                       QStringLiteral("Not connected: the session with %1 is closed or its command has ended.")
                           .arg(d->endpoint.isEmpty() ? QStringLiteral("the host") : d->endpoint));
    QElapsedTimer clock;
    clock.start();
    qsizetype written = 0;
    while (written < bytes.size()) {
        const int n = ssh_channel_write(d->channel.get(), bytes.constData() + written,
                                        static_cast<uint32_t>(bytes.size() - written));
        if (n == SSH_ERROR)
            throw SshError(SshError::Kind::Failed,
                           QStringLiteral("Writing to %1 failed: %2.").arg(d->endpoint, d->libsshError()));
        written += n;
        if (written < bytes.size()) {
            // The host's receive window is full; give it time to take what was sent.
            if (clock.elapsed() > kWriteLimitMs)
                throw SshError(
                    SshError::Kind::Failed,
                    QStringLiteral("%1 accepted no input for %2 s.").arg(d->endpoint).arg(kWriteLimitMs / 1000));
            if (d->cancelled())
                throw SshError(SshError::Kind::Cancelled,
                               QStringLiteral("501 Cancelled: the input to %1 was abandoned.").arg(d->endpoint));
            d->pollSocket(POLLIN, 50);
            ssh_channel_poll(d->channel.get(), 0);
        }
    }
}
