#include "core/TdmPublic.h"

#include "core/DatabaseError.h"
#include "core/DatabaseKeyProbe.h"
#include "core/DayNumber.h"
#include "core/HostStatements.h"
#include "core/SchemaUpgrade.h"
#include "core/UiServices.h"

#include <QFileInfo>
#include <QThread>

#include <clocale>

TdmPublic* dmPublic = nullptr;

TdmPublic::TdmPublic(const QString& executablePath, const QString& databasePath)
    : OptionsFile(executablePath), m_executablePath(executablePath)
{
    dmPublic = this;
    // Day numbers go into SQL text; they must use a point whatever the user's regional settings.
    std::setlocale(LC_NUMERIC, "C");
    const QString path = databasePath.isEmpty() ? OptionsFile.DatabasePath() : databasePath;
    DBSession.OpenDatabase(path, false);
    m_needsPassword = !DBSession.Connected() && DBSession.KeyRefused() && MayBeUnderPassword(path);
    if (m_needsPassword)
        return;
    if (!DBSession.Connected())
        MsgBox(ClosedDatabaseMessage, ApplicationTitle, StyleError);
    BringSchemaUpToDate();
}

void TdmPublic::BringSchemaUpToDate()
{
    const TSchemaColumns columns = UpgradeSchema(DBSession);
    IntentColumns = columns.intent;
    HostAccessColumns = columns.hostAccess;
    HostSwitchColumns = columns.hostSwitches;
    ProfileRulesTable = columns.profileRules;
    ProfileSuccessTexts = columns.successTexts;
    CandidatesColumn = columns.candidates;
}

bool TdmPublic::OpenWithPassword(const SecretBuffer& password)
{
    // An empty password stands for the built-in key, which has already been refused.
    if (password.isEmpty() || !DBSession.OpenDatabaseWithPassword(DBSession.FileName(), password, false))
        return false;
    m_needsPassword = false;
    BringSchemaUpToDate();
    return true;
}

TdmPublic::~TdmPublic()
{
    DBSession.Close();
    if (dmPublic == this)
        dmPublic = nullptr;
}

QString TdmPublic::ExecutableDir() const
{
    return QFileInfo(m_executablePath).absolutePath();
}

std::unique_ptr<TSelfQuery> TdmPublic::NewQuery()
{
    return std::make_unique<TSelfQuery>(DBSession);
}

QString TdmPublic::OperationErrorText(const QString& message, const QString& statement)
{
    const QString stars(69, QLatin1Char('*'));
    const QChar cr = QLatin1Char('\r');
    return cr + QStringLiteral("Please send the message below to ") + SupportAddress + cr + cr + stars + cr + message +
           cr + stars + cr + cr + statement;
}

bool TdmPublic::OpenQuery(TSelfQuery& query)
{
    try {
        query.Open();
        return true;
    } catch (const DatabaseError& error) {
        query.Close();
        Ui().showRunLog(OperationErrorText(error.message(), query.SelectSQL), QStringLiteral("Operation Error"));
        return false;
    }
}

QString TdmPublic::SqlEscape(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
    return escaped;
}

namespace {
int nextId(TdmPublic& dm, const QString& statement)
{
    auto query = dm.NewQuery();
    query->SelectSQL = statement;
    dm.OpenQuery(*query);
    const TSelfQuery::TField field = query->Active() ? query->Fields(0) : TSelfQuery::TField();
    return field.IsNull() ? 1 : field.AsInteger() + 1;
}
} // namespace

int TdmPublic::NextUserId()
{
    return nextId(*this, QStringLiteral("select max(uID) from Users"));
}

int TdmPublic::NextHostId()
{
    return nextId(*this, QStringLiteral("select max(hID) from Hosts"));
}

bool TdmPublic::SaveHost(const THost& host, TSaveMode mode)
{
    auto query = NewQuery();
    query->SelectSQL = HostSaveStatement(host, mode, HostAccessColumns, HostSwitchColumns);
    return OpenQuery(*query);
}

bool TdmPublic::SaveUser(const TUser& user, TSaveMode mode)
{
    auto query = NewQuery();
    switch (mode) {
    case TSaveMode::Insert:
        query->SelectSQL =
            QStringLiteral("Insert into Users(uID,hID,LoginName,pwNow,pwPeriod,RecTime,pwLastTime,uRemark,pwNew,uName,"
                           "Email,LastLog) Values(") +
            QString::number(user.uID) + QLatin1Char(',') + QString::number(user.hID) + QStringLiteral(",'") +
            SqlEscape(user.LoginName) + QStringLiteral("','") + user.pwNow + QStringLiteral("',") +
            QString::number(user.pwPeriod) + QLatin1Char(',') + DayNumber::Format(user.RecTime) + QLatin1Char(',') +
            DayNumber::Format(user.pwLastTime) + QStringLiteral(",'") + SqlEscape(user.uRemark) +
            QStringLiteral("','") + user.pwNew + QStringLiteral("','") + SqlEscape(user.uName) + QStringLiteral("','") +
            SqlEscape(user.Email) + QStringLiteral("','") + SqlEscape(user.LastLog) + QStringLiteral("')");
        return OpenQuery(*query);
    case TSaveMode::Update:
        query->SelectSQL = QStringLiteral("Update Users set LoginName = '") + SqlEscape(user.LoginName) +
                           QStringLiteral("',pwNow = '") + user.pwNow + QStringLiteral("',pwNew = '") + user.pwNew +
                           QStringLiteral("',uName = '") + SqlEscape(user.uName) + QStringLiteral("',Email = '") +
                           SqlEscape(user.Email) + QStringLiteral("',pwPeriod = ") + QString::number(user.pwPeriod) +
                           QStringLiteral(",RecTime = ") + DayNumber::Format(user.RecTime) +
                           QStringLiteral(", pwLastTime = ") + DayNumber::Format(user.pwLastTime) +
                           QStringLiteral(", uRemark= '") + SqlEscape(user.uRemark) + QStringLiteral("', LastLog= '") +
                           SqlEscape(user.LastLog) + QStringLiteral("' where uID = ") + QString::number(user.uID) +
                           QLatin1Char(' ');
        return OpenQuery(*query);
    case TSaveMode::Delete: {
        query->SelectSQL = QStringLiteral("Delete from Logs where UserId=") + QString::number(user.uID);
        const bool logsDeleted = OpenQuery(*query);
        query->Close();
        query->SelectSQL = QStringLiteral("Delete from Users where uID=") + QString::number(user.uID);
        return OpenQuery(*query) && logsDeleted;
    }
    }
    return false;
}

QString TdmPublic::GetSysParam(const QString& column)
{
    auto query = NewQuery();
    query->SelectSQL = QStringLiteral("select ") + column + QStringLiteral(" from SysParams");
    if (!OpenQuery(*query) || query->Eof())
        return QString();
    return query->Fields(0).AsString();
}

bool TdmPublic::SetSysParam(const QString& column, const QString& value)
{
    auto query = NewQuery();
    query->SelectSQL =
        QStringLiteral("update SysParams set ") + column + QStringLiteral("='") + SqlEscape(value) + QLatin1Char('\'');
    return OpenQuery(*query);
}

bool TdmPublic::PasswordProtectionEnabled()
{
    return GetSysParam(QStringLiteral("EnablePWD")) == QLatin1String("1");
}

bool TdmPublic::SetPasswordProtection(bool on)
{
    return SetSysParam(QStringLiteral("EnablePWD"), on ? QStringLiteral("1") : QStringLiteral("-1"));
}
