#include "batch/PasswordVerifier.h"

#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/ShadowHash.h"
#include "engine/DecipherSecret.h"

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
        QString name; // for the transcript: which password, never the password itself
        int number = 0;
    };
    QList<Candidate> candidates{{user.pwNow, TAcceptedPassword::Current, QStringLiteral("current")}};
    const QString pending = PendingPassword(user);
    TVerifyResult result;
    result.hadPending = !pending.isEmpty() && pending != user.pwNow;
    if (result.hadPending) {
        const Candidate candidate{pending, TAcceptedPassword::Pending, QStringLiteral("pending")};
        if (pendingFirst)
            candidates.prepend(candidate);
        else
            candidates.append(candidate);
    }
    QStringList tried{DecipherPassword(user.pwNow), DecipherPassword(pending)};
    const QStringList sent = PasswordCandidates(user);
    for (int at = 0; at < sent.size(); ++at) {
        const QString plain = DecipherPassword(sent[at]);
        if (plain.isEmpty() || tried.contains(plain))
            continue;
        tried << plain;
        candidates.append({sent[at], TAcceptedPassword::Candidate, QStringLiteral("candidate %1").arg(at + 1), at + 1});
        ++result.candidatesTried;
    }
    const auto accept = [&result](const Candidate& candidate) {
        result.accepted = candidate.meaning;
        if (candidate.meaning == TAcceptedPassword::Candidate) {
            result.candidate = candidate.password;
            result.candidateNumber = candidate.number;
        }
        return result;
    };

    // Through the manager first: its reading of the shadow entry tells the password apart from a login the
    // host does not allow (AllowUsers, a nologin shell), and no candidate is sent to the host for it.
    QString hash;
    QString problem;
    if (operations.ReadShadowHash(user, work, run, hash, problem)) {
        const QString hashProblem = ShadowHashProblem(hash);
        if (hashProblem.isEmpty()) {
            for (const Candidate& candidate : candidates) {
                const bool matches = PasswordMatchesShadowHash(DecipherSecret(candidate.password), hash);
                run.AddTranscriptLine(QStringLiteral("Check of the %1 password against the shadow entry of %2: %3.")
                                          .arg(candidate.name, user.LoginName,
                                               matches ? QStringLiteral("accepted") : QStringLiteral("refused")));
                if (matches) {
                    result.login.Set(acLoginSucceeded);
                    return accept(candidate);
                }
            }
            result.login.Set(acLoginFailed);
            result.login.LoginRefused = true;
            result.accepted = TAcceptedPassword::Neither;
            return result;
        }
        run.AddTranscriptLine(QStringLiteral("The shadow entry of %1 cannot be checked: %2; checking by a login.")
                                  .arg(user.LoginName, hashProblem));
    } else if (!problem.isEmpty()) {
        run.AddTranscriptLine(QStringLiteral("Checking by a login instead."));
    }

    for (const Candidate& candidate : candidates) {
        TUser probe = user;
        probe.pwNow = candidate.password;
        operations.TestLogin(probe, work, result.login, run);
        const QString verdict = result.login.Code == acLoginSucceeded ? QStringLiteral("accepted")
                                : result.login.LoginRefused           ? QStringLiteral("refused")
                                                                      : QStringLiteral("could not tell (") +
                                                                  result.login.Shown().trimmed() + QLatin1Char(')');
        run.AddTranscriptLine(QStringLiteral("Check of the %1 password by a login as %2: %3.")
                                  .arg(candidate.name, user.LoginName, verdict));
        if (result.login.Code == acLoginSucceeded)
            return accept(candidate);
        if (!result.login.LoginRefused) {
            result.accepted = TAcceptedPassword::Unknown;
            return result;
        }
    }
    result.accepted = TAcceptedPassword::Neither;
    return result;
}

bool ApplyVerifyResult(TUser& user, const TVerifyResult& result, double opTime)
{
    switch (result.accepted) {
    case TAcceptedPassword::Current:
        user.pwIntent.clear();
        user.pwIntentTime = DayNumber::None;
        return false;
    case TAcceptedPassword::Pending:
    case TAcceptedPassword::Candidate: {
        const QString taken = result.accepted == TAcceptedPassword::Pending ? PendingPassword(user) : result.candidate;
        const QString plain = DecipherPassword(taken);
        user.pwNow = taken;
        user.pwLastTime = opTime;
        if (DecipherPassword(user.pwNew) == plain)
            user.pwNew.clear();
        user.pwIntent.clear();
        user.pwIntentTime = DayNumber::None;
        user.pwCandidates.clear();
        return true;
    }
    case TAcceptedPassword::Neither:
    case TAcceptedPassword::Unknown:
        break;
    }
    return false;
}
