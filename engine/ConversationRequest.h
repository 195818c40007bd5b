#pragma once

#include "core/Elevation.h"
#include "core/Records.h"
#include "core/SecretBuffer.h"
#include "engine/TActionFlg.h"

#include <QString>

/// Whom one conversation logs in as and what it runs, with the password already deciphered.
struct TLoginRequest
{
    QString address;
    int port = 22;
    QString loginName;
    SecretBuffer password;
    /// The command to run; empty probes the login with "echo 2009".
    QString command;
    QString knownHostsPath;
    /// Run on the shell's open connection when it belongs to the same account (manager mode).
    bool reuseConnection = false;
    /// A private key file (and its passphrase) to log in with; empty: the password (and an ssh-agent's keys
    /// when useAgent).
    QString keyPath;
    SecretBuffer keyPassphrase;
    bool useAgent = false;
    /// The login proves password (an account's own login): no key, no agent, and a host that lets the
    /// account in without a password proves nothing. Off for the manager's login only.
    bool passwordOnly = true;
    /// Offer SHA-1 algorithms to this host (THost::hLegacyAlgorithms).
    bool legacyAlgorithms = false;
    /// A host whose key is not recorded yet is refused instead of recorded ([Options] HostKeyPolicy).
    bool refuseUnknownHost = false;
    /// Ask for English messages (LC_ALL=C, LANG=C) on the channel; when the server refuses, the
    /// command becomes commandIfEnvironmentRefused (the variables set in front), if that is set.
    bool englishMessages = false;
    QString commandIfEnvironmentRefused;
};

/// Everything one password change needs, resolved before it starts.
struct TChangeRequest
{
    /// The login (the user itself, or the host's manager running "passwd NAME").
    TLoginRequest login;
    /// The account whose password changes.
    QString userLogin;
    TActionFlg profile;
    SecretBuffer oldPassword;
    SecretBuffer newPassword;
    /// When set, the change fails with this detail before anything is sent.
    QString refusal;
    /// How the manager becomes root, and the password that elevation asks for (the manager's own for
    /// sudo, the host's root password for su).
    TElevation elevation = TElevation::None;
    SecretBuffer elevationPassword;
};

/// The prompt sudo is asked to print, so that it is recognised in any language.
inline const QString SudoPrompt = QStringLiteral("[veltrane] sudo password: ");

/// The login of user with its current password; command as in TLoginRequest. The probe never asks
/// for an environment.
TLoginRequest LoginRequestOf(const TUser& user, const QString& knownHostsPath, const QString& command = QString());

/// The login of host's manager account with its password, key file and agent as the host's switches say:
/// the agent when the manager has neither a password nor a key file, or when MngUseAgent is on.
TLoginRequest ManagerLoginRequestOf(const THost& host, const QString& address, int port, const QString& knownHostsPath);

/// What a change of a user on one host needs from the store: the host, its prompt profile and whether
/// the manager logs in. Looked up once before the change starts.
struct TChangePlan
{
    THost host;
    TActionFlg profile;
    bool asManager = false;
    /// [Options] HostKeyPolicy is known-only.
    bool refuseUnknownHost = false;
    /// When set, the change fails with this detail (the host could not be read, say).
    QString problem;
};

/// The request for changing user's password from pwNow to pwNew under plan.
TChangeRequest ChangeRequestOf(const TChangePlan& plan, const TUser& user, const QString& knownHostsPath);
