#pragma once

// A remote command that plays a script instead of a host: each step prints its text and, unless it
// is the last, waits for one line of input. Fast tests of the conversation logic use it; the real
// servers prove the same paths end to end.

#include "engine/TRemoteShell.h"
#include "transport/CancelSignal.h"

#include <QList>

#include <poll.h>

class ScriptedShell : public TRemoteShell
{
public:
    /// What the host prints before each input it waits for; after the last text it ends the command.
    QList<QByteArray> says;
    /// How the open fails, if it does.
    enum class Open
    {
        Succeeds,
        Refused,
        Unreachable
    } open = Open::Succeeds;
    /// Whether the host waits for input after its last text instead of ending.
    bool hangsAtTheEnd = false;
    int exitStatus = 0;

    /// Every line typed, without its CR.
    QList<QByteArray> typed;
    SshOpenParams opened;

    void SetCancelSignal(std::shared_ptr<const CancelSignal> cancel) override { m_cancel = std::move(cancel); }
    void OpenSession(const SshOpenParams& params) override
    {
        opened = params;
        m_connected = open != Open::Unreachable;
        if (open == Open::Unreachable)
            throw SshError(SshError::Kind::Failed, QStringLiteral("No TCP connection"));
        if (open == Open::Refused)
            throw SshError(SshError::Kind::Refused, QStringLiteral("refused"));
        m_step = 0;
        m_pending = says.value(0);
        m_active = true;
    }
    void CloseSession() noexcept override { m_active = false; }
    void CloseChannel() noexcept override { m_active = false; }
    bool SessionActive() override { return m_active && !(ended() && m_pending.isEmpty()); }
    bool CanConnectSocket() const override { return m_connected; }
    bool PollOutput() override { return m_active && !m_pending.isEmpty(); }
    bool WaitOutput(int maxMs) override
    {
        if (PollOutput() || !SessionActive())
            return PollOutput();
        // Nothing more comes until input: sleep on the cancel signal like the real transport.
        pollfd wake{m_cancel ? m_cancel->fd() : -1, POLLIN, 0};
        ::poll(&wake, 1, maxMs);
        return false;
    }
    void ReadOutput(int maxBytes, QByteArray& channelOutput, QByteArray& extendedOutput) override
    {
        extendedOutput.clear();
        channelOutput = m_pending.left(maxBytes);
        m_pending.remove(0, channelOutput.size());
    }
    void WriteInput(const QByteArray& bytes) override
    {
        if (!SessionActive())
            throw SshError(SshError::Kind::Failed, QStringLiteral("Not connected"));
        typed << bytes.chopped(1);
        ++m_step;
        m_pending += says.value(m_step);
    }
    int ExitStatus() override { return ended() ? exitStatus : -1; }

private:
    bool ended() const { return m_step >= says.size() - 1 && !hangsAtTheEnd; }

    std::shared_ptr<const CancelSignal> m_cancel;
    QByteArray m_pending;
    int m_step = 0;
    bool m_active = false;
    bool m_connected = false;
};
