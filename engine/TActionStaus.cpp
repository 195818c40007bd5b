#include "engine/TActionStaus.h"

QString ActionCodeText(std::uint8_t code)
{
    switch (code) {
    case acConnectFailed:
        return QStringLiteral("Connected Failed. ");
    case acLoginFailed:
        return QStringLiteral("Login failed. ");
    case acLoginSucceeded:
        return QStringLiteral("Login Successed. ");
    case acChangeFailed:
        return QStringLiteral("Changed Failed. ");
    case acChangeSucceeded:
        return QStringLiteral("Changed Successed. ");
    case acSendFailed:
        return QStringLiteral("Send Failed. ");
    case acSendSucceeded:
        return QStringLiteral("Send Successed. ");
    case acVerifySucceeded:
        return QStringLiteral("Verify Successed. ");
    case acVerifyFailed:
        return QStringLiteral("Verify Failed. ");
    }
    return QString();
}

void TActionStaus::Set(std::uint8_t code)
{
    Code = code;
    Text = ActionCodeText(code);
}

QString OperationCaption(TOperationType type, TOperationOptions options)
{
    switch (type) {
    case otTestLogin:
        return QStringLiteral("Test Login ");
    case otChangePassword:
        return (options & ooSendNoticeMail) ? QStringLiteral("Change Password  and Send Notice Mail ")
                                            : QStringLiteral("Change Password ");
    case otSendMail:
        return QStringLiteral("Send Notice Mail ");
    case otVerifyPassword:
        return QStringLiteral("Verify Password ");
    }
    return QString();
}

std::uint8_t SuccessCode(TOperationType type)
{
    switch (type) {
    case otTestLogin:
        return acLoginSucceeded;
    case otChangePassword:
        return acChangeSucceeded;
    case otSendMail:
        return acSendSucceeded;
    case otVerifyPassword:
        return acVerifySucceeded;
    }
    return 0xFF;
}
