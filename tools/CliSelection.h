#pragma once

#include "core/Records.h"
#include "tools/CliHostAddress.h"

#include <QList>
#include <QStringList>

#include <optional>

class CliArguments;
class CliStore;

/// Which users a batch command works on: --all, --host ADDRESS[:PORT] (repeatable), --user LOGIN
/// (repeatable), --due-within DAYS. The last three narrow each other.
class CliSelection
{
public:
    /// The flags and valued options a command must accept to take a selection.
    static QStringList Flags() { return {QStringLiteral("all")}; }
    static QStringList ValuedOptions()
    {
        return {QStringLiteral("host"), QStringLiteral("user"), QStringLiteral("due-within")};
    }

    /// Reads the selection; throws a usage error when none is given or --all is mixed with others.
    explicit CliSelection(const CliArguments& args);

    /// The selected users, in host then user order; throws a failure naming the selection when it
    /// matches nobody, or when a --host is not in the database.
    QList<TUser> select(const CliStore& store) const;
    /// The selection as it was written, for messages.
    QString describe() const;

private:
    bool m_all = false;
    QList<CliHostAddress> m_hosts;
    QStringList m_logins;
    std::optional<int> m_dueWithin;
};
