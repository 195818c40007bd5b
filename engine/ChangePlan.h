#pragma once

#include "core/Records.h"
#include "engine/ConversationRequest.h"
#include "engine/TActionStaus.h"

class TdmPublic;

/// Looks up what changing user's password needs: its host, the host's prompt profile and whether the
/// manager logs in (the host says so, or options hold ooLoginAsManager). Reads the database, so it
/// runs where the database lives; a failed read ends up in plan.problem.
TChangePlan PlanChange(TdmPublic& dm, const TUser& user, TOperationOptions options);

class TRemoteEngine;

/// Plans and runs the change of user's password on engine, all on the calling thread.
void ChangeUserPassword(TdmPublic& dm, TRemoteEngine& engine, const TUser& user, TOperationOptions options,
                        TActionStaus& status);

/// The known_hosts file of the installation.
QString KnownHostsPathOf(const TdmPublic& dm);
