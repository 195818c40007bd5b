#include "engine/DecipherSecret.h"

#include "core/PasswordCipher.h"

#include <algorithm>

SecretBuffer DecipherSecret(const QString& enciphered)
{
    QString plain = DecipherPassword(enciphered);
    SecretBuffer secret(plain);
    std::fill(plain.begin(), plain.end(), QChar(u'\0'));
    return secret;
}
