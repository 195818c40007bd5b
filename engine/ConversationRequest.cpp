#include "engine/ConversationRequest.h"

#include "engine/DecipherSecret.h"
#include "engine/ManagerCommand.h"

namespace {

const QString kNewPasswordRequired = QStringLiteral("New password is required. ");

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
        TUser manager;
        manager.HostIP = user.HostIP;
        manager.HostPort = user.HostPort;
        manager.LoginName = plan.host.MngLogin;
        manager.pwNow = plan.host.MngPwd;
        request.login = LoginRequestOf(manager, knownHostsPath, ManagerPasswdCommand(user.LoginName));
        // Every account of the host goes through the manager's one connection.
        request.login.reuseConnection = true;
    } else {
        request.login = LoginRequestOf(user, knownHostsPath, QStringLiteral("passwd"));
    }
    request.oldPassword = DecipherSecret(user.pwNow);
    request.newPassword = DecipherSecret(user.pwNew);
    return request;
}
