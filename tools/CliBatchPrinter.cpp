#include "tools/CliBatchPrinter.h"

#include "tools/CliOutput.h"

#include <cstdio>

CliBatchPrinter::CliBatchPrinter(const QList<TUser>& users, bool progressLine)
    : m_users(users), m_progressLine(progressLine)
{
}

QString CliBatchPrinter::ResultLine(const TUser& user, const QString& rowText)
{
    return CliOutput::data(user.LoginName + QStringLiteral("  ") + user.HostIP + QLatin1Char(':') +
                           QString::number(user.HostPort) + QStringLiteral("  ") + rowText);
}

void CliBatchPrinter::BatchStarted(int total)
{
    m_total = total;
}

void CliBatchPrinter::RowStarted(int row)
{
    m_row = row;
    showProgress(QString());
}

void CliBatchPrinter::RowFinished(int row, TRowState, const QString& text, int)
{
    clearProgress();
    CliOutput::out(ResultLine(m_users.at(row), text) + QLatin1Char('\n'));
    // A script reading the lines sees each user as soon as it is done.
    std::fflush(stdout);
    m_row = -1;
}

void CliBatchPrinter::ProgressShown(const QString&, const QString&) {}

void CliBatchPrinter::RowProgress(int row, const QString& message)
{
    // Several users may run at once; the line follows whichever spoke last.
    m_row = row;
    showProgress(message.trimmed());
}

void CliBatchPrinter::BatchFinished(const QString& title)
{
    clearProgress();
    CliOutput::out(title + QLatin1Char('\n'));
    std::fflush(stdout);
}

void CliBatchPrinter::showProgress(const QString& status)
{
    if (!m_progressLine || m_row < 0 || m_row >= m_users.size())
        return;
    const TUser& user = m_users.at(m_row);
    QString line = QStringLiteral("[%1/%2] ").arg(m_row + 1).arg(m_total) + user.LoginName + QLatin1Char(' ') +
                   user.HostIP + QLatin1Char(':') + QString::number(user.HostPort);
    if (!status.isEmpty())
        line += QStringLiteral(": ") + status;
    // Carriage return and erase-to-end keep the line in place as it changes.
    CliOutput::out(QStringLiteral("\r\x1b[K") + CliOutput::data(line).left(200));
    std::fflush(stdout);
    m_progressShown = true;
}

void CliBatchPrinter::clearProgress()
{
    if (!m_progressShown)
        return;
    CliOutput::out(QStringLiteral("\r\x1b[K"));
    m_progressShown = false;
}
