#pragma once

#include "transport/SshTransport.h"

#include <QByteArray>

#include <memory>

/// What a conversation needs of a remote command: open it, read what it prints, type into it, end
/// it. The program uses an SSH session (SshRemoteShell); tests of the dialog logic use a script.
class TRemoteShell
{
public:
    virtual ~TRemoteShell();

    virtual void SetCancelSignal(std::shared_ptr<const CancelSignal> cancel) = 0;
    /// Logs in and starts params.command; throws SshError as SshTransport::OpenSession does.
    virtual void OpenSession(const SshOpenParams& params) = 0;
    /// Ends the command and the connection.
    virtual void CloseSession() noexcept = 0;
    /// Ends the command; a connection that may be reused stays open.
    virtual void CloseChannel() noexcept = 0;
    virtual bool SessionActive() = 0;
    virtual bool CanConnectSocket() const = 0;
    virtual bool PollOutput() = 0;
    /// Blocks until output is there, the command ends, the cancel signal is raised or maxMs pass.
    virtual bool WaitOutput(int maxMs) = 0;
    virtual void ReadOutput(int maxBytes, QByteArray& channelOutput, QByteArray& extendedOutput) = 0;
    virtual void WriteInput(const QByteArray& bytes) = 0;
    /// The command's exit status once it ended; -1 when not (yet) known.
    virtual int ExitStatus() = 0;
    /// After an open: the server's key ("TYPE SHA256:..."), and whether this open recorded it.
    virtual QString ServerKey() const { return QString(); }
    virtual bool RecordedServerKey() const { return false; }
    /// After an open: whether the command runs on a terminal (lines typed end in CR there, in LF on
    /// plain pipes, where prompts may also come on the error stream).
    virtual bool HasTerminal() const { return true; }
    /// After an open: the command the host was asked to run.
    virtual QString StartedCommand() const { return QString(); }
};

/// The remote shell over an SSH connection.
class SshRemoteShell : public TRemoteShell
{
public:
    void SetCancelSignal(std::shared_ptr<const CancelSignal> cancel) override
    {
        m_transport.setCancelSignal(std::move(cancel));
    }
    void OpenSession(const SshOpenParams& params) override { m_transport.OpenSession(params); }
    void CloseSession() noexcept override { m_transport.CloseSession(); }
    void CloseChannel() noexcept override { m_transport.CloseChannel(); }
    bool SessionActive() override { return m_transport.SessionActive(); }
    bool CanConnectSocket() const override { return m_transport.CanConnectSocket(); }
    bool PollOutput() override { return m_transport.PollOutput(); }
    bool WaitOutput(int maxMs) override { return m_transport.WaitOutput(maxMs); }
    void ReadOutput(int maxBytes, QByteArray& channelOutput, QByteArray& extendedOutput) override
    {
        m_transport.ReadOutput(maxBytes, channelOutput, extendedOutput);
    }
    void WriteInput(const QByteArray& bytes) override { m_transport.WriteInput(bytes); }
    int ExitStatus() override { return m_transport.ExitStatus(); }
    QString ServerKey() const override { return m_transport.ServerKey(); }
    bool RecordedServerKey() const override { return m_transport.RecordedServerKey(); }
    bool HasTerminal() const override { return m_transport.HasTerminal(); }
    QString StartedCommand() const override { return m_transport.StartedCommand(); }

private:
    SshTransport m_transport;
};
