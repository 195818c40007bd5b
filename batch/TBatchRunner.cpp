#include "batch/TBatchRunner.h"

#include "batch/ChangeIntent.h"
#include "batch/History.h"
#include "batch/SaveUserOutcome.h"
#include "batch/TBatchOperations.h"
#include "core/DatabaseError.h"
#include "core/DayNumber.h"
#include "core/TdmPublic.h"
#include "core/UiServices.h"
#include "engine/TRemoteShell.h"
#include "transport/CancelSignal.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocale>
#include <QObject>
#include <QScopeGuard>
#include <QThreadPool>

#include <future>
#include <mutex>
#include <optional>

/// What one user's run carries from the main thread to its worker and back.
struct TBatchRunner::Job
{
    int row = 0;
    QString hostKey;
    TUser user;
    TUser before;
    double opTime = 0;
    qint64 startTick = 0;
    TPreparedWork work;
    TRunContext run;
    TActionStaus status;
    bool success = false;
    TRecordChanges changes;
    /// The change went through and its check runs apart, while the host's next account changes.
    bool checkApart = false;

    explicit Job(std::shared_ptr<CancelSignal> cancel) : run(std::move(cancel)) {}
};

/// One host's place in the run: at most one of its accounts is in flight, and in manager mode they
/// share one connection.
struct TBatchRunner::Lane
{
    bool busy = false;
    std::unique_ptr<SshRemoteShell> connection = std::make_unique<SshRemoteShell>();
    /// The outcome of the account that found the host unreachable; its other accounts end with it.
    std::optional<TActionStaus> unreachable;
    /// The manager's second connection, for the checks that run beside the next change; checkTurn is
    /// held while one uses it.
    std::unique_ptr<SshRemoteShell> checkConnection = std::make_unique<SshRemoteShell>();
    std::mutex checkTurn;
    int checksInFlight = 0;
};

namespace {

const QString kNotTriedAgain = QStringLiteral(" The host was not tried again: it could not be reached earlier in "
                                              "this batch.");

QString hostKeyOf(const TUser& user)
{
    return user.HostIP.toLower() + QLatin1Char(':') + QString::number(user.HostPort);
}

QString CandidateInUseText(const TVerifyResult& found)
{
    return QStringLiteral("Verified: a password sent in an earlier change (candidate %1) is in use; it is now the "
                          "current password.")
        .arg(found.candidateNumber);
}

void dropIntent(TUser& user)
{
    user.pwIntent.clear();
    user.pwIntentTime = DayNumber::None;
}

} // namespace

TBatchRunner::TBatchRunner(TdmPublic& dm, TBatchOperations& operations, TOperationType type, TOperationOptions options,
                           QList<TUser> users)
    : m_context(std::make_unique<QObject>()), m_dm(dm), m_operations(operations), m_type(type), m_options(options),
      m_caption(::OperationCaption(type, options)), m_users(std::move(users)), m_rowStarted(m_users.size(), false),
      m_cancel(std::make_shared<CancelSignal>()), m_pool(std::make_unique<QThreadPool>()),
      m_checkPool(std::make_unique<QThreadPool>()), m_intentColumns(dm.IntentColumns)
{
    SetTickSource({});
    SetParallelHosts(DefaultParallelHosts);
}

TBatchRunner::~TBatchRunner()
{
    m_closing = true;
    m_cancel->raise();
    m_pool->waitForDone();
    m_checkPool->waitForDone();
    // Queued calls of the workers die with their receiver.
    m_context.reset();
    m_lanes.clear();
}

void TBatchRunner::SetParallelHosts(int hosts)
{
    m_parallelHosts = qBound(MinParallelHosts, hosts, MaxParallelHosts);
    m_pool->setMaxThreadCount(m_parallelHosts);
    // A check by login may take longer than the next change: two per host keep up with the changes.
    m_checkPool->setMaxThreadCount(2 * m_parallelHosts);
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
    return m_caption + QString::asprintf(" - Total: %d     Done: %d     Todo: %d  ", Total(), m_done, Total() - m_done);
}

