#pragma once

// Small helpers of the editor tests: driving modal dialogs, counting balloons on the screen and
// reading the database directly.

#include "core/TdmPublic.h"
#include "tests/support/TestServers.h"
#include "transport/KnownHostsFile.h"
#include "ui/BallHint.h"
#include "ui/TfrmBase.h"

#include <QApplication>
#include <QFile>
#include <QStringList>

#include <functional>

namespace EditorTest {

/// Installs a modal hook for its lifetime: every dialog shown through TfrmBase::ExecModal is handed to
/// drive instead of running its own loop.
class ModalDriver
{
public:
    explicit ModalDriver(std::function<void(QDialog&)> drive) { TfrmBase::SetModalHook(std::move(drive)); }
    ~ModalDriver() { TfrmBase::SetModalHook({}); }
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;
};

/// Balloons on the screen that are not already closing.
inline int OpenBalloons()
{
    int count = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* balloon = qobject_cast<TBallHint*>(window); balloon && !balloon->isClosing())
            ++count;
    return count;
}

/// Every row of a query as "a|b|c" texts, in the order returned.
inline QStringList Rows(TdmPublic& dm, const QString& sql)
{
    QStringList rows;
    auto query = dm.NewQuery();
    query->SelectSQL = sql;
    if (!dm.OpenQuery(*query))
        return {QStringLiteral("<failed>")};
    for (; !query->Eof(); query->Next()) {
        QStringList fields;
        for (int i = 0; i < query->FieldCount(); ++i)
            fields << (query->Fields(i).IsNull() ? QStringLiteral("NULL") : query->Fields(i).AsString());
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}

/// The profile tables, for comparing the database before and after an action.
inline QStringList Profiles(TdmPublic& dm)
{
    return Rows(dm, QStringLiteral("select OSID, OSName from UnixOS order by OSID")) +
           Rows(dm, QStringLiteral("select * from ActionFlg order by OSID, flgname")) +
           Rows(dm, QStringLiteral("select * from ActionRules order by OSID"));
}

/// The SHA256 fingerprint of the test server's host key at address.
inline QString ServerFingerprint(const QString& address)
{
    QFile file(address == TestServers::DialogAddress ? TestServers::DialogHostKey : TestServers::OpenSshHostKey);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return KnownHostsFile::Fingerprint(file.readAll().split(' ').value(1));
}

} // namespace EditorTest
