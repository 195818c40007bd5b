#include "batch/TBatchRunner.h"

#include "batch/ChangeIntent.h"
#include "batch/History.h"
#include "batch/SaveUserOutcome.h"
#include "batch/TBatchOperations.h"
#include "core/DatabaseError.h"
#include "core/DayNumber.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QScopeGuard>

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
    // While a save waits for another program's lock the window stays alive and Stop is taken.
    m_dm.DBSession.SetBusyPump([] { Ui().processEvents(); });
    const auto noPump = qScopeGuard([this] { m_dm.DBSession.SetBusyPump({}); });
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

    // Another run may have changed this user since the list was loaded: work on what is stored now.
    RefreshPasswords(m_dm, user);
    const TUser before = user;
    const double opTime = DayNumber::Now();
    m_dm.ClearTranscript();
    m_dm.AddTranscriptLine(QStringLiteral("Recorded Time: ") + RecordedTimeText(DayNumber::CurrentDateTime()));
    m_dm.AddTranscriptLine(QStringLiteral("Operation Type: ") + m_caption);
    m_dm.AddTranscriptLine(QStringLiteral("Return Message: "));

    m_status = TActionStaus();
    const TStepOutcome step = runOperation(user, opTime);

    user.ResultText = m_status.Shown();
    m_dm.AddTranscriptLine(user.ResultText);
    user.LastLog = m_dm.GetTranscriptText();
    const bool success = step.success;
    const bool passwordChanged = user.pwNow != before.pwNow;

    const TSaveOutcome saved = SaveUserRecord(m_dm, before, user, m_caption, success, step.changes, opTime);

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

ProgressCallback TBatchRunner::progress()
{
    return [this](const QString& message) {
        ShowProgress(message);
    };
}

TBatchRunner::TStepOutcome TBatchRunner::runOperation(TUser& user, double opTime)
{
    TStepOutcome step;
    switch (m_type) {
    case otTestLogin:
        m_operations.TestLogin(user, m_status, progress());
        break;
    case otChangePassword:
        return changeStep(user, opTime);
    case otSendMail:
        m_operations.SendNoticeMail(user, m_status, progress());
        break;
    case otVerifyPassword:
        return verifyStep(user, opTime);
    }
    step.success = m_status.Code == SuccessCode(m_type);
    return step;
}

namespace {

void dropIntent(TUser& user)
{
    user.pwIntent.clear();
    user.pwIntentTime = DayNumber::None;
}

} // namespace

TVerifyResult TBatchRunner::reconcile(TUser& user, TStepOutcome& step, double opTime)
{
    // The new password first: after a change of unknown outcome it is the likelier one.
    const TVerifyResult result = VerifyPasswords(m_operations, user, true, progress());
    if (ApplyVerifyResult(user, result.accepted, opTime))
        step.changes.passwords = true;
    if (!user.HasOpenIntent())
        step.changes.intent = m_dm.IntentColumns;
    return result;
}

