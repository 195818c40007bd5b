#include "engine/ChangePlan.h"

#include "core/TdmPublic.h"
#include "engine/TRemoteEngine.h"

#include <QDir>

TChangePlan PlanChange(TdmPublic& dm, const TUser& user, TOperationOptions options)
{
    TChangePlan plan;
    try {
        auto query = dm.NewQuery();
        query->SelectSQL = QStringLiteral("select * from hosts where hid = ") + QString::number(user.hID);
        dm.OpenQuery(*query);
        HostFromQuery(*query, plan.host);
        plan.profile.OSID = plan.host.OSID;
        LoadActionFlg(dm, plan.profile);
    } catch (const std::exception& error) {
        plan.problem = QString::fromStdString(error.what());
        return plan;
    }
    plan.asManager = plan.host.UseManager == -1 || (options & ooLoginAsManager);
    plan.refuseUnknownHost = dm.OptionsFile.HostKeyPolicy() == THostKeyPolicy::KnownOnly;
    return plan;
}

QString KnownHostsPathOf(const TdmPublic& dm)
{
    return QDir(dm.ExecutableDir()).filePath(QStringLiteral("known_hosts"));
}

void ChangeUserPassword(TdmPublic& dm, TRemoteEngine& engine, const TUser& user, TOperationOptions options,
                        TActionStaus& status)
{
    engine.ChangeUserPassword(ChangeRequestOf(PlanChange(dm, user, options), user, KnownHostsPathOf(dm)), status);
}
