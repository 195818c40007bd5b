#include "tools/CliList.h"

#include "batch/ChangeIntent.h"
#include "core/DayNumber.h"
#include "core/TdmPublic.h"
#include "core/UserListColumns.h"
#include "tools/CliArguments.h"
#include "tools/CliContext.h"
#include "tools/CliError.h"
#include "tools/CliFieldRules.h"
#include "tools/CliHelp.h"
#include "tools/CliJsonWriter.h"
#include "tools/CliOutput.h"
#include "tools/CliStore.h"

#include <cstdio>

namespace {

// Only the columns a listing shows, with the host's address and port as the user list computes
// them: the transcripts in LastLog would be most of the data read and none of what is shown.
// %1: the change-in-flight columns, or empty texts for a file that could not gain them.
const char* const kUsersStatement =
    "select a.uID, a.hID, a.LoginName, a.pwNow, a.pwNew, a.pwPeriod, a.pwLastTime, a.uName, a.Email, a.uRemark,"
    " (select hAddress from hosts where a.hID = hID) HostIP, (select hPort from hosts where a.hID = hID) HostPort,"
    " %1 from users a order by a.uID";

/// One user row as the listing reads it.
struct ListedUser
{
    TUser user;
    QString periodText;
    QString passedText;
};

template <typename Each> void forEachUser(CliContext& context, Each each)
{
    TdmPublic& dm = context.dm();
    auto query = dm.NewQuery();
    query->SelectSQL = QString::fromLatin1(kUsersStatement)
                           .arg(dm.IntentColumns ? QStringLiteral("a.pwIntent, a.pwIntentTime")
                                                 : QStringLiteral("'' pwIntent, -1 pwIntentTime"));
    if (!dm.OpenQuery(*query))
        context.statementFailed(QStringLiteral("could not read the users"));
    const QDateTime now = DayNumber::CurrentDateTime();
    ListedUser row;
    for (; !query->Eof(); query->Next()) {
        TUser& user = row.user;
        user.uID = query->Fields(0).AsInteger();
        user.hID = query->Fields(1).AsInteger();
        user.LoginName = query->Fields(2).AsString();
        user.pwNow = query->Fields(3).AsString();
        user.pwNew = query->Fields(4).AsString();
        user.pwPeriod = query->Fields(5).AsInteger();
        user.pwLastTime = query->Fields(6).AsFloat();
        user.uName = query->Fields(7).AsString();
        user.Email = query->Fields(8).AsString();
        user.uRemark = query->Fields(9).AsString();
        user.HostIP = query->Fields(10).AsString();
        user.HostPort = query->Fields(11).AsInteger();
        user.pwIntent = query->Fields(12).AsString();
        user.pwIntentTime = query->Fields(13).IsNull() ? DayNumber::None : query->Fields(13).AsFloat();
        row.periodText = user.pwPeriod == -1 ? QString() : QString::number(user.pwPeriod);
        row.passedText = PassedDaysText(user.pwLastTime, now);
        each(row);
    }
}

QString orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

void numberOrNull(CliJsonWriter& json, const QString& text)
{
    if (text.isEmpty())
        json.null();
    else
        json.value(text.toLongLong());
}

void writeOut(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

} // namespace

int CliList::run(const QStringList& arguments)
{
    const CliArguments args(arguments, {QStringLiteral("json")}, {});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("list")));
        return ExitOk;
    }
    args.requirePositional(0, QString());
    const CliStore store(m_context);
    const QList<THost> hosts = store.hosts();
    const QMap<int, QString> profiles = store.osProfiles();

    if (args.has(QStringLiteral("json"))) {
        // One host, user or profile per line: valid JSON that still reads and greps well.
        CliJsonWriter json;
        json.reserve(1 << 20);
        json.beginObject();
        json.key("hosts");
        json.beginArray();
        for (const THost& host : hosts) {
            json.newline();
            json.beginObject();
            json.key("id"), json.value(qint64(host.hID));
            json.key("address"), json.value(host.hAddress);
            json.key("port"), json.value(qint64(host.hPort));
            json.key("osId"), json.value(qint64(host.OSID));
            json.key("os"), json.value(CliStore::osName(profiles, host.OSID));
            json.key("managerLogin"), json.value(host.MngLogin);
            json.key("loginAs"), json.value(CliFieldRules::loginAsText(host.UseManager));
            json.key("elevate"), json.value(ElevationName(host.MngElevation));
            json.key("managerKey"), json.value(host.MngKeyPath);
            json.key("useAgent"), json.value(host.MngUseAgent);
            json.key("legacyAlgorithms"), json.value(host.hLegacyAlgorithms);
            json.key("note"), json.value(host.hNote);
            json.endObject();
        }
        json.endArray();
        json.newline();
        json.key("users");
        json.beginArray();
        forEachUser(m_context, [&json](const ListedUser& row) {
            const TUser& user = row.user;
            json.newline();
            json.beginObject();
            json.key("id"), json.value(qint64(user.uID));
            json.key("hostId"), json.value(qint64(user.hID));
            json.key("address"), json.value(user.HostIP);
            json.key("port"), json.value(qint64(user.HostPort));
            json.key("login"), json.value(user.LoginName);
            json.key("hasPassword"), json.value(!user.pwNow.isEmpty());
            json.key("newPasswordPending"), json.value(!user.pwNew.isEmpty());
            json.key("changeUnconfirmed"), json.value(user.HasOpenIntent());
            json.key("period"), numberOrNull(json, row.periodText);
            json.key("passedDays"), numberOrNull(json, row.passedText);
            json.key("dueSoon"), json.value(PasswordDueSoon(row.periodText, row.passedText));
            json.key("lastChange");
            if (user.pwLastTime == DayNumber::None)
                json.null();
            else
                json.value(DayNumber::ToDateTime(user.pwLastTime).toString(Qt::ISODate));
            json.key("fullName"), json.value(user.uName);
            json.key("email"), json.value(user.Email);
            json.key("remark"), json.value(user.uRemark);
            json.endObject();
        });
        json.endArray();
        json.newline();
        json.key("osProfiles");
        json.beginArray();
        for (auto it = profiles.constBegin(); it != profiles.constEnd(); ++it) {
            json.newline();
            json.beginObject();
            json.key("id"), json.value(qint64(it.key()));
            json.key("name"), json.value(it.value());
            json.endObject();
        }
        json.endArray();
        json.newline();
        json.endObject();
        writeOut(json.text() + '\n');
        return ExitOk;
    }

    QString text = QStringLiteral("Hosts:\n");
    for (const THost& host : hosts)
        // The fixed part through arg() in one pass, the switches and the note appended: a note may hold "%1".
        text += CliOutput::data(QStringLiteral("  %1  %2:%3  os=%4  manager=%5  login-as=%6  elevate=%7  key=%8")
                                    .arg(QString::number(host.hID), host.hAddress, QString::number(host.hPort),
                                         CliStore::osName(profiles, host.OSID), orDash(host.MngLogin),
                                         CliFieldRules::loginAsText(host.UseManager), ElevationName(host.MngElevation),
                                         orDash(host.MngKeyPath)) +
                                QStringLiteral("  use-agent=") + CliFieldRules::switchText(host.MngUseAgent) +
                                QStringLiteral("  legacy-algorithms=") +
                                CliFieldRules::switchText(host.hLegacyAlgorithms) + QStringLiteral("  ") + host.hNote) +
                QLatin1Char('\n');
    text += QStringLiteral("Users:\n");
    forEachUser(m_context, [&text](const ListedUser& row) {
        const TUser& user = row.user;
        // Concatenated, not arg()-filled: a name may itself contain "%1".
        text +=
            CliOutput::data(
                QStringLiteral("  ") + QString::number(user.uID) + QStringLiteral("  ") + user.HostIP +
                QLatin1Char(':') + QString::number(user.HostPort) + QStringLiteral("  ") + user.LoginName +
                QStringLiteral("  password=") + orDash(MaskPassword(user.pwNow)) + QStringLiteral("  new=") +
                orDash(MaskPassword(user.pwNew)) + QStringLiteral("  period=") + orDash(row.periodText) +
                QStringLiteral("  passed=") + orDash(row.passedText) + QStringLiteral("  name=") + user.uName +
                QStringLiteral("  email=") + user.Email +
                (user.HasOpenIntent() ? QStringLiteral("  [") + OpenIntentText(user) + QLatin1Char(']') : QString())) +
            QLatin1Char('\n');
    });
    text += QStringLiteral("OS profiles:\n");
    for (auto it = profiles.constBegin(); it != profiles.constEnd(); ++it)
        text +=
            CliOutput::data(QStringLiteral("  %1  %2").arg(QString::number(it.key()), it.value())) + QLatin1Char('\n');
    CliOutput::out(text);
    return ExitOk;
}
