#include "tools/CliImport.h"

#include "core/NameRules.h"
#include "core/PasswordRules.h"

#include "core/DayNumber.h"
#include "core/PasswordCipher.h"
#include "core/TdmPublic.h"
#include "tools/CliArguments.h"
#include "tools/CliContext.h"
#include "tools/CliCsvColumns.h"
#include "tools/CliError.h"
#include "tools/CliFieldRules.h"
#include "tools/CliHelp.h"
#include "tools/CliHostAddress.h"
#include "tools/CliOutput.h"
#include "tools/CliStore.h"
#include "tools/CliTransaction.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

/// Reads the fields of one row by column name; a column the header leaves out reads as empty.
class RowReader
{
public:
    RowReader(const CsvRecord& record, const QHash<QString, int>& columns) : m_record(record), m_columns(columns) {}
    QString operator()(const QString& column) const
    {
        const int index = m_columns.value(column, -1);
        return index < 0 ? QString() : m_record.fields.value(index);
    }
    QString trimmed(const QString& column) const { return (*this)(column).trimmed(); }

private:
    const CsvRecord& m_record;
    const QHash<QString, int>& m_columns;
};

/// Refuses every field of record that holds a control character (a NUL would cut the text where it is
/// stored), naming its column; returns whether there was none. Passwords have a check of their own.
bool refuseControlCharacters(const CsvRecord& record, const QHash<QString, int>& columns, QList<CsvProblem>& problems)
{
    bool clean = true;
    for (int i = 0; i < record.fields.size(); ++i) {
        const QString name = columns.key(i);
        if (CliCsvColumns::Secrets.contains(name))
            continue;
        const QString found = FirstControlCharacter(record.fields[i], CliCsvColumns::MultiLine.contains(name));
        if (found.isEmpty())
            continue;
        problems.append(
            {record.line, QStringLiteral("column %1 (%2) holds the control character %3; remove it")
                              .arg(QString::number(i + 1), name.isEmpty() ? QStringLiteral("?") : name, found)});
        clean = false;
    }
    return clean;
}

/// Adds problem, without its trailing blank, when there is one.
void refuseName(const QString& problem, const CsvRecord& record, QList<CsvProblem>& problems)
{
    if (!problem.isEmpty())
        problems.append({record.line, problem.trimmed()});
}

QByteArray readInput(const QString& path)
{
    QFile file;
    const bool opened = path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly)
                                                   : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened)
        throw CliError::failure(QStringLiteral("cannot read %1 (%2): check the path").arg(path, file.errorString()));
    return file.readAll();
}

/// The key under which duplicates are found: hosts by address and port, users by host and login.
QString hostKey(const QString& address, int port)
{
    return address + QLatin1Char(':') + QString::number(port);
}

QString userKey(int hostId, const QString& login)
{
    return QString::number(hostId) + QLatin1Char('\n') + login;
}

} // namespace

QHash<QString, int> CliImport::ReadHeader(const CsvRecord& header, const QStringList& known,
                                          const QStringList& required, QList<CsvProblem>& problems)
{
    QHash<QString, int> columns;
    for (int i = 0; i < header.fields.size(); ++i) {
        const QString name = header.fields[i].trimmed().toLower();
        if (!known.contains(name))
            problems.append({header.line, QStringLiteral("unknown column '%1' in the header; the columns are %2")
                                              .arg(header.fields[i], known.join(QStringLiteral(", ")))});
        else if (columns.contains(name))
            problems.append({header.line, QStringLiteral("column '%1' appears twice in the header").arg(name)});
        else
            columns.insert(name, i);
    }
    for (const QString& name : required)
        if (!columns.contains(name))
            problems.append({header.line, QStringLiteral("the header has no column '%1'").arg(name)});
    return columns;
}

