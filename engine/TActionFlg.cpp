#include "engine/TActionFlg.h"

#include "core/DatabaseError.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"

namespace {

QString quoted(const QString& text)
{
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString stepValueSelect(int osid, const QString& column, const QString& step)
{
    return QStringLiteral("(select ") + column + QStringLiteral(" from actionflg where OSID = ") +
           QString::number(osid) + QStringLiteral(" and flgname = ") + quoted(step) + QLatin1Char(')');
}

void runStatement(TdmPublic& dm, const QString& statement)
{
    auto query = dm.NewQuery();
    query->SelectSQL = statement;
    dm.OpenQuery(*query);
}

void insertRow(TdmPublic& dm, int osid, const QString& step, const QString& value, int canskip)
{
    runStatement(dm, QString::asprintf("insert into ActionFlg values(%d,'%s','%s',%d,%d)", osid, qUtf8Printable(step),
                                       qUtf8Printable(TdmPublic::SqlEscape(value)), canskip, 1));
}

} // namespace

void SetActionFlgDefaults(TActionFlg& flg)
{
    const TActionFlg defaults;
    flg.InputOldPassword = defaults.InputOldPassword;
    flg.canskip = defaults.canskip;
    flg.InputNewPassword = defaults.InputNewPassword;
    flg.RetypeNewPassword = defaults.RetypeNewPassword;
    flg.ChangeSuccessfully = defaults.ChangeSuccessfully;
    flg.SuccessByExitStatus = defaults.SuccessByExitStatus;
    flg.FailureTexts = defaults.FailureTexts;
    flg.EnglishMessages = defaults.EnglishMessages;
    flg.SuccessTexts = defaults.SuccessTexts;
}

QString ActionFlgLoadStatement(int osid)
{
    const QString flgvalue = QStringLiteral("flgvalue");
    return QStringLiteral("select ") + stepValueSelect(osid, flgvalue, FlgInputOldPassword) + FlgInputOldPassword +
           QLatin1Char(',') + stepValueSelect(osid, QStringLiteral("canskip"), FlgInputOldPassword) +
           QStringLiteral(" canskip ") + QLatin1Char(',') + stepValueSelect(osid, flgvalue, FlgInputNewPassword) +
           FlgInputNewPassword + QLatin1Char(',') + stepValueSelect(osid, flgvalue, FlgRetypeNewPassword) +
           FlgRetypeNewPassword + QLatin1Char(',') + stepValueSelect(osid, flgvalue, FlgChangeSuccessfully) +
           FlgChangeSuccessfully;
}

void LoadActionFlg(TdmPublic& dm, TActionFlg& flg)
{
    SetActionFlgDefaults(flg);
    auto query = dm.NewQuery();
    query->SelectSQL = ActionFlgLoadStatement(flg.OSID);
    dm.OpenQuery(*query);
    // A statement that did not run leaves the query without columns, so FieldByName throws here.
    const auto text = [&](const QString& column, QString& field) {
        const TSelfQuery::TField value = query->FieldByName(column);
        if (!value.IsNull())
            field = value.AsString();
    };
    text(FlgInputOldPassword, flg.InputOldPassword);
    const TSelfQuery::TField canskip = query->FieldByName(QStringLiteral("canskip"));
    if (!canskip.IsNull())
        flg.canskip = canskip.AsInteger();
    text(FlgInputNewPassword, flg.InputNewPassword);
    text(FlgRetypeNewPassword, flg.RetypeNewPassword);
    text(FlgChangeSuccessfully, flg.ChangeSuccessfully);
    query->Close();
    if (!dm.ProfileRulesTable)
        return;
    query->SelectSQL = QStringLiteral("select SuccessByExitStatus, FailureTexts, EnglishMessages") +
                       (dm.ProfileSuccessTexts ? QStringLiteral(", SuccessTexts") : QString()) +
                       QStringLiteral(" from ActionRules where OSID = ") + QString::number(flg.OSID);
    if (!dm.OpenQuery(*query) || query->Eof())
        return;
    if (!query->Fields(0).IsNull())
        flg.SuccessByExitStatus = query->Fields(0).AsInteger() != 0;
    if (!query->Fields(1).IsNull())
        flg.FailureTexts = SplitFailureTexts(query->Fields(1).AsString());
    if (!query->Fields(2).IsNull())
        flg.EnglishMessages = query->Fields(2).AsInteger() != 0;
    if (dm.ProfileSuccessTexts)
        flg.SuccessTexts = SplitFailureTexts(query->Fields(3).AsString());
}

void InsertActionFlg(TdmPublic& dm, const TActionFlg& flg)
{
    insertRow(dm, flg.OSID, FlgInputOldPassword, flg.InputOldPassword, flg.canskip);
    insertRow(dm, flg.OSID, FlgInputNewPassword, flg.InputNewPassword, -1);
    insertRow(dm, flg.OSID, FlgRetypeNewPassword, flg.RetypeNewPassword, -1);
    insertRow(dm, flg.OSID, FlgChangeSuccessfully, flg.ChangeSuccessfully, -1);
}

void SaveActionRules(TdmPublic& dm, const TActionFlg& flg)
{
    if (!dm.ProfileRulesTable)
        return;
    runStatement(dm, QStringLiteral("delete from ActionRules where OSID = ") + QString::number(flg.OSID));
    runStatement(dm,
                 ActionRulesInsertStatement(flg.OSID, flg.SuccessByExitStatus, flg.FailureTexts, flg.EnglishMessages,
                                            dm.ProfileSuccessTexts ? std::optional(flg.SuccessTexts) : std::nullopt));
}

int SaveOSProfile(TdmPublic& dm, TActionFlg& flg)
{
    dm.DBSession.StartTransaction();
    try {
        if (flg.OSID == -1) {
            auto query = dm.NewQuery();
            query->SelectSQL = QStringLiteral("select max(osid) from unixos ");
            dm.OpenQuery(*query);
            flg.OSID = (query->Active() ? query->Fields(0).AsInteger() : 0) + 1;
            runStatement(dm, QString::asprintf("insert into unixos values(%d,'%s')", flg.OSID,
                                               qUtf8Printable(TdmPublic::SqlEscape(flg.OSName))));
        } else {
            runStatement(dm, QString::asprintf("update UnixOS set OSName = '%s' where OSID=%d",
                                               qUtf8Printable(TdmPublic::SqlEscape(flg.OSName)), flg.OSID));
            runStatement(dm, QString::asprintf("Delete from ActionFlg where OSID=%d", flg.OSID));
        }
        InsertActionFlg(dm, flg);
        SaveActionRules(dm, flg);
        dm.DBSession.Commit();
    } catch (const DatabaseError&) {
        // A failed commit leaves the transaction open; rolling it back keeps later writes out of it.
        try {
            dm.DBSession.Rollback();
        } catch (const DatabaseError&) {
        }
        throw;
    }
    return flg.OSID;
}

void DeleteOSProfile(TdmPublic& dm, int osid)
{
    if (osid == -1)
        return;
    try {
        dm.DBSession.StartTransaction();
        try {
            runStatement(dm, QStringLiteral("delete from ActionFlg where OSID = ") + QString::number(osid));
            runStatement(dm, QStringLiteral("delete from UnixOS where OSID = ") + QString::number(osid));
            if (dm.ProfileRulesTable)
                runStatement(dm, QStringLiteral("delete from ActionRules where OSID = ") + QString::number(osid));
            dm.DBSession.Commit();
        } catch (const DatabaseError&) {
            try {
                dm.DBSession.Rollback();
            } catch (const DatabaseError&) {
            }
            throw;
        }
    } catch (const DatabaseError& error) {
        MsgBox(error.message(), QStringLiteral("Error"), StyleError);
    }
}