void TBatchRunner::ShowProgress(const QString& message)
{
    if (m_observer)
        m_observer->ProgressShown(countersTitle(), QLatin1Char(' ') + message);
}

bool TBatchRunner::StopRequested() const
{
    return m_cancel->raised();
}

void TBatchRunner::Stop()
{
    m_cancel->raise();
}

void TBatchRunner::Start()
{
    if (m_started)
        return;
    m_started = true;
    // While a save waits for another program's lock the window stays alive and Stop is taken.
    m_dm.DBSession.SetBusyPump([] { Ui().processEvents(); });
    if (m_observer)
        m_observer->BatchStarted(Total());
    post([this] { scheduleMore(); });
}

void TBatchRunner::RunBatch()
{
    if (!m_started) {
        QEventLoop loop;
        m_quitWait = [&loop] {
            loop.quit();
        };
        const auto forget = qScopeGuard([this] { m_quitWait = {}; });
        Start();
        if (!m_finished)
            loop.exec();
    }
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
}

// ---- Main thread ------------------------------------------------------------------------------

void TBatchRunner::post(std::function<void()> fn)
{
    m_mainQueue.append(std::move(fn));
    drain();
}

void TBatchRunner::drain()
{
    // A save that waits for another program's lock pumps events; whatever arrives meanwhile waits
    // its turn here instead of starting a second transaction inside the first.
    if (m_draining || m_mainQueue.isEmpty())
        return;
    {
        m_draining = true;
        const auto done = qScopeGuard([this] { m_draining = false; });
        const std::function<void()> fn = m_mainQueue.takeFirst();
        try {
            fn();
        } catch (...) {
            if (!m_error)
                m_error = std::current_exception();
            Stop();
            if (m_started && m_inFlight == 0 && m_checksInFlight == 0 && !m_finished)
                m_mainQueue.append([this] { finish(); });
        }
    }
    // One step at a time: the windows repaint and take Stop between two saves.
    if (!m_mainQueue.isEmpty())
        QMetaObject::invokeMethod(
            m_context.get(), [this] { drain(); }, Qt::QueuedConnection);
}

int TBatchRunner::nextStartableRow() const
{
    for (int row = 0; row < m_users.size(); ++row) {
        if (m_rowStarted[row])
            continue;
        const auto lane = m_lanes.constFind(hostKeyOf(m_users[row]));
        if (lane == m_lanes.constEnd() || !(*lane)->busy)
            return row;
    }
    return -1;
}

void TBatchRunner::scheduleMore()
{
    while (!StopRequested() && m_inFlight < m_parallelHosts) {
        const int row = nextStartableRow();
        if (row < 0)
            break;
        startUser(row);
    }
    if (m_inFlight == 0 && m_checksInFlight == 0 && !m_finished)
        finish();
}

void TBatchRunner::startUser(int row)
{
    m_rowStarted[row] = true;
    auto job = std::make_shared<Job>(m_cancel);
    job->row = row;
    job->startTick = m_ticks();
    job->user = m_users[row];
    job->hostKey = hostKeyOf(job->user);
    if (m_observer)
        m_observer->RowStarted(row);

    // Another run may have changed this user since the list was loaded: work on what is stored now.
    RefreshPasswords(m_dm, job->user);
    job->before = job->user;
    job->opTime = DayNumber::Now();
    job->run.AddTranscriptLine(QStringLiteral("Recorded Time: ") + RecordedTimeText(DayNumber::CurrentDateTime()));
    job->run.AddTranscriptLine(QStringLiteral("Operation Type: ") + m_caption);
    job->run.AddTranscriptLine(QStringLiteral("Return Message: "));
    m_operations.Prepare(job->user, m_type, m_options, job->work);

    std::shared_ptr<Lane>& lane = m_lanes[job->hostKey];
    if (!lane)
        lane = std::make_shared<Lane>();
    lane->busy = true;
    ++m_inFlight;

    if (lane->unreachable && m_type != otSendMail) {
        // Each account would only wait for the time-out that the first one already met.
        job->status = *lane->unreachable;
        job->status.Detail += kNotTriedAgain;
        finishUser(job);
        return;
    }

    job->run.HostConnection = m_shareConnections ? lane->connection.get() : nullptr;
    QObject* context = m_context.get();
    job->run.Progress = [this, context, row](const QString& message) {
        QMetaObject::invokeMethod(
            context, [this, row, message] { post([this, row, message] { progressOf(row, message); }); },
            Qt::QueuedConnection);
    };
    m_pool->start([this, context, job] {
        try {
            work(*job);
        } catch (const std::exception& error) {
            job->status.Detail = QString::fromUtf8(error.what());
        }
        QMetaObject::invokeMethod(
            context, [this, job] { post([this, job] { job->checkApart ? checkApart(job) : finishUser(job); }); },
            Qt::QueuedConnection);
    });
}

