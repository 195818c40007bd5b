#pragma once

#include "batch/NoticeMailSettings.h"
#include "core/Records.h"
#include "engine/ChangePlan.h"
#include "engine/TActionStaus.h"
#include "engine/TRemoteEngine.h"
#include "engine/TRunContext.h"

/// What one user's remote work needs from the database and the settings, looked up on the main
/// thread before the work starts, so that the work itself touches neither.
struct TPreparedWork
{
    /// The host, its prompt profile and the login mode of a change.
    TChangePlan change;
    NoticeMailSettings mail;
    QString mailCaFile;
    /// Why the mail settings could not be read; the mail then fails with it.
    QString mailProblem;
    QString knownHostsPath;
    /// [Options] HostKeyPolicy is known-only: a host without a recorded key is refused.
    bool refuseUnknownHost = false;
    int readTimeOut = TRemoteEngine::DefaultReadTimeOut;
};

/// The remote operations a batch runs per user. Prepare runs on the main thread; the others run on
/// a worker thread, several at once for different hosts, so they keep no state between calls. Each
/// fills status and never throws; the runner judges success by status.Code alone.
class TBatchOperations
{
public:
    virtual ~TBatchOperations();

    /// Looks up what the user's operation of type needs (main thread).
    virtual void Prepare(const TUser& user, TOperationType type, TOperationOptions options, TPreparedWork& work);
    /// Probes that user can log in with pwNow (success is code 2).
    virtual void TestLogin(const TUser& user, const TPreparedWork& work, TActionStaus& status, TRunContext& run) = 0;
    /// Changes user's password from pwNow to pwNew on its host (success is code 4).
    virtual void ChangePassword(const TUser& user, const TPreparedWork& work, TActionStaus& status,
                                TRunContext& run) = 0;
    /// Sends the notice mail to user.Email (success is code 6).
    virtual void SendNoticeMail(const TUser& user, const TPreparedWork& work, TActionStaus& status,
                                TRunContext& run) = 0;
    /// Reads user's password hash from its host's shadow entry through the host's manager, where the
    /// manager changes the host's passwords. False when it cannot: problem says why, or is empty where
    /// no manager is to be asked. The default asks none.
    virtual bool ReadShadowHash(const TUser& user, const TPreparedWork& work, TRunContext& run, QString& hash,
                                QString& problem);
};
