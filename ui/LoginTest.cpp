#include "ui/LoginTest.h"

#include "core/UiServices.h"
#include "engine/TLoginProbe.h"
#include "transport/KnownHostsFile.h"
#include "ui/HostKeyDecision.h"
#include "ui/LoginTestBalloon.h"

#include <QWidget>

void StartLoginTest(TLoginProbe& probe, QWidget* editor, QWidget* testButton, const TLoginRequest& request,
                    const QString& trustedKey)
{
    probe.Start(
        request, editor,
        [&probe, editor, testButton, request, trustedKey](const TActionStaus& status) {
            // Closed meanwhile: a balloon would outlive the dialog.
            if (!editor->isVisible())
                return;
            if (status.HostKeyChanged && trustedKey.isEmpty() &&
                TrustChangedHostKey(request.knownHostsPath, request.address, request.port, status.HostKey)) {
                StartLoginTest(probe, editor, testButton, request, status.HostKey);
                return;
            }
            TActionStaus shown = status;
            if (!trustedKey.isEmpty() && !status.HostKey.isEmpty() && status.HostKey != trustedKey) {
                // Another key than the one just trusted: whoever answers now is not to be recorded.
                KnownHostsFile::Replace(request.knownHostsPath, request.address, request.port, QString());
                shown = TActionStaus{};
                shown.Set(acLoginFailed);
                shown.Detail = QStringLiteral("The host presented %1, not the key you trusted (%2); nothing was "
                                              "recorded. Ask the host administrator which key is right.")
                                   .arg(status.HostKey, trustedKey);
            }
            ShowLoginTestOutcome(testButton, shown);
        },
        [](const QString& text) { Ui().setStatusText(text); });
}
