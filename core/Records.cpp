#include "core/Records.h"

#include "core/PasswordCipher.h"
#include "core/TSelfQuery.h"

#include <exception>

void ClearHost(THost& host)
{
    host = THost{};
}

void ClearUser(TUser& user)
{
    user = TUser{};
}

QStringList PasswordCandidates(const TUser& user)
{
    return user.pwCandidates.split(QLatin1Char(','), Qt::SkipEmptyParts);
}

void KeepPasswordCandidate(TUser& user, const QString& enciphered)
{
    if (enciphered.isEmpty())
        return;
    // The cipher starts at a random value, so the same password is found by its plain text.
    const QString plain = DecipherPassword(enciphered);
    QStringList kept{enciphered};
    for (const QString& candidate : PasswordCandidates(user))
        if (kept.size() < MaxPasswordCandidates && DecipherPassword(candidate) != plain)
            kept << candidate;
    user.pwCandidates = kept.join(QLatin1Char(','));
}

namespace {
// The position of a column that a database written by an earlier version may lack, or -1.
int optionalField(const TSelfQuery& query, const QString& name)
{
    try {
        return query.FieldIndex(name);
    } catch (const std::exception&) {
        return -1;
    }
}
} // namespace

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
    // A database that could not gain these columns (opened read-only) reads as "no elevation, no key
    // passphrase, switches off".
    if (const int column = optionalField(query, QStringLiteral("MngElevation")); column >= 0)
        host.MngElevation = ElevationFromValue(query.Fields(column).AsInteger());
    if (const int column = optionalField(query, QStringLiteral("MngRootPwd")); column >= 0)
        host.MngRootPwd = query.Fields(column).AsString();
    if (const int column = optionalField(query, QStringLiteral("MngKeyPass")); column >= 0)
        host.MngKeyPass = query.Fields(column).AsString();
    if (const int column = optionalField(query, QStringLiteral("MngUseAgent")); column >= 0)
        host.MngUseAgent = query.Fields(column).AsInteger() != 0;
    if (const int column = optionalField(query, QStringLiteral("hLegacyAlgorithms")); column >= 0)
        host.hLegacyAlgorithms = query.Fields(column).AsInteger() != 0;
}

QString MaskPassword(const QString& text)
{
    return text.isEmpty() ? QString() : QStringLiteral("********");
}

QString UserListStatement(int hostId)
{
    QString statement = QStringLiteral("select a.*,(select hAddress from hosts  where a.hID= hID) HostIP,(select hPort "
                                       "from hosts where a.hID= hID) HostPort from users a where 1=1 ");
    if (hostId != -1)
        statement += QStringLiteral(" and hid = ") + QString::number(hostId);
    return statement;
}

TUserReader::TUserReader(const TSelfQuery& query)
    : m_query(query), m_uID(query.FieldIndex(QStringLiteral("uID"))), m_hID(query.FieldIndex(QStringLiteral("hID"))),
      m_LoginName(query.FieldIndex(QStringLiteral("loginname"))), m_pwNow(query.FieldIndex(QStringLiteral("pwNow"))),
      m_pwNew(query.FieldIndex(QStringLiteral("pwNew"))), m_uName(query.FieldIndex(QStringLiteral("uName"))),
      m_pwPeriod(query.FieldIndex(QStringLiteral("pwPeriod"))), m_RecTime(query.FieldIndex(QStringLiteral("RecTime"))),
      m_pwLastTime(query.FieldIndex(QStringLiteral("pwLastTime"))),
      m_HostIP(query.FieldIndex(QStringLiteral("HostIP"))), m_HostPort(query.FieldIndex(QStringLiteral("HostPort"))),
      m_Email(query.FieldIndex(QStringLiteral("Email"))), m_uRemark(query.FieldIndex(QStringLiteral("uRemark"))),
      m_LastLog(query.FieldIndex(QStringLiteral("LastLog"))),
      m_pwIntent(optionalField(query, QStringLiteral("pwIntent"))),
      m_pwIntentTime(optionalField(query, QStringLiteral("pwIntentTime"))),
      m_pwCandidates(optionalField(query, QStringLiteral("pwCandidates")))
{
}

void TUserReader::Read(TUser& user) const
{
    ClearUser(user);
    user.uID = m_query.Fields(m_uID).AsInteger();
    user.hID = m_query.Fields(m_hID).AsInteger();
    user.LoginName = m_query.Fields(m_LoginName).AsString();
    user.pwNow = m_query.Fields(m_pwNow).AsString();
    user.pwNew = m_query.Fields(m_pwNew).AsString();
    user.uName = m_query.Fields(m_uName).AsString();
    user.pwPeriod = m_query.Fields(m_pwPeriod).AsInteger();
    user.RecTime = m_query.Fields(m_RecTime).AsFloat();
    user.pwLastTime = m_query.Fields(m_pwLastTime).AsFloat();
    user.HostIP = m_query.Fields(m_HostIP).AsString();
    user.HostPort = m_query.Fields(m_HostPort).AsInteger();
    user.Email = m_query.Fields(m_Email).AsString();
    user.uRemark = m_query.Fields(m_uRemark).AsString();
    user.LastLog = m_query.Fields(m_LastLog).AsString();
    if (m_pwIntent >= 0)
        user.pwIntent = m_query.Fields(m_pwIntent).AsString();
    if (m_pwIntentTime >= 0 && !m_query.Fields(m_pwIntentTime).IsNull())
        user.pwIntentTime = m_query.Fields(m_pwIntentTime).AsFloat();
    if (m_pwCandidates >= 0)
        user.pwCandidates = m_query.Fields(m_pwCandidates).AsString();
}
