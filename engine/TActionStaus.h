#pragma once

#include <QString>

#include <cstdint>

/// The outcome of one remote operation: a code, its fixed text (ending in a blank) and why it failed.
/// Shown as Text immediately followed by Detail.
struct TActionStaus
{
    std::uint8_t Code = 0;
    QString Text;
    QString Detail;
    /// Set by ChangeUserPassword once the host confirmed the change. A notice mail sent afterwards
    /// replaces Code with 5 or 6; this flag keeps telling the caller that the password did change.
    bool PasswordChanged = false;
    /// Set by ChangeUserPassword once the new password went out to the host: from then on a failure
    /// may still have changed the password, and only a login can tell which one the host accepts.
    bool NewPasswordSent = false;
    /// Set by ChangeUserPassword when the host refused the change in words (a failure text, or the
    /// new-password prompt again): the old password is then the likelier one.
    bool ChangeRefused = false;
    /// Set by SSHLogin when the host refused the account's password (as opposed to not being reached
    /// or failing for another reason): the one login outcome that says the password is wrong.
    bool LoginRefused = false;
    /// Set by SSHLogin when the host took no TCP connection or sent no SSH greeting: its other
    /// accounts in the same run would only wait for the same time-out.
    bool HostUnreachable = false;
    /// Set by SSHLogin: the host's key ("TYPE SHA256:...") when this login recorded it (the first
    /// contact), or when it differs from the recorded one (HostKeyChanged).
    QString HostKey;
    bool HostKeyChanged = false;

    /// Sets Code and its fixed text, leaving Detail alone.
    void Set(std::uint8_t code);
    QString Shown() const { return Text + Detail; }
};

/// The outcome codes.
enum ActionCode : std::uint8_t
{
    acConnectFailed = 0,
    acLoginFailed = 1,
    acLoginSucceeded = 2,
    acChangeFailed = 3,
    acChangeSucceeded = 4,
    acSendFailed = 5,
    acSendSucceeded = 6,
    acVerifySucceeded = 7,
    acVerifyFailed = 8,
};

/// The fixed text of a code: "Connected Failed. ", "Login failed. ", "Login Successed. ", ...
QString ActionCodeText(std::uint8_t code);

/// The batch operations.
enum TOperationType : std::uint8_t
{
    otTestLogin = 1,
    otChangePassword = 2,
    otSendMail = 3,
    otVerifyPassword = 4,
};

/// Flags passed along with an operation.
using TOperationOptions = std::uint8_t;
constexpr TOperationOptions ooSendNoticeMail = 2;
constexpr TOperationOptions ooLoginAsManager = 4;

/// The caption of an operation: "Test Login ", "Change Password ", "Change Password  and Send Notice Mail ",
/// "Send Notice Mail ", "Verify Password "; empty for an unknown type.
QString OperationCaption(TOperationType type, TOperationOptions options);
/// The code that counts as success for an operation type.
std::uint8_t SuccessCode(TOperationType type);
