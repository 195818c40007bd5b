#include "batch/TBatchRunner.h"

#include "batch/History.h"
#include "batch/SaveUserOutcome.h"
#include "batch/TBatchOperations.h"
#include "core/DayNumber.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"

#include <QElapsedTimer>
#include <QLocale>

#include <memory>

TBatchRunner::TBatchRunner(TdmPublic& dm, TBatchOperations& operations, TOperationType type, TOperationOptions options,
                           QList<TUser> users)
    : m_dm(dm), m_operations(operations), m_type(type), m_options(options),
      m_caption(::OperationCaption(type, options)), m_users(std::move(users))
{
    SetTickSource({});
}

void TBatchRunner::SetTickSource(TickSource ticks)
{
    if (ticks) {
        m_ticks = std::move(ticks);
        return;
    }
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_ticks = [timer] {
        return timer->elapsed();
    };
}

QString TBatchRunner::RecordedTimeText(const QDateTime& time)
{
    const QDate date = time.date();
    const QTime clock = time.time();
    const int hour12 = clock.hour() % 12 == 0 ? 12 : clock.hour() % 12;
    // Every text of the program is English, whatever the desktop's language.
    return QLocale::c().monthName(date.month(), QLocale::ShortFormat) + QLatin1Char(' ') + QString::number(date.day()) +
           QStringLiteral(", ") + QString::number(date.year()) + QStringLiteral("  ") +
           QString::asprintf("%02d:%02d ", hour12, clock.minute()) +
           (clock.hour() < 12 ? QStringLiteral("AM.") : QStringLiteral("PM."));
}

QString TBatchRunner::countersTitle() const
{
    return m_caption + QString::asprintf(" - Total: %d     Done: %d     Todo: %d  ", m_dm.BatchTotal, m_dm.BatchDone,
                                         m_dm.BatchTotal - m_dm.BatchDone);
}

void TBatchRunner::ShowProgress(const QString& message)
{
    if (m_observer)
        m_observer->ProgressShown(countersTitle(), QLatin1Char(' ') + message);
}

void TBatchRunner::RunBatch()
{
    if (m_started)
        return;
    m_started = true;
    m_dm.BatchTotal = static_cast<int>(m_users.size());
    m_dm.BeginBatch();
    m_dm.CancelRequested = false;
    if (m_observer)
        m_observer->BatchStarted(m_dm.BatchTotal);
    try {
        for (int row = 0; row < m_users.size(); ++row) {
            if (m_dm.CancelRequested)
                break;
            runUser(row);
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TBatchRunner::runUser(int row)
{
    const qint64 start = m_ticks();
    Ui().processEvents();
    TUser& user = m_users[row];
    if (m_observer)
        m_observer->RowStarted(row);

    const double opTime = DayNumber::Now();
    m_dm.ClearTranscript();
    m_dm.AddTranscriptLine(QStringLiteral("Recorded Time: ") + RecordedTimeText(DayNumber::CurrentDateTime()));
    m_dm.AddTranscriptLine(QStringLiteral("Operation Type: ") + m_caption);
    m_dm.AddTranscriptLine(QStringLiteral("Return Message: "));

    m_status = TActionStaus();
    runOperation(user, m_status);

    user.ResultText = m_status.Shown();
    m_dm.AddTranscriptLine(user.ResultText);
    user.LastLog = m_dm.GetTranscriptText();
    const bool success = m_status.Code == SuccessCode(m_type);
    const bool passwordChanged = m_type == otChangePassword && m_status.Code == acChangeSucceeded;

    const TSaveOutcome saved = SaveUserOutcome(m_dm, user, m_caption, success, passwordChanged, opTime);

    const double elapsed = static_cast<double>(m_ticks() - start) / 1000.0;
    if (success)
        ++m_dm.BatchSucceeded;
    ++m_dm.BatchDone;
    if (m_observer)
        m_observer->RowFinished(row, success ? TRowState::Succeeded : TRowState::Failed,
                                QString::asprintf("[%.2fs]  ", elapsed) + user.ResultText, m_dm.BatchDone);
    if (!saved.logFileError.isEmpty())
        throw UnsavedOutcomeError(saved.logFileError +
                                      QStringLiteral(" The batch stopped at %1 on %2:%3: its outcome is "
                                                     "in neither the database nor a log file.")
                                          .arg(user.LoginName, user.HostIP)
                                          .arg(user.HostPort),
                                  user, passwordChanged);
}

void TBatchRunner::runOperation(const TUser& user, TActionStaus& status)
{
    const ProgressCallback progress = [this](const QString& message) {
        ShowProgress(message);
    };
    switch (m_type) {
    case otTestLogin:
        m_operations.TestLogin(user, status, progress);
        return;
    case otChangePassword:
        m_operations.ChangePassword(user, m_options, status, progress);
        if (status.PasswordChanged && status.Code != acChangeSucceeded) {
            // The notice mail that followed replaced the outcome; the password did change, and the
            // record must say so, so the change stays the outcome and the mail's is shown after it.
            const QString mail = status.Shown();
            status.Set(acChangeSucceeded);
            status.Detail = mail;
        }
        return;
    case otSendMail:
        m_operations.SendNoticeMail(user, status, progress);
        return;
    }
}

void TBatchRunner::finish()
{
    m_finished = true;
    m_dm.CancelRequested = false;
    ShowProgress(QStringLiteral("Finished!"));
    if (m_observer)
        m_observer->BatchFinished(m_caption + QString::asprintf(" - Total: %d     Successed: %d     Failed: %d     ",
                                                                m_dm.BatchTotal, m_dm.BatchSucceeded,
                                                                m_dm.BatchTotal - m_dm.BatchSucceeded));
}

QString TBatchRunner::RunLogText() const
{
    QString text;
    for (const TUser& user : m_users)
        if (!user.ResultText.isEmpty())
            text += UserHistoryText(user);
    return text;
}

QString TBatchRunner::RowHistoryText(int row) const
{
    return row >= 0 && row < m_users.size() ? UserHistoryText(m_users[row]) : QString();
}