TBatchRunner::TStepOutcome TBatchRunner::changeStep(TUser& user, double opTime)
{
    TStepOutcome step;
    if (user.HasOpenIntent()) {
        // An earlier change of this user never reported back: which password is live decides what
        // the old password is, so that is found out before anything else is sent.
        m_dm.AddTranscriptLine(QStringLiteral("An earlier change of this password was never confirmed; checking "
                                              "which password the host accepts."));
        const TVerifyResult found = reconcile(user, step, opTime);
        if (found.accepted == TAcceptedPassword::Neither || found.accepted == TAcceptedPassword::Unknown) {
            m_status.Set(acChangeFailed);
            m_status.Detail =
                found.accepted == TAcceptedPassword::Neither
                    ? QStringLiteral("Not started: an earlier change was never confirmed, and the host accepts "
                                     "neither the old nor the new password; both are kept. ")
                    : QStringLiteral("Not started: an earlier change was never confirmed, and the host could not "
                                     "be asked which password it accepts (") +
                          found.login.Shown().trimmed() + QStringLiteral("). Run Verify Password later. ");
            return step;
        }
        if (found.accepted == TAcceptedPassword::Pending && user.pwNew.isEmpty()) {
            m_status.Set(acChangeSucceeded);
            m_status.Detail = QStringLiteral("Verified: the new password of an earlier, unconfirmed change is in use.");
            step.success = true;
            return step;
        }
    }

    if (!user.pwNew.isEmpty() && m_writeAheadIntent) {
        try {
            RecordChangeIntent(m_dm, user, opTime);
        } catch (const DatabaseError& error) {
            m_status.Set(acChangeFailed);
            m_status.Detail = QStringLiteral("Not started: the change could not be recorded in the database before "
                                             "sending it (") +
                              error.message() + QStringLiteral("). Nothing was sent to the host. ");
            return step;
        }
    }

    m_operations.ChangePassword(user, m_options, m_status, progress());
    if (m_status.PasswordChanged && m_status.Code != acChangeSucceeded) {
        // The notice mail that followed replaced the outcome; the password did change, and the
        // record must say so, so the change stays the outcome and the mail's is shown after it.
        const QString mail = m_status.Shown();
        m_status.Set(acChangeSucceeded);
        m_status.Detail = mail;
    }

    if (m_status.Code == acChangeSucceeded) {
        user.pwNow = user.pwNew;
        user.pwLastTime = opTime;
        user.pwNew.clear();
        dropIntent(user);
        step.changes = {true, m_dm.IntentColumns};
        step.success = true;
        return step;
    }
    if (!m_status.NewPasswordSent) {
        // Nothing reached the host that could have changed it.
        if (user.HasOpenIntent()) {
            dropIntent(user);
            step.changes.intent = true;
        }
        return step;
    }

    const TActionStaus failure = m_status;
    const TVerifyResult found = reconcile(user, step, opTime);
    m_status = failure;
    switch (found.accepted) {
    case TAcceptedPassword::Pending:
        m_status.Detail += QStringLiteral(" Verified: the new password is in use.");
        step.success = true;
        break;
    case TAcceptedPassword::Current:
        m_status.Detail += QStringLiteral(" Verified: the old password is still in use.");
        break;
    case TAcceptedPassword::Neither:
        m_status.Detail += QStringLiteral(" Verified: the host accepts neither the new nor the old password; both "
                                          "are kept. Run Verify Password later.");
        break;
    case TAcceptedPassword::Unknown:
        m_status.Detail += QStringLiteral(" Not verified (") + found.login.Shown().trimmed() +
                           QStringLiteral("); both passwords are kept. Run Verify Password later.");
        break;
    }
    return step;
}

TBatchRunner::TStepOutcome TBatchRunner::verifyStep(TUser& user, double opTime)
{
    TStepOutcome step;
    const TVerifyResult found = VerifyPasswords(m_operations, user, false, progress());
    const bool hadIntent = user.HasOpenIntent();
    step.changes.passwords = ApplyVerifyResult(user, found.accepted, opTime);
    step.changes.intent = hadIntent && !user.HasOpenIntent();
    switch (found.accepted) {
    case TAcceptedPassword::Current:
        m_status.Set(acVerifySucceeded);
        m_status.Detail = QStringLiteral("The current password is in use.");
        step.success = true;
        break;
    case TAcceptedPassword::Pending:
        m_status.Set(acVerifySucceeded);
        m_status.Detail = QStringLiteral("The new password is in use; it is now the current password.");
        step.success = true;
        break;
    case TAcceptedPassword::Neither:
        m_status.Set(acVerifyFailed);
        m_status.Detail = found.hadPending
                              ? QStringLiteral("The host accepts neither the current nor the new password; nothing "
                                               "was changed.")
                              : QStringLiteral("The host does not accept the current password, and there is no new "
                                               "password to try; nothing was changed.");
        break;
    case TAcceptedPassword::Unknown:
        m_status.Set(acVerifyFailed);
        m_status.Detail = found.login.Shown().trimmed() + QStringLiteral(" Nothing was changed.");
        break;
    }
    return step;
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
