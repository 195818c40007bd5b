#pragma once

#include "core/Records.h"
#include "core/TdmPublic.h"
#include "engine/TActionStaus.h"

/// The three remote operations a batch runs per user. Each fills status and never throws; the
/// runner judges success by status.Code alone.
class TBatchOperations
{
public:
    virtual ~TBatchOperations();

    /// Probes that user can log in (success is code 2).
    virtual void TestLogin(const TUser& user, TActionStaus& status, const ProgressCallback& progress) = 0;
    /// Changes user's password from pwNow to pwNew on its host (success is code 4). With
    /// ooSendNoticeMail a successful change is followed by the notice mail, whose outcome replaces the
    /// code; status.PasswordChanged then still tells that the password changed.
    virtual void ChangePassword(const TUser& user, TOperationOptions options, TActionStaus& status,
                                const ProgressCallback& progress) = 0;
    /// Sends the notice mail to user.Email (success is code 6).
    virtual void SendNoticeMail(const TUser& user, TActionStaus& status, const ProgressCallback& progress) = 0;
};