int CliImport::run(const QStringList& arguments)
{
    const CliArguments args(arguments, {}, {});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("import")));
        return ExitOk;
    }
    args.requirePositional(2, QStringLiteral("what to import (hosts or users) and the FILE.csv"));
    const QString kind = args.positional()[0];
    const bool hosts = kind == QLatin1String("hosts");
    if (!hosts && kind != QLatin1String("users"))
        throw CliError::usage(QStringLiteral("import takes 'hosts' or 'users', not '%1'").arg(kind));
    const QString path = args.positional()[1];

    const QByteArray data = readInput(path);
    CliCsv::Document document = CliCsv::parse(data);
    QList<CsvProblem> problems = document.problems;
    if (document.records.isEmpty())
        throw CliError::failure(
            QStringLiteral("%1 is empty: it needs a header row (%2) and one row per %3")
                .arg(path, (hosts ? CliCsvColumns::Hosts : CliCsvColumns::Users).join(QStringLiteral(",")),
                     hosts ? QStringLiteral("host") : QStringLiteral("user")));
    const CsvRecord header = document.records.takeFirst();
    const qsizetype problemsBeforeHeader = problems.size();
    const QHash<QString, int> columns =
        ReadHeader(header, hosts ? CliCsvColumns::Hosts : CliCsvColumns::Users,
                   hosts ? CliCsvColumns::RequiredHosts : CliCsvColumns::RequiredUsers, problems);
    // With a wrong header every row would repeat the same complaint; the header is the one to fix.
    if (problems.size() > problemsBeforeHeader)
        document.records.clear();
    for (const CsvRecord& record : std::as_const(document.records))
        if (record.fields.size() != header.fields.size())
            problems.append(
                {record.line, QStringLiteral("%1 fields where the header has %2; quote fields that "
                                             "hold commas")
                                  .arg(QString::number(record.fields.size()), QString::number(header.fields.size()))});

    const int imported =
        hosts ? importHosts(document.records, columns, problems) : importUsers(document.records, columns, problems);
    if (imported < 0) {
        std::stable_sort(problems.begin(), problems.end(),
                         [](const CsvProblem& a, const CsvProblem& b) { return a.line < b.line; });
        QStringList lines;
        for (const CsvProblem& problem : std::as_const(problems)) {
            CliOutput::error(QStringLiteral("%1:%2: %3").arg(path, QString::number(problem.line), problem.message));
            if (!lines.contains(QString::number(problem.line)))
                lines.append(QString::number(problem.line));
        }
        throw CliError::failure(
            QStringLiteral("import of %1 refused, nothing was stored: fix line%2 %3 and import "
                           "the whole file again")
                .arg(path, lines.size() == 1 ? QString() : QStringLiteral("s"), lines.join(QStringLiteral(", "))));
    }
    CliOutput::out(
        QStringLiteral("Imported %1 %2 from %3.\n")
            .arg(QString::number(imported), hosts ? QStringLiteral("host(s)") : QStringLiteral("user(s)"), path));
    return ExitOk;
}

