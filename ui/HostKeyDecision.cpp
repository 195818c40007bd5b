#include "ui/HostKeyDecision.h"

#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "transport/KnownHostsFile.h"

bool TrustChangedHostKey(const QString& knownHostsPath, const QString& address, int port, const QString& presentedKey)
{
    QString recorded;
    for (const KnownHostsFile::RecordedKey& key : KnownHostsFile::RecordedKeys(knownHostsPath, address, port))
        recorded += QStringLiteral("\n    ") + key.type + QLatin1Char(' ') + key.fingerprint;
    const QString question =
        QStringLiteral(
            "The host key of %1 has changed.\n\nRecorded:%2\nPresented now:\n    %3\n\nThis happens when the "
            "host was reinstalled or its keys were renewed, and also when someone stands between you "
            "and the host. Compare the new key with the host administrator's before you trust it.\n\n"
            "Trust the new key?")
            .arg(KnownHostsFile::HostPattern(address, port),
                 recorded.isEmpty() ? QStringLiteral("\n    (none)") : recorded, presentedKey);
    if (!MsgBoxYes(question, ApplicationTitle, StyleConfirm))
        return false;
    const QString problem = KnownHostsFile::Replace(knownHostsPath, address, port, QString());
    if (!problem.isEmpty()) {
        MsgBox(problem, ApplicationTitle, StyleError);
        return false;
    }
    return true;
}
