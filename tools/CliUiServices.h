#pragma once

#include "core/UiServices.h"

#include <QString>

#include <functional>

/// The screen of veltrane-cli: every message becomes one line on standard error, every failure
/// is remembered so the command can exit 1, and the message pump passes Ctrl+C on as Stop.
/// Installs itself for its lifetime.
class CliUiServices : public UiServices
{
public:
    CliUiServices();
    ~CliUiServices() override;
    CliUiServices(const CliUiServices&) = delete;
    CliUiServices& operator=(const CliUiServices&) = delete;

    int messageBox(const QString& text, const QString& caption, int style) override;
    void showRunLog(const QString& text, const QString& caption) override;
    void setStatusText(const QString& text) override;
    void showBalloonTip(QObject* control, const QString& text, BalloonIcon icon, int durationMs) override;
    void processEvents() override;

    /// Whether an error was shown since the last reset.
    bool failed() const { return m_failed; }
    /// The engine's message of the last failed statement.
    const QString& lastDatabaseError() const { return m_lastDatabaseError; }
    void resetFailure();
    /// While quiet, messages are only remembered (used while the database is being opened).
    void setQuiet(bool quiet) { m_quiet = quiet; }
    /// While deferred (the default), a failed statement is only remembered: the command that ran it
    /// reports it in its own one-line error. A batch shows them as they happen instead.
    void setDeferDatabaseErrors(bool defer) { m_deferDatabaseErrors = defer; }
    /// Whether a remembered failure has not been shown yet.
    bool hasUnshownFailure() const { return m_unshown; }
    /// Receives the status texts of a running batch (the progress line); may be empty.
    void setStatusHandler(std::function<void(const QString&)> handler) { m_statusHandler = std::move(handler); }

    /// The engine's message inside an "Operation Error" text.
    static QString EngineMessage(const QString& operationErrorText);
    /// One line for a database failure: the engine's message and what to do about it.
    static QString DatabaseFailureLine(const QString& engineMessage);
    /// Whether the engine's message means another process holds the database.
    static bool IsLockedMessage(const QString& engineMessage);

private:
    void report(const QString& line);

    bool m_failed = false;
    bool m_quiet = false;
    bool m_deferDatabaseErrors = true;
    bool m_unshown = false;
    QString m_lastDatabaseError;
    std::function<void(const QString&)> m_statusHandler;
};
