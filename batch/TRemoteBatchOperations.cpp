#include "batch/TRemoteBatchOperations.h"

#include "batch/TNoticeMailer.h"
#include "core/TdmPublic.h"
#include "engine/DecipherSecret.h"

void TRemoteBatchOperations::Prepare(const TUser& user, TOperationType type, TOperationOptions options,
                                     TPreparedWork& work)
{
    work.knownHostsPath = KnownHostsPathOf(m_dm);
    work.refuseUnknownHost = m_dm.OptionsFile.HostKeyPolicy() == THostKeyPolicy::KnownOnly;
    // Every login needs the host's switches (SHA-1 algorithms); a change needs its profile too.
    if (type != otSendMail)
        work.change = PlanChange(m_dm, user, options);
    if (type == otSendMail || (type == otChangePassword && (options & ooSendNoticeMail))) {
        try {
            work.mail = NoticeMailSettings::Read(m_dm.OptionsFile.ini());
            work.mailCaFile = work.mail.caFilePath(m_dm.OptionsFile.ini());
        } catch (const std::exception& error) {
            work.mailProblem = QString::fromUtf8(error.what());
        }
    }
}

void TRemoteBatchOperations::TestLogin(const TUser& user, const TPreparedWork& work, TActionStaus& status,
                                       TRunContext& run)
{
    TRemoteEngine engine(run);
    engine.ReadTimeOut = work.readTimeOut;
    TLoginRequest request = LoginRequestOf(user, work.knownHostsPath);
    request.refuseUnknownHost = work.refuseUnknownHost;
    request.legacyAlgorithms = work.change.host.hLegacyAlgorithms;
    engine.SSHLogin(request, status);
}

void TRemoteBatchOperations::ChangePassword(const TUser& user, const TPreparedWork& work, TActionStaus& status,
                                            TRunContext& run)
{
    const TChangeRequest request = ChangeRequestOf(work.change, user, work.knownHostsPath);
    if (request.login.reuseConnection && run.HostConnection) {
        TRemoteEngine engine(run, *run.HostConnection);
        engine.ReadTimeOut = work.readTimeOut;
        engine.ChangeUserPassword(request, status);
        return;
    }
    TRemoteEngine engine(run);
    engine.ReadTimeOut = work.readTimeOut;
    engine.ChangeUserPassword(request, status);
}

void TRemoteBatchOperations::SendNoticeMail(const TUser& user, const TPreparedWork& work, TActionStaus& status,
                                            TRunContext& run)
{
    if (!work.mailProblem.isEmpty()) {
        status.Set(acSendFailed);
        status.Detail = work.mailProblem;
        return;
    }
    TNoticeMailer::Send(work.mail, work.mailCaFile, user, status, run.Progress);
}

bool TRemoteBatchOperations::ReadShadowHash(const TUser& user, const TPreparedWork& work, TRunContext& run,
                                            QString& hash, QString& problem)
{
    problem.clear();
    const TChangePlan& plan = work.change;
    if (!plan.asManager || !plan.problem.isEmpty() || plan.host.MngLogin.isEmpty())
        return false;
    TLoginRequest login = ManagerLoginRequestOf(plan.host, user.HostIP, user.HostPort, work.knownHostsPath);
    login.refuseUnknownHost = work.refuseUnknownHost;
    login.reuseConnection = true;
    const SecretBuffer elevationPassword = plan.host.MngElevation == TElevation::Su
                                               ? DecipherSecret(plan.host.MngRootPwd)
                                               : DecipherSecret(plan.host.MngPwd);
    // On the host's kept manager connection when the batch shares one: the check only reads.
    std::unique_lock<std::mutex> turn;
    if (run.HostConnection && run.HostConnectionTurn)
        turn = std::unique_lock<std::mutex>(*run.HostConnectionTurn);
    std::unique_ptr<TRemoteEngine> engine = run.HostConnection
                                                ? std::make_unique<TRemoteEngine>(run, *run.HostConnection)
                                                : std::make_unique<TRemoteEngine>(run);
    engine->ReadTimeOut = work.readTimeOut;
    return engine->ReadShadowHash(login, plan.host.MngElevation, elevationPassword, user.LoginName, hash, problem);
}
