#pragma once

// Batch operations whose outcome each test decides, for the runner's own logic (order, parallel
// lanes, follow-up mail, stop) without the time a real host takes. Any thread may call them.

#include "batch/TBatchOperations.h"

#include <QMutex>
#include <QStringList>

#include <functional>

struct ScriptedOperations : TBatchOperations
{
    using Step = std::function<void(const TUser&, TActionStaus&, TRunContext&)>;
    Step login = [](const TUser&, TActionStaus& status, TRunContext&) {
        status.Set(acLoginSucceeded);
    };
    Step change = [](const TUser&, TActionStaus& status, TRunContext&) {
        status.Set(acChangeFailed);
    };
    Step mail = [](const TUser&, TActionStaus& status, TRunContext&) {
        status.Set(acSendFailed);
    };

    /// "login LOGIN", "change LOGIN", "mail LOGIN" in the order the calls began.
    QStringList calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }

    void TestLogin(const TUser& user, const TPreparedWork&, TActionStaus& status, TRunContext& run) override
    {
        note(QStringLiteral("login "), user);
        login(user, status, run);
    }
    void ChangePassword(const TUser& user, const TPreparedWork&, TActionStaus& status, TRunContext& run) override
    {
        note(QStringLiteral("change "), user);
        change(user, status, run);
    }
    void SendNoticeMail(const TUser& user, const TPreparedWork&, TActionStaus& status, TRunContext& run) override
    {
        note(QStringLiteral("mail "), user);
        mail(user, status, run);
    }

private:
    void note(const QString& what, const TUser& user)
    {
        QMutexLocker lock(&m_mutex);
        m_calls << what + user.LoginName;
    }
    mutable QMutex m_mutex;
    QStringList m_calls;
};
