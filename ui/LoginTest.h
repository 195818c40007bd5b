#pragma once

#include "engine/ConversationRequest.h"

class QWidget;
class TLoginProbe;

/// The Test Login of an editor: probes request on probe's thread and shows the outcome beside
/// testButton while editor is open. A changed host key is offered for trust; after Yes the login
/// runs once more and must meet exactly the key the user trusted.
void StartLoginTest(TLoginProbe& probe, QWidget* editor, QWidget* testButton, const TLoginRequest& request,
                    const QString& trustedKey = QString());
