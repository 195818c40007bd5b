#pragma once

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
};

/// The login of user with its current password; command as in TLoginRequest.
TLoginRequest LoginRequestOf(const TUser& user, const QString& knownHostsPath, const QString& command = QString());

/// What a change of a user on one host needs from the store: the host, its prompt profile and whether
/// the manager logs in. Looked up once before the change starts.
struct TChangePlan
{
    THost host;
    TActionFlg profile;
    bool asManager = false;
    /// When set, the change fails with this detail (the host could not be read, say).
    QString problem;
};

/// The request for changing user's password from pwNow to pwNew under plan.
TChangeRequest ChangeRequestOf(const TChangePlan& plan, const TUser& user, const QString& knownHostsPath);
