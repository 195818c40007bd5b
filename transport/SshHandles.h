#pragma once

#include <libssh/libssh.h>

#include <memory>

/// Ends the connection (a no-op when none was made) and frees the libssh session.
struct SshSessionDeleter
{
    void operator()(ssh_session session) const
    {
        ssh_disconnect(session);
        ssh_free(session);
    }
};

/// Frees a libssh channel; libssh closes it first when it is still open.
struct SshChannelDeleter
{
    void operator()(ssh_channel channel) const { ssh_channel_free(channel); }
};

/// Frees a libssh key (a private key read from a file, or a server's public key).
struct SshPkiKeyDeleter
{
    void operator()(ssh_key key) const { ssh_key_free(key); }
};

using SshPkiKeyHandle = std::unique_ptr<ssh_key_struct, SshPkiKeyDeleter>;
using SshSessionHandle = std::unique_ptr<ssh_session_struct, SshSessionDeleter>;
using SshChannelHandle = std::unique_ptr<ssh_channel_struct, SshChannelDeleter>;
