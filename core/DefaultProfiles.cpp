#include "core/DefaultProfiles.h"

namespace {

QString quoted(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + escaped + QLatin1Char('\'');
}

TDefaultProfile passwordColonProfile(const QString& name, int canskip)
{
    // Every password prompt of these systems ends in "password:", so matching that step by step is
    // robust against the wording of different versions.
    const QString prompt = QStringLiteral("password:");
    return {name,    prompt,
            canskip, prompt,
            prompt,  QStringLiteral("successfully"),
            false,   DefaultFailureTexts(canskip == -1),
            true,    {}};
}

TDefaultProfile silentProfile(const QString& name, int canskip, const QString& oldPrompt, const QString& newPrompt,
                              const QString& retypePrompt)
{
    QStringList failures = DefaultFailureTexts(canskip == -1);
    // The BSD passwd asks again after a mismatched retype instead of failing; that must not wait out
    // the time limit.
    failures << QStringLiteral("Mismatch");
    // Exit status decides there: a success text would only add a way to end before passwd has.
    return {name, oldPrompt, canskip, newPrompt, retypePrompt, QString(), true, failures, true, {}};
}

} // namespace

QStringList DefaultFailureTexts(bool userMode)
{
    QStringList texts;
    if (userMode)
        texts << QStringLiteral("BAD PASSWORD");
    texts << QStringLiteral("do not match") << QStringLiteral("don't match") << QStringLiteral("unchanged")
          << QStringLiteral("You must wait longer") << QStringLiteral("Authentication token manipulation error")
          << QStringLiteral("passwd: sorry");
    return texts;
}

QStringList LinuxSuccessTexts()
{
    return {QStringLiteral("changed by"), QStringLiteral("password changed.")};
}

const QList<TDefaultProfile>& DefaultProfiles()
{
    static const QList<TDefaultProfile> profiles = [] {
        const QString manager = QStringLiteral(" (manager account)");
        QList<TDefaultProfile> list;
        for (const QString& name : {QStringLiteral("Linux"), QStringLiteral("Solaris")}) {
            list << passwordColonProfile(name, -1) << passwordColonProfile(name + manager, 1);
        }
        // Linux alone: Solaris says "passwd: password successfully changed for NAME" with and without PAM.
        list[0].successTexts = list[1].successTexts = LinuxSuccessTexts();
        const struct
        {
            QString name, oldPrompt, newPrompt, retypePrompt;
        } silent[] = {
            {QStringLiteral("FreeBSD"), QStringLiteral("Old Password:"), QStringLiteral("New Password:"),
             QStringLiteral("Retype New Password:")},
            {QStringLiteral("OpenBSD"), QStringLiteral("Old password:"), QStringLiteral("New password:"),
             QStringLiteral("Retype new password:")},
            {QStringLiteral("macOS"), QStringLiteral("Old password:"), QStringLiteral("New password:"),
             QStringLiteral("Retype new password:")},
        };
        for (const auto& system : silent) {
            list << silentProfile(system.name, -1, system.oldPrompt, system.newPrompt, system.retypePrompt)
                 << silentProfile(system.name + manager, 1, system.oldPrompt, system.newPrompt, system.retypePrompt);
        }
        return list;
    }();
    return profiles;
}

QString JoinFailureTexts(const QStringList& texts)
{
    QStringList kept;
    for (const QString& text : texts) {
        QString line = text;
        line.remove(QLatin1Char('\r'));
        line.replace(QLatin1Char('\n'), QLatin1Char(' '));
        line = line.trimmed();
        if (!line.isEmpty())
            kept << line;
    }
    return kept.join(QLatin1Char('\n'));
}

QStringList SplitFailureTexts(const QString& stored)
{
    QStringList texts;
    for (const QString& line : stored.split(QLatin1Char('\n'))) {
        const QString text = line.trimmed();
        if (!text.isEmpty())
            texts << text;
    }
    return texts;
}

QString ActionRulesInsertStatement(int osid, bool successByExitStatus, const QStringList& failureTexts,
                                   bool englishMessages, const std::optional<QStringList>& successTexts)
{
    // One arg() call with every value: a text holding "%1" must not be taken for a placeholder.
    return QStringLiteral("insert into ActionRules(OSID, SuccessByExitStatus, FailureTexts, EnglishMessages%5) "
                          "values(%1,%2,%3,%4%6)")
        .arg(QString::number(osid), QString::number(successByExitStatus ? 1 : 0),
             quoted(JoinFailureTexts(failureTexts)), QString::number(englishMessages ? 1 : 0),
             successTexts ? QStringLiteral(", SuccessTexts") : QString(),
             successTexts ? QLatin1Char(',') + quoted(JoinFailureTexts(*successTexts)) : QString());
}

QStringList ProfileInsertStatements(const TDefaultProfile& profile, int osid, bool withRules)
{
    const QString id = QString::number(osid);
    const auto step = [&id](const char* name, const QString& value, int canskip) {
        return QStringLiteral("insert into ActionFlg values(%1,'%2',%3,%4,1)")
            .arg(id, QLatin1String(name), quoted(value), QString::number(canskip));
    };
    QStringList statements;
    statements << QStringLiteral("insert into unixos values(%1,%2)").arg(id, quoted(profile.name));
    statements << step("InputOldPassword", profile.inputOldPassword, profile.canskip);
    statements << step("InputNewPassword", profile.inputNewPassword, -1);
    statements << step("RetypeNewPassword", profile.retypeNewPassword, -1);
    statements << step("ChangeSuccessfully", profile.changeSuccessfully, -1);
    if (withRules)
        statements << ActionRulesInsertStatement(osid, profile.successByExitStatus, profile.failureTexts,
                                                 profile.englishMessages, profile.successTexts);
    return statements;
}
