#pragma once

#include "batch/TBatchOperations.h"
#include "core/Records.h"
#include "engine/TActionStaus.h"

/// Which stored password the host accepted.
enum class TAcceptedPassword
{
    Current,   ///< pwNow
    Pending,   ///< the pending password (pwIntent when a change is in flight, else pwNew)
    Candidate, ///< a password sent in an earlier change (TVerifyResult::candidate)
    Neither,   ///< the host refused every password it was offered
    Unknown,   ///< the host could not be asked (not reached, cancelled, host key, ...)
};

struct TVerifyResult
{
    TAcceptedPassword accepted = TAcceptedPassword::Unknown;
    /// The login that ended the check: the accepted one, or the one that could not decide.
    TActionStaus login;
    /// Whether a pending password was there to try.
    bool hadPending = false;
    /// How many earlier sent passwords were tried after it.
    int candidatesTried = 0;
    /// The accepted candidate (enciphered) and its place among them, 1 for the newest.
    QString candidate;
    int candidateNumber = 0;
};

/// The pending password a check tries: the one of a change in flight, else pwNew.
QString PendingPassword(const TUser& user);

/// Checks user's current and pending passwords, in that order or pending first, then the passwords
/// sent in earlier changes, newest first, and stops at the first the host accepts: against the shadow
/// entry the manager reads where it can, else by a login as user. A refused password leads to the next; any other
/// failed login ends the check as Unknown, since it says nothing about the password.
TVerifyResult VerifyPasswords(TBatchOperations& operations, const TUser& user, const TPreparedWork& work,
                              bool pendingFirst, TRunContext& run);

/// Makes user's record say what the check found; returns whether the passwords changed.
/// Current: the intent is dropped. Pending or Candidate: pwNow := that password, pwLastTime := opTime,
/// pwNew cleared when it was that password, intent and candidates dropped (a sent password the host
/// took supersedes those sent before it). Neither or Unknown: nothing changes. The candidates stay
/// after Current: a slow host may still take one.
bool ApplyVerifyResult(TUser& user, const TVerifyResult& result, double opTime);
