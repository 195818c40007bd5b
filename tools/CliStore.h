#pragma once

#include "core/Records.h"
#include "tools/CliHostAddress.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

class CliContext;
class TdmPublic;
class TSelfQuery;

/// The reads the commands share: hosts by address and port, OS profiles by name, users with
/// their host's address and port (the user list's query). A failed read throws a CliError.
class CliStore
{
public:
    explicit CliStore(CliContext& context);

    TdmPublic& dm() const;

    std::optional<THost> findHost(const CliHostAddress& address) const;
    /// The host or a failure that names it and says how to list the hosts.
    THost requireHost(const CliHostAddress& address) const;
    /// Every host, in identifier order.
    QList<THost> hosts() const;
    int userCountOfHost(int hostId) const;

    /// OSID to OSName of every profile.
    QMap<int, QString> osProfiles() const;
    /// The profile named name (case ignored); "Other OS..." and empty give -1. nullopt when unknown.
    std::optional<int> osIdByName(const QString& name) const;
    /// The name shown for an OSID: the profile's name, or "Other OS..." for -1 or a missing profile.
    static QString osName(const QMap<int, QString>& profiles, int osid);
    static inline const QString OtherOsName = QStringLiteral("Other OS...");

    /// Users with HostIP and HostPort, in host then user order; condition is an SQL condition on
    /// the user row "a" (empty: all users).
    QList<TUser> users(const QString& condition = QString()) const;
    std::optional<TUser> findUser(const THost& host, const QString& login) const;
    /// The user or a failure that names it.
    TUser requireUser(const CliHostAddress& address, const QString& login) const;

private:
    void open(TSelfQuery& query, const QString& statement) const;

    CliContext& m_context;
};