void TBatchRunner::checkApart(const std::shared_ptr<Job>& job)
{
    // The host is free for its next account: the check only reads, on a connection of its own.
    const std::shared_ptr<Lane> lane = m_lanes.value(job->hostKey);
    lane->busy = false;
    ++lane->checksInFlight;
    --m_inFlight;
    ++m_checksInFlight;
    if (job->run.HostConnection) {
        job->run.HostConnection = lane->checkConnection.get();
        job->run.HostConnectionTurn = &lane->checkTurn;
    }
    QObject* context = m_context.get();
    m_checkPool->start([this, context, job] {
        try {
            settleChange(*job);
        } catch (const std::exception& error) {
            job->status.Detail = QString::fromUtf8(error.what());
        }
        QMetaObject::invokeMethod(
            context, [this, job] { post([this, job] { finishUser(job); }); }, Qt::QueuedConnection);
    });
    scheduleMore();
}

void TBatchRunner::progressOf(int row, const QString& message)
{
    ShowProgress(message);
    if (m_observer)
        m_observer->RowProgress(row, message);
    Ui().setStatusText(message);
}

void TBatchRunner::finishUser(const std::shared_ptr<Job>& job)
{
    TUser& user = job->user;
    user.ResultText = job->status.Shown();
    job->run.AddTranscriptLine(user.ResultText);
    user.LastLog = job->run.GetTranscriptText();
    const bool passwordChanged = user.pwNow != job->before.pwNow;

    const std::shared_ptr<Lane> lane = m_lanes.value(job->hostKey);
    if (job->checkApart) {
        --lane->checksInFlight;
        --m_checksInFlight;
    } else {
        lane->busy = false;
        --m_inFlight;
    }
    if (job->status.HostUnreachable && !lane->unreachable && m_type != otSendMail)
        lane->unreachable = job->status;

    const TSaveOutcome saved =
        SaveUserRecord(m_dm, job->before, user, m_caption, job->success, job->changes, job->opTime);
    m_users[job->row] = user;

    bool laneDone = true;
    for (int row = 0; row < m_users.size() && laneDone; ++row)
        laneDone = m_rowStarted[row] || hostKeyOf(m_users[row]) != job->hostKey;
    // Not while another account of the host or a check still uses a connection.
    if (laneDone && !lane->busy && lane->checksInFlight == 0) {
        lane->connection->CloseSession();
        lane->checkConnection->CloseSession();
    }

    const double elapsed = static_cast<double>(m_ticks() - job->startTick) / 1000.0;
    if (job->success)
        ++m_succeeded;
    ++m_done;
    if (m_observer)
        m_observer->RowFinished(job->row, job->success ? TRowState::Succeeded : TRowState::Failed,
                                QString::asprintf("[%.2fs]  ", elapsed) + user.ResultText, m_done);
    if (!saved.logFileError.isEmpty()) {
        // No further password may change where its outcome could not be kept.
        Stop();
        if (!m_error)
            m_error = std::make_exception_ptr(UnsavedOutcomeError(
                saved.logFileError + QStringLiteral(" The batch stopped at %1 on %2:%3: its outcome "
                                                    "is in neither the database nor a log file.")
                                         .arg(user.LoginName, user.HostIP)
                                         .arg(user.HostPort),
                user, passwordChanged));
    }
    scheduleMore();
}

