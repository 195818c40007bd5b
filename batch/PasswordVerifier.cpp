#include "batch/PasswordVerifier.h"

#include "core/DayNumber.h"

QString PendingPassword(const TUser& user)
{
    return user.HasOpenIntent() ? user.pwIntent : user.pwNew;
}

TVerifyResult VerifyPasswords(TBatchOperations& operations, const TUser& user, const TPreparedWork& work,
                              bool pendingFirst, TRunContext& run)
{
    struct Candidate
    {
        QString password;
        TAcceptedPassword meaning;
    };
    QList<Candidate> candidates{{user.pwNow, TAcceptedPassword::Current}};
    const QString pending = PendingPassword(user);
    TVerifyResult result;
    result.hadPending = !pending.isEmpty() && pending != user.pwNow;
    if (result.hadPending) {
        const Candidate candidate{pending, TAcceptedPassword::Pending};
        if (pendingFirst)
            candidates.prepend(candidate);
        else
            candidates.append(candidate);
    }

    for (const Candidate& candidate : candidates) {
        TUser probe = user;
        probe.pwNow = candidate.password;
        operations.TestLogin(probe, work, result.login, run);
        if (result.login.Code == acLoginSucceeded) {
            result.accepted = candidate.meaning;
            return result;
        }
        if (!result.login.LoginRefused) {
            result.accepted = TAcceptedPassword::Unknown;
            return result;
        }
    }
    result.accepted = TAcceptedPassword::Neither;
    return result;
}

bool ApplyVerifyResult(TUser& user, TAcceptedPassword accepted, double opTime)
{
    switch (accepted) {
    case TAcceptedPassword::Current:
        user.pwIntent.clear();
        user.pwIntentTime = DayNumber::None;
        return false;
    case TAcceptedPassword::Pending: {
        const QString pending = PendingPassword(user);
        user.pwNow = pending;
        user.pwLastTime = opTime;
        if (user.pwNew == pending)
            user.pwNew.clear();
        user.pwIntent.clear();
        user.pwIntentTime = DayNumber::None;
        return true;
    }
    case TAcceptedPassword::Neither:
    case TAcceptedPassword::Unknown:
        break;
    }
    return false;
}