int CliImport::importHosts(const QList<CsvRecord>& records, const QHash<QString, int>& columns,
                           QList<CsvProblem>& problems)
{
    const CliStore store(m_context);
    const QMap<int, QString> profiles = store.osProfiles();
    QHash<QString, int> seen; // address:port -> line, 0 for hosts already in the database
    for (const THost& host : store.hosts())
        seen.insert(hostKey(host.hAddress, host.hPort), 0);

    QList<THost> rows;
    int nextId = store.dm().NextHostId();
    for (const CsvRecord& record : records) {
        const RowReader row(record, columns);
        const qsizetype before = problems.size();
        auto refuse = [&](const QString& message) {
            problems.append({record.line, message});
        };

        THost host;
        host.hID = nextId++;
        // The row's other checks would only repeat what such a field breaks.
        if (!refuseControlCharacters(record, columns, problems))
            continue;
        host.hAddress = BareHostAddress(row.trimmed(QStringLiteral("address")));
        if (host.hAddress.isEmpty())
            refuse(QStringLiteral("missing address"));
        else
            refuseName(HostAddressProblem(host.hAddress, QStringLiteral("address")), record, problems);
        const std::optional<int> port = CliHostAddress::parsePort(row(QStringLiteral("port")));
        if (!port)
            refuse(QStringLiteral("bad port '%1': give a number from 1 to 65535").arg(row(QStringLiteral("port"))));
        host.hPort = port.value_or(CliHostAddress::DefaultPort);

        const QString osName = row.trimmed(QStringLiteral("os"));
        host.OSID = -1;
        if (!osName.isEmpty() && osName.compare(CliStore::OtherOsName, Qt::CaseInsensitive) != 0) {
            const QList<int> ids = profiles.keys();
            const auto match = std::find_if(ids.begin(), ids.end(), [&](int id) {
                return profiles.value(id).compare(osName, Qt::CaseInsensitive) == 0;
            });
            if (match == ids.end())
                refuse(QStringLiteral("unknown OS profile '%1': use one of %2 or \"%3\"")
                           .arg(osName, profiles.values().join(QStringLiteral(", ")), CliStore::OtherOsName));
            else
                host.OSID = *match;
        }

        host.MngLogin = row.trimmed(QStringLiteral("manager_login"));
        if (!host.MngLogin.isEmpty())
            refuseName(LoginNameProblem(host.MngLogin, QStringLiteral("manager_login")), record, problems);
        for (const auto& [column, field] :
             {std::pair{"use_agent", &host.MngUseAgent}, std::pair{"legacy_algorithms", &host.hLegacyAlgorithms}}) {
            const QString text = row(QLatin1String(column));
            if (const std::optional<bool> on = CliFieldRules::parseSwitch(text))
                *field = *on;
            else
                refuse(QStringLiteral("bad %1 '%2': write yes or no (or 1 or 0)").arg(QLatin1String(column), text));
        }
        const QString loginAs = row.trimmed(QStringLiteral("login_as"));
        if (loginAs.isEmpty()) {
            host.UseManager =
                host.MngLogin.isEmpty() ? CliFieldRules::UseUserAccount : CliFieldRules::UseManagerAccount;
        } else if (const std::optional<int> value = CliFieldRules::parseLoginAs(loginAs)) {
            host.UseManager = *value;
        } else {
            refuse(QStringLiteral("bad login_as '%1': write manager or user").arg(loginAs));
        }
        const QString managerPassword = row(QStringLiteral("manager_password"));
        const QString rootPassword = row(QStringLiteral("root_password"));
        const QString keyPassphrase = row(QStringLiteral("manager_key_passphrase"));
        for (const char* column : {"manager_password", "root_password", "manager_key_passphrase"})
            if (const QString problem = PasswordProblem(row(QLatin1String(column))); !problem.isEmpty())
                refuse(QLatin1String(column) + QStringLiteral(": ") + problem.trimmed());
        const QString keyPath = row.trimmed(QStringLiteral("manager_key"));
        if (!keyPath.isEmpty()) {
            // Relative paths would mean another file once the program runs from elsewhere.
            if (QFileInfo(keyPath).isRelative())
                refuse(QStringLiteral("manager_key '%1' is not an absolute path").arg(keyPath));
            host.MngKeyPath = keyPath;
        } else if (!keyPassphrase.isEmpty()) {
            refuse(QStringLiteral("manager_key_passphrase given without a manager_key"));
        }
        const QString elevate = row.trimmed(QStringLiteral("elevate"));
        if (const std::optional<TElevation> elevation =
                ParseElevation(elevate.isEmpty() ? QStringLiteral("none") : elevate))
            host.MngElevation = *elevation;
        else
            refuse(QStringLiteral("bad elevate '%1': write none, sudo or su").arg(elevate));
        if (host.MngElevation == TElevation::Su && rootPassword.isEmpty())
            refuse(QStringLiteral("elevate su needs a root_password"));
        else if (host.MngElevation != TElevation::Su && !rootPassword.isEmpty())
            refuse(QStringLiteral("root_password given, but only elevate su uses it"));
        if (host.UseManager == CliFieldRules::UseManagerAccount && host.MngLogin.isEmpty())
            refuse(QStringLiteral("login_as manager needs a manager_login"));
        if (host.UseManager == CliFieldRules::UseManagerAccount && managerPassword.isEmpty() && keyPath.isEmpty())
            refuse(QStringLiteral("login_as manager needs a manager_password (or a manager_key)"));
        host.hNote = row(QStringLiteral("note"));

        if (port && !host.hAddress.isEmpty()) {
            const QString key = hostKey(host.hAddress, host.hPort);
            const auto previous = seen.constFind(key);
            if (previous != seen.constEnd())
                refuse(previous.value() == 0
                           ? QStringLiteral("host %1 is already in the database").arg(key)
                           : QStringLiteral("host %1 is also on line %2").arg(key, QString::number(previous.value())));
            else
                seen.insert(key, record.line);
        }
        if (problems.size() == before) {
            host.MngPwd = EncipherPassword(managerPassword);
            host.MngRootPwd = EncipherPassword(rootPassword);
            host.MngKeyPass = EncipherPassword(keyPassphrase);
            rows.append(host);
        }
    }
    if (!problems.isEmpty())
        return -1;

    CliTransaction transaction(store.dm().DBSession);
    for (const THost& host : std::as_const(rows))
        if (!store.dm().SaveHost(host, TSaveMode::Insert))
            m_context.statementFailed(QStringLiteral("import refused, nothing was stored"));
    transaction.commit();
    return static_cast<int>(rows.size());
}

