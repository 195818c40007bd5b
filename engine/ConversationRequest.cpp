#include "engine/ConversationRequest.h"

#include "engine/DecipherSecret.h"
#include "engine/ManagerCommand.h"

namespace {

const QString kNewPasswordRequired = QStringLiteral("New password is required. ");
const QString kEnglish = QStringLiteral("env LC_ALL=C LANG=C ");

/// The manager's command for elevation: passwd NAME as it is, behind sudo, or inside su.
QString elevated(TElevation elevation, const QString& passwdCommand)
{
    return ElevatedManagerCommand(elevation, passwdCommand, SudoPrompt);
}

/// Sets the command of login, in English when profile asks for it: by the channel's environment, and
/// with the variables in front where the server refuses that. su starts a fresh environment, so there
/// they always go inside.
void setCommand(TLoginRequest& login, const TActionFlg& profile, TElevation elevation, const QString& passwdCommand)
{
    login.englishMessages = profile.EnglishMessages;
    if (!profile.EnglishMessages) {
        login.command = elevated(elevation, passwdCommand);
        return;
    }
    if (elevation == TElevation::Su) {
        login.command = elevated(elevation, kEnglish + passwdCommand);
        return;
    }
    login.command = elevated(elevation, passwdCommand);
    login.commandIfEnvironmentRefused = kEnglish + login.command;
}

} // namespace

TLoginRequest LoginRequestOf(const TUser& user, const QString& knownHostsPath, const QString& command)
{
    TLoginRequest request;
    request.address = user.HostIP;
    request.port = user.HostPort;
    request.loginName = user.LoginName;
    request.password = DecipherSecret(user.pwNow);
    request.command = command;
    request.knownHostsPath = knownHostsPath;
    return request;
}

TLoginRequest ManagerLoginRequestOf(const THost& host, const QString& address, int port, const QString& knownHostsPath)
{
    TUser manager;
    manager.HostIP = address;
    manager.HostPort = port;
    manager.LoginName = host.MngLogin;
    manager.pwNow = host.MngPwd;
    TLoginRequest request = LoginRequestOf(manager, knownHostsPath);
    request.passwordOnly = false;
    request.keyPath = host.MngKeyPath;
    request.keyPassphrase = DecipherSecret(host.MngKeyPass);
    // Agent keys are offered before the password and each uses up one of a host's MaxAuthTries, so
    // they are asked only where nothing else could log in, or where the host says so.
    request.useAgent = host.MngUseAgent || (host.MngPwd.isEmpty() && host.MngKeyPath.isEmpty());
    request.legacyAlgorithms = host.hLegacyAlgorithms;
    return request;
}

TChangeRequest ChangeRequestOf(const TChangePlan& plan, const TUser& user, const QString& knownHostsPath)
{
    TChangeRequest request;
    request.userLogin = user.LoginName;
    request.profile = plan.profile;
    if (user.pwNew.isEmpty()) {
        request.refusal = kNewPasswordRequired;
        return request;
    }
    if (!plan.problem.isEmpty()) {
        request.refusal = plan.problem;
        return request;
    }
    if (plan.asManager) {
        // passwd takes a leading "-" as an option even when quoted; as root, "passwd -d" would
        // remove the manager's own password. No valid login name starts with one.
        if (user.LoginName.startsWith(QLatin1Char('-'))) {
            request.refusal = QStringLiteral("Login name \"%1\" starts with \"-\" and would be taken as an option of "
                                             "passwd; correct the login name. ")
                                  .arg(user.LoginName);
            return request;
        }
        request.login = ManagerLoginRequestOf(plan.host, user.HostIP, user.HostPort, knownHostsPath);
        setCommand(request.login, plan.profile, plan.host.MngElevation, ManagerPasswdCommand(user.LoginName));
        request.elevation = plan.host.MngElevation;
        if (request.elevation == TElevation::Sudo)
            request.elevationPassword = DecipherSecret(plan.host.MngPwd);
        else if (request.elevation == TElevation::Su)
            request.elevationPassword = DecipherSecret(plan.host.MngRootPwd);
        // Every account of the host goes through the manager's one connection.
        request.login.reuseConnection = true;
    } else {
        request.login = LoginRequestOf(user, knownHostsPath);
        request.login.legacyAlgorithms = plan.host.hLegacyAlgorithms;
        setCommand(request.login, plan.profile, TElevation::None, QStringLiteral("passwd"));
    }
    request.login.refuseUnknownHost = plan.refuseUnknownHost;
    request.oldPassword = DecipherSecret(user.pwNow);
    request.newPassword = DecipherSecret(user.pwNew);
    return request;
}
