#include "tools/CliUiServices.h"

#include "core/TdmPublic.h"
#include "tools/CliOutput.h"

#include <QCoreApplication>

CliUiServices::CliUiServices()
{
    InstallUiServices(this);
}

CliUiServices::~CliUiServices()
{
    InstallUiServices(nullptr);
}

void CliUiServices::resetFailure()
{
    m_failed = false;
    m_unshown = false;
    m_lastDatabaseError.clear();
}

void CliUiServices::report(const QString& line)
{
    if (!m_quiet)
        CliOutput::error(line);
}

int CliUiServices::messageBox(const QString& text, const QString& caption, int style)
{
    if (style == StyleError)
        m_failed = true;
    report(text.trimmed().isEmpty() ? caption : text.trimmed());
    // Nothing in a script can answer a question; the command line itself was the decision.
    return style == StyleConfirm ? ButtonNo : ButtonOk;
}

void CliUiServices::showRunLog(const QString& text, const QString& caption)
{
    if (caption == QLatin1String("Operation Error")) {
        m_failed = true;
        m_lastDatabaseError = EngineMessage(text);
        if (m_deferDatabaseErrors)
            m_unshown = true;
        else
            report(DatabaseFailureLine(m_lastDatabaseError));
        return;
    }
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    report(caption.trimmed() + QStringLiteral(": ") + normalized.trimmed());
}

void CliUiServices::setStatusText(const QString& text)
{
    if (m_statusHandler)
        m_statusHandler(text);
}

void CliUiServices::showBalloonTip(QObject*, const QString& text, BalloonIcon, int)
{
    report(text.trimmed());
}

void CliUiServices::processEvents()
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

QString CliUiServices::EngineMessage(const QString& operationErrorText)
{
    const QStringList lines = operationErrorText.split(QLatin1Char('\r'));
    const QString stars(69, QLatin1Char('*'));
    const qsizetype first = lines.indexOf(stars);
    if (first < 0)
        return operationErrorText.simplified();
    QStringList message;
    for (qsizetype i = first + 1; i < lines.size() && lines[i] != stars; ++i)
        message.append(lines[i]);
    return message.join(QLatin1Char(' ')).simplified();
}

bool CliUiServices::IsLockedMessage(const QString& engineMessage)
{
    return engineMessage.contains(QLatin1String("locked"), Qt::CaseInsensitive) ||
           engineMessage.contains(QLatin1String("busy"), Qt::CaseInsensitive);
}

QString CliUiServices::DatabaseFailureLine(const QString& engineMessage)
{
    if (IsLockedMessage(engineMessage))
        return QStringLiteral("the database is locked by another program (%1): wait until Veltrane or the other "
                              "veltrane-cli has finished and run the command again")
            .arg(engineMessage);
    if (TDBSession::IsDiskFullMessage(engineMessage))
        return QStringLiteral("database error: %1: nothing of it was saved; free some disk space and run the "
                              "command again")
            .arg(engineMessage);
    return QStringLiteral("database error: %1: check that the file is a Veltrane database with 'veltrane-cli list'")
        .arg(engineMessage);
}