void TBatchRunner::finish()
{
    m_finished = true;
    m_dm.DBSession.SetBusyPump({});
    ShowProgress(QStringLiteral("Finished!"));
    for (const auto& lane : std::as_const(m_lanes)) {
        lane->connection->CloseSession();
        lane->checkConnection->CloseSession();
    }
    if (m_observer)
        m_observer->BatchFinished(m_caption + QString::asprintf(" - Total: %d     Successed: %d     Failed: %d     ",
                                                                Total(), m_succeeded, Total() - m_succeeded));
    if (m_finishedHandler)
        m_finishedHandler();
    if (m_quitWait)
        m_quitWait();
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

// ---- Worker threads ---------------------------------------------------------------------------

void TBatchRunner::onMainThread(const std::function<void()>& fn)
{
    struct Call
    {
        std::promise<void> done;
        std::atomic<bool> abandoned{false};
    };
    auto call = std::make_shared<Call>();
    std::future<void> result = call->done.get_future();
    QMetaObject::invokeMethod(
        m_context.get(),
        [this, call, fn] {
            post([call, fn] {
                if (call->abandoned)
                    return;
                try {
                    fn();
                    call->done.set_value();
                } catch (...) {
                    call->done.set_exception(std::current_exception());
                }
            });
        },
        Qt::QueuedConnection);
    while (result.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        if (m_closing) {
            // The runner is going away on the main thread; it will never run the call.
            call->abandoned = true;
            throw std::runtime_error("The batch was closed before this step could be recorded.");
        }
    }
    result.get();
}

void TBatchRunner::work(Job& job)
{
    switch (m_type) {
    case otTestLogin:
        m_operations.TestLogin(job.user, job.work, job.status, job.run);
        break;
    case otChangePassword:
        changeStep(job);
        return;
    case otSendMail:
        m_operations.SendNoticeMail(job.user, job.work, job.status, job.run);
        break;
    case otVerifyPassword:
        verifyStep(job);
        return;
    }
    job.success = job.status.Code == SuccessCode(m_type);
}

TVerifyResult TBatchRunner::reconcile(Job& job, bool pendingFirst)
{
    const QString candidatesBefore = job.user.pwCandidates;
    const TVerifyResult result = VerifyPasswords(m_operations, job.user, job.work, pendingFirst, job.run);
    if (ApplyVerifyResult(job.user, result, job.opTime))
        job.changes.passwords = true;
    if (!job.user.HasOpenIntent())
        job.changes.intent = m_intentColumns;
    if (job.user.pwCandidates != candidatesBefore)
        job.changes.candidates = true;
    return result;
}

void TBatchRunner::changeStep(Job& job)
{
    TUser& user = job.user;
    TActionStaus& status = job.status;
    if (user.HasOpenIntent()) {
        // An earlier change of this user never reported back: which password is live decides what
        // the old password is, so that is found out before anything else is sent.
        job.run.AddTranscriptLine(QStringLiteral("An earlier change of this password was never confirmed; checking "
                                                 "which password the host accepts."));
        // The new password first: after a change of unknown outcome it is the likelier one.
        const TVerifyResult found = reconcile(job, true);
        if (found.accepted == TAcceptedPassword::Neither || found.accepted == TAcceptedPassword::Unknown) {
            status.Set(acChangeFailed);
            status.HostUnreachable = found.login.HostUnreachable;
            status.Detail =
                found.accepted == TAcceptedPassword::Neither
                    ? QStringLiteral("Not started: an earlier change was never confirmed, and the host accepts "
                                     "neither the old nor the new password; both are kept. ")
                    : QStringLiteral("Not started: an earlier change was never confirmed, and the host could not "
                                     "be asked which password it accepts (") +
                          found.login.Shown().trimmed() + QStringLiteral("). Run Verify Password later. ");
            return;
        }
        if (found.accepted == TAcceptedPassword::Pending && user.pwNew.isEmpty()) {
            status.Set(acChangeSucceeded);
            status.Detail = QStringLiteral("Verified: the new password of an earlier, unconfirmed change is in use.");
            job.success = true;
            return;
        }
        if (found.accepted == TAcceptedPassword::Candidate && user.pwNew.isEmpty()) {
            status.Set(acChangeSucceeded);
            status.Detail = CandidateInUseText(found);
            job.success = true;
            return;
        }
    }

    if (!user.pwNew.isEmpty() && m_writeAheadIntent) {
        try {
            onMainThread([this, &job] { RecordChangeIntent(m_dm, job.user, job.opTime); });
        } catch (const DatabaseError& error) {
            status.Set(acChangeFailed);
            status.Detail = QStringLiteral("Not started: the change could not be recorded in the database before "
                                           "sending it (") +
                            error.message() + QStringLiteral("). Nothing was sent to the host. ");
            return;
        }
    }

    m_operations.ChangePassword(user, job.work, status, job.run);
    const THost& host = job.work.change.host;
    // The manager's own password (and root's under su) is what the next account's login needs: the
    // record must have it before that account starts.
    const bool hostsOwnPassword = user.LoginName == host.MngLogin ||
                                  (user.LoginName == QLatin1String("root") && host.MngElevation == TElevation::Su);
    if (status.Code == acChangeSucceeded && m_verifyAfterChange && !StopRequested() && !hostsOwnPassword) {
        job.checkApart = true;
        return;
    }
    settleChange(job);
}

void TBatchRunner::settleChange(Job& job)
{
    TUser& user = job.user;
    TActionStaus& status = job.status;
    // The password did change, so the change stays the outcome and the mail's is shown after it.
    const auto sendNoticeMail = [&] {
        if (!(m_options & ooSendNoticeMail))
            return;
        TActionStaus mail;
        try {
            m_operations.SendNoticeMail(user, job.work, mail, job.run);
        } catch (const std::exception& error) {
            mail.Set(acSendFailed);
            mail.Detail = QString::fromUtf8(error.what());
        }
        status.Detail = status.Detail.isEmpty() ? mail.Shown() : status.Detail + QLatin1Char(' ') + mail.Shown();
    };

    if (status.Code == acChangeSucceeded && m_verifyAfterChange && !StopRequested()) {
        // A host's word is not proof: only a password the host takes becomes the current one.
        job.run.AddTranscriptLine(QStringLiteral("Checking the change: which password does the host take now?"));
        const TVerifyResult found = reconcile(job, true);
        switch (found.accepted) {
        case TAcceptedPassword::Pending:
            status.Detail = QStringLiteral("Verified: the new password is in use.");
            sendNoticeMail();
            job.success = true;
            return;
        case TAcceptedPassword::Current:
            status.Set(acChangeFailed);
            status.PasswordChanged = false;
            status.Detail =
                QStringLiteral("The host reported a success, but it still takes the old password. Verified: "
                               "the old password is still in use.");
            return;
        case TAcceptedPassword::Candidate:
            status.Set(acChangeFailed);
            status.PasswordChanged = false;
            status.Detail = QStringLiteral("The host reported a success, but it takes neither the new nor the old "
                                           "password. ") +
                            CandidateInUseText(found);
            return;
        case TAcceptedPassword::Neither:
        case TAcceptedPassword::Unknown:
            // Nothing tells otherwise: the host's word stands, and the change counts.
            status.Detail = QStringLiteral("Not checked: ") +
                            (found.accepted == TAcceptedPassword::Neither
                                 ? QStringLiteral("the host lets the account in with neither password (it may not log "
                                                  "in itself).")
                                 : found.login.Shown().trimmed());
            break;
        }
    }
    if (status.Code == acChangeSucceeded) {
        sendNoticeMail();
        user.pwNow = user.pwNew;
        user.pwLastTime = job.opTime;
        user.pwNew.clear();
        dropIntent(user);
        job.changes = {true, m_intentColumns};
        job.success = true;
        return;
    }
    if (!status.NewPasswordSent) {
        // Nothing reached the host that could have changed it.
        if (user.HasOpenIntent()) {
            dropIntent(user);
            job.changes.intent = true;
        }
        return;
    }

    const TActionStaus failure = status;
    // After the host refused in words the old password is the likelier one, and one login tells, without
    // the delay a host puts after a wrong password; otherwise the new one is.
    const TVerifyResult found = reconcile(job, !failure.ChangeRefused);
    status = failure;
    switch (found.accepted) {
    case TAcceptedPassword::Pending:
        // The host took the new password: a success like any other, with what went amiss as its reason.
        status.Set(acChangeSucceeded);
        status.PasswordChanged = true;
        status.Detail = QStringLiteral("The host did not confirm the change (") + failure.Detail.trimmed() +
                        QStringLiteral("), but a fresh login with the new password worked. Verified: the new "
                                       "password is in use.");
        sendNoticeMail();
        job.success = true;
        break;
    case TAcceptedPassword::Current:
        status.Detail += QStringLiteral(" Verified: the old password is still in use.");
        break;
    case TAcceptedPassword::Candidate:
        status.Detail += QLatin1Char(' ') + CandidateInUseText(found);
        break;
    case TAcceptedPassword::Neither:
        status.Detail += QStringLiteral(" Verified: the host accepts neither the new nor the old password; both "
                                        "are kept. Run Verify Password later.");
        break;
    case TAcceptedPassword::Unknown:
        status.Detail += QStringLiteral(" Not verified (") + found.login.Shown().trimmed() +
                         QStringLiteral("); both passwords are kept. Run Verify Password later.");
        break;
    }
}

void TBatchRunner::verifyStep(Job& job)
{
    TUser& user = job.user;
    TActionStaus& status = job.status;
    const TVerifyResult found = VerifyPasswords(m_operations, user, job.work, false, job.run);
    const bool hadIntent = user.HasOpenIntent();
    const QString candidatesBefore = user.pwCandidates;
    job.changes.passwords = ApplyVerifyResult(user, found, job.opTime);
    job.changes.intent = hadIntent && !user.HasOpenIntent();
    job.changes.candidates = user.pwCandidates != candidatesBefore;
    status.HostUnreachable = found.login.HostUnreachable;
    switch (found.accepted) {
    case TAcceptedPassword::Current:
        status.Set(acVerifySucceeded);
        status.Detail = QStringLiteral("The current password is in use.");
        job.success = true;
        break;
    case TAcceptedPassword::Pending:
        status.Set(acVerifySucceeded);
        status.Detail = QStringLiteral("The new password is in use; it is now the current password.");
        job.success = true;
        break;
    case TAcceptedPassword::Candidate:
        status.Set(acVerifySucceeded);
        status.Detail = CandidateInUseText(found);
        job.success = true;
        break;
    case TAcceptedPassword::Neither:
        status.Set(acVerifyFailed);
        status.Detail = found.candidatesTried > 0
                            ? QStringLiteral("The host accepts neither the current nor the new password, nor any "
                                             "of the %1 password(s) sent in earlier changes; nothing was changed.")
                                  .arg(found.candidatesTried)
                        : found.hadPending
                            ? QStringLiteral("The host accepts neither the current nor the new password; nothing "
                                             "was changed.")
                            : QStringLiteral("The host does not accept the current password, and there is no new "
                                             "password to try; nothing was changed.");
        break;
    case TAcceptedPassword::Unknown:
        status.Set(acVerifyFailed);
        status.Detail = found.login.Shown().trimmed() + QStringLiteral(" Nothing was changed.");
        break;
    }
}
