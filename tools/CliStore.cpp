#include "tools/CliStore.h"

#include "core/TdmPublic.h"
#include "tools/CliContext.h"
#include "tools/CliError.h"

CliStore::CliStore(CliContext& context) : m_context(context) {}

TdmPublic& CliStore::dm() const
{
    return m_context.dm();
}

void CliStore::open(TSelfQuery& query, const QString& statement) const
{
    query.SelectSQL = statement;
    if (!dm().OpenQuery(query))
        m_context.statementFailed(QStringLiteral("could not read the database"));
}

std::optional<THost> CliStore::findHost(const CliHostAddress& address) const
{
    auto query = dm().NewQuery();
    open(*query, QStringLiteral("select * from Hosts where hAddress = '%1' and hPort = %2 order by hID")
                     .arg(TdmPublic::SqlEscape(address.address), QString::number(address.port)));
    if (query->Eof())
        return std::nullopt;
    THost host;
    HostFromQuery(*query, host);
    return host;
}

THost CliStore::requireHost(const CliHostAddress& address) const
{
    const std::optional<THost> host = findHost(address);
    if (!host)
        throw CliError::failure(
            QStringLiteral("no host %1 in the database: see the hosts with 'veltrane-cli list' or add it with "
                           "'veltrane-cli host add %1'")
                .arg(address.toString()));
    return *host;
}

QList<THost> CliStore::hosts() const
{
    auto query = dm().NewQuery();
    open(*query, QStringLiteral("select * from Hosts order by hID"));
    QList<THost> result;
    for (; !query->Eof(); query->Next()) {
        THost host;
        HostFromQuery(*query, host);
        result.append(host);
    }
    return result;
}

int CliStore::userCountOfHost(int hostId) const
{
    auto query = dm().NewQuery();
    open(*query, QStringLiteral("select count(*) from Users where hID = %1").arg(hostId));
    return query->Eof() ? 0 : query->Fields(0).AsInteger();
}

QMap<int, QString> CliStore::osProfiles() const
{
    auto query = dm().NewQuery();
    open(*query, QStringLiteral("select OSID, OSName from UnixOS order by OSID"));
    QMap<int, QString> profiles;
    for (; !query->Eof(); query->Next())
        profiles.insert(query->Fields(0).AsInteger(), query->FieldByName(QStringLiteral("OSName")).AsString());
    return profiles;
}

std::optional<int> CliStore::osIdByName(const QString& name) const
{
    const QString wanted = name.trimmed();
    if (wanted.isEmpty() || wanted.compare(OtherOsName, Qt::CaseInsensitive) == 0)
        return -1;
    const QMap<int, QString> profiles = osProfiles();
    for (auto it = profiles.constBegin(); it != profiles.constEnd(); ++it)
        if (it.value().compare(wanted, Qt::CaseInsensitive) == 0)
            return it.key();
    return std::nullopt;
}

QString CliStore::osName(const QMap<int, QString>& profiles, int osid)
{
    return profiles.value(osid, OtherOsName);
}

QList<TUser> CliStore::users(const QString& condition) const
{
    // The user list's own statement, so HostIP and HostPort come out exactly as the GUI shows them.
    QString statement = UserListStatement();
    if (!condition.isEmpty())
        statement += QStringLiteral(" and (") + condition + QLatin1Char(')');
    statement += QStringLiteral(" order by a.uID");
    auto query = dm().NewQuery();
    open(*query, statement);
    QList<TUser> result;
    const TUserReader reader(*query);
    for (; !query->Eof(); query->Next()) {
        TUser user;
        reader.Read(user);
        result.append(user);
    }
    return result;
}

std::optional<TUser> CliStore::findUser(const THost& host, const QString& login) const
{
    const QList<TUser> found = users(QStringLiteral("a.hID = %1 and a.LoginName = '%2'")
                                         .arg(QString::number(host.hID), TdmPublic::SqlEscape(login)));
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

TUser CliStore::requireUser(const CliHostAddress& address, const QString& login) const
{
    const THost host = requireHost(address);
    const std::optional<TUser> user = findUser(host, login);
    if (!user)
        throw CliError::failure(QStringLiteral("no user '%1' on host %2: see the users with 'veltrane-cli list'")
                                    .arg(login, address.toString()));
    return *user;
}
