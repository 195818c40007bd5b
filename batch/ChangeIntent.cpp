#include "batch/ChangeIntent.h"

#include "core/DatabaseError.h"
#include "core/DayNumber.h"
#include "core/TdmPublic.h"

#include <sqlcipher/sqlite3.h>

#include <QLocale>

namespace {

const QString kIntentSelect =
    QStringLiteral("select pwNow, pwNew, pwLastTime, pwIntent, pwIntentTime%1 from Users where uID = %2");

} // namespace

bool RefreshPasswords(TdmPublic& dm, TUser& user)
{
    if (!dm.IntentColumns)
        return false;
    try {
        auto query = dm.NewQuery();
        query->SelectSQL =
            kIntentSelect.arg(dm.CandidatesColumn ? QStringLiteral(", pwCandidates") : QString()).arg(user.uID);
        query->Open();
        if (query->Eof())
            return false;
        user.pwNow = query->Fields(0).AsString();
        user.pwNew = query->Fields(1).AsString();
        user.pwLastTime = query->Fields(2).IsNull() ? DayNumber::None : query->Fields(2).AsFloat();
        user.pwIntent = query->Fields(3).AsString();
        user.pwIntentTime = query->Fields(4).IsNull() ? DayNumber::None : query->Fields(4).AsFloat();
        if (dm.CandidatesColumn)
            user.pwCandidates = query->Fields(5).AsString();
        return true;
    } catch (const DatabaseError&) {
        // The step then works on the record it was given, as before; a database that cannot be
        // read now will refuse the intent too, so no change starts on stale data.
        return false;
    }
}

void RecordChangeIntent(TdmPublic& dm, TUser& user, double time)
{
    TDBSession& session = dm.DBSession;
    // Whatever the outcome, the password about to go out may end up being the host's.
    TUser kept = user;
    KeepPasswordCandidate(kept, user.pwNew);
    session.StartTransaction();
    try {
        // Stored passwords are hexadecimal digits; escaping keeps a damaged one inside its quotes.
        session.Execute(
            QStringLiteral("Update Users set pwIntent = '%1', pwIntentTime = %2%3 where uID = %4")
                .arg(TdmPublic::SqlEscape(user.pwNew), DayNumber::Format(time),
                     dm.CandidatesColumn
                         ? QStringLiteral(", pwCandidates = '%1'").arg(TdmPublic::SqlEscape(kept.pwCandidates))
                         : QString())
                .arg(user.uID));
        if (sqlite3_changes(session.Handle()) != 1)
            throw DatabaseError(QStringLiteral("the user is no longer in the database"));
        session.Commit();
    } catch (const DatabaseError&) {
        session.Rollback();
        throw;
    }
    user.pwIntent = user.pwNew;
    user.pwIntentTime = time;
    if (dm.CandidatesColumn)
        user.pwCandidates = kept.pwCandidates;
}

bool DropChangeIntent(TdmPublic& dm, int uID)
{
    if (!dm.IntentColumns)
        return true;
    auto query = dm.NewQuery();
    // A password stated by hand settles which one the host has: the passwords sent before go too.
    query->SelectSQL = QStringLiteral("Update Users set pwIntent = '', pwIntentTime = -1%1 where uID = %2")
                           .arg(dm.CandidatesColumn ? QStringLiteral(", pwCandidates = ''") : QString())
                           .arg(uID);
    return dm.OpenQuery(*query);
}

QList<TUser> UsersWithOpenIntent(TdmPublic& dm)
{
    QList<TUser> users;
    if (!dm.IntentColumns)
        return users;
    try {
        auto query = dm.NewQuery();
        query->SelectSQL = UserListStatement() + QStringLiteral(" and pwIntent <> '' order by uID");
        query->Open();
        const TUserReader reader(*query);
        for (; !query->Eof(); query->Next()) {
            TUser user;
            reader.Read(user);
            users << user;
        }
    } catch (const DatabaseError&) {
        users.clear();
    }
    return users;
}

QString OpenIntentText(const TUser& user)
{
    QString since;
    if (user.pwIntentTime != DayNumber::None)
        since = QStringLiteral(" on ") +
                QLocale::c().toString(DayNumber::ToDateTime(user.pwIntentTime), QStringLiteral("MMM d, yyyy hh:mm"));
    return QStringLiteral("Change not confirmed: a change to the new password was started") + since +
           QStringLiteral(" and its outcome was never saved; either password may be the one in use. Run Verify "
                          "Password to find out.");
}