int CliImport::importUsers(const QList<CsvRecord>& records, const QHash<QString, int>& columns,
                           QList<CsvProblem>& problems)
{
    const CliStore store(m_context);
    QHash<QString, int> hostIds; // address:port -> hID
    for (const THost& host : store.hosts())
        hostIds.insert(hostKey(host.hAddress, host.hPort), host.hID);
    QHash<QString, int> seen; // hID + login -> line, 0 for users already in the database
    {
        auto query = store.dm().NewQuery();
        query->SelectSQL = QStringLiteral("select hID, LoginName from Users");
        if (!store.dm().OpenQuery(*query))
            m_context.statementFailed(QStringLiteral("could not read the users"));
        for (; !query->Eof(); query->Next())
            seen.insert(userKey(query->Fields(0).AsInteger(), query->Fields(1).AsString()), 0);
    }

    QList<TUser> rows;
    rows.reserve(records.size());
    int nextId = store.dm().NextUserId();
    const double now = DayNumber::Now();
    for (const CsvRecord& record : records) {
        const RowReader row(record, columns);
        const qsizetype before = problems.size();
        auto refuse = [&](const QString& message) {
            problems.append({record.line, message});
        };

        TUser user;
        user.uID = nextId++;
        if (!refuseControlCharacters(record, columns, problems))
            continue;
        const QString address = BareHostAddress(row.trimmed(QStringLiteral("address")));
        const std::optional<int> port = CliHostAddress::parsePort(row(QStringLiteral("port")));
        if (address.isEmpty())
            refuse(QStringLiteral("missing address"));
        if (!port)
            refuse(QStringLiteral("bad port '%1': give a number from 1 to 65535").arg(row(QStringLiteral("port"))));
        const QString host = hostKey(address, port.value_or(CliHostAddress::DefaultPort));
        bool hostFound = false;
        if (!address.isEmpty() && port) {
            const auto found = hostIds.constFind(host);
            if (found == hostIds.constEnd()) {
                refuse(QStringLiteral("unknown host %1: add it first with 'veltrane-cli host add' or 'import hosts'")
                           .arg(host));
            } else {
                user.hID = found.value();
                hostFound = true;
            }
        }
        user.LoginName = row.trimmed(QStringLiteral("login"));
        if (user.LoginName.isEmpty())
            refuse(QStringLiteral("missing login"));
        else
            refuseName(LoginNameProblem(user.LoginName, QStringLiteral("login")), record, problems);
        const QString password = row(QStringLiteral("password"));
        if (password.isEmpty())
            refuse(QStringLiteral("missing password"));
        for (const char* column : {"password", "new_password"})
            if (const QString problem = PasswordProblem(row(QLatin1String(column))); !problem.isEmpty())
                refuse(QLatin1String(column) + QStringLiteral(": ") + problem.trimmed());
        const std::optional<int> period = CliFieldRules::parsePeriod(row(QStringLiteral("period")));
        if (!period)
            refuse(QStringLiteral("bad period '%1': give a number of days, or leave it empty for none")
                       .arg(row(QStringLiteral("period"))));
        user.pwPeriod = period.value_or(-1);
        user.uName = row(QStringLiteral("full_name"));
        user.Email = row.trimmed(QStringLiteral("email"));
        user.uRemark = row(QStringLiteral("remark"));

        if (hostFound && !user.LoginName.isEmpty()) {
            const QString key = userKey(user.hID, user.LoginName);
            const auto previous = seen.constFind(key);
            if (previous != seen.constEnd())
                refuse(previous.value() == 0
                           ? QStringLiteral("user %1 on %2 is already in the database").arg(user.LoginName, host)
                           : QStringLiteral("user %1 on %2 is also on line %3")
                                 .arg(user.LoginName, host, QString::number(previous.value())));
            else
                seen.insert(key, record.line);
        }
        if (problems.size() == before) {
            user.pwNow = EncipherPassword(password);
            user.pwNew = EncipherPassword(row(QStringLiteral("new_password")));
            user.RecTime = now;
            user.pwLastTime = DayNumber::None;
            rows.append(user);
        }
    }
    if (!problems.isEmpty())
        return -1;

    CliTransaction transaction(store.dm().DBSession);
    for (const TUser& user : std::as_const(rows))
        if (!store.dm().SaveUser(user, TSaveMode::Insert))
            m_context.statementFailed(QStringLiteral("import refused, nothing was stored"));
    transaction.commit();
    return static_cast<int>(rows.size());
}
