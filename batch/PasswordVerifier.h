#pragma once

#include "batch/TBatchOperations.h"
#include "core/Records.h"
#include "engine/TActionStaus.h"

/// Which stored password the host accepted.
enum class TAcceptedPassword
{
    Current, ///< pwNow
    Pending, ///< the pending password (pwIntent when a change is in flight, else pwNew)
    Neither, ///< the host refused every password it was offered
    Unknown, ///< the host could not be asked (not reached, cancelled, host key, ...)
};

struct TVerifyResult
{
    TAcceptedPassword accepted = TAcceptedPassword::Unknown;
    /// The login that ended the check: the accepted one, or the one that could not decide.
    TActionStaus login;
    /// Whether a pending password was there to try.
    bool hadPending = false;
};

/// The pending password a check tries: the one of a change in flight, else pwNew.
QString PendingPassword(const TUser& user);

/// Logs in as user with its current and its pending password, in that order or pending first,
/// and stops at the first the host accepts. A refused password leads to the next; any other failed
/// login ends the check as Unknown, since it says nothing about the password.
TVerifyResult VerifyPasswords(TBatchOperations& operations, const TUser& user, const TPreparedWork& work,
                              bool pendingFirst, TRunContext& run);

/// Makes user's record say what the check found; returns whether the passwords changed.
/// Current: the intent is dropped. Pending: pwNow := the pending password, pwLastTime := opTime,
/// pwNew cleared when it was that password, intent dropped. Neither or Unknown: nothing changes.
bool ApplyVerifyResult(TUser& user, TAcceptedPassword accepted, double opTime);
