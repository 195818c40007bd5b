#include "core/Records.h"

#include "core/TSelfQuery.h"

void ClearHost(THost& host)
{
    host = THost{};
}

void ClearUser(TUser& user)
{
    user = TUser{};
}

void HostFromQuery(const TSelfQuery& query, THost& host)
{
    ClearHost(host);
    host.hID = query.FieldByName(QStringLiteral("hID")).AsInteger();
    host.hAddress = query.FieldByName(QStringLiteral("hAddress")).AsString();
    host.hPort = query.FieldByName(QStringLiteral("hPort")).AsInteger();
    host.hNote = query.FieldByName(QStringLiteral("hNote")).AsString();
    host.OSID = query.FieldByName(QStringLiteral("OSID")).AsInteger();
    host.MngLogin = query.FieldByName(QStringLiteral("MngLogin")).AsString();
    host.MngPwd = query.FieldByName(QStringLiteral("MngPwd")).AsString();
    host.MngKeyPath = query.FieldByName(QStringLiteral("MngKeyPath")).AsString();
    host.UseManager = query.FieldByName(QStringLiteral("UseManager")).AsInteger();
}

QString MaskPassword(const QString& text)
{
    return text.isEmpty() ? QString() : QStringLiteral("********");
}
