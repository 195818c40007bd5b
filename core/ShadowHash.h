#pragma once

#include "core/SecretBuffer.h"

#include <QString>

/// Whether password is the one hash was made from: true only when libxcrypt's crypt_r, given password
/// and hash as its setting, gives hash back (compared in constant time). Any scheme crypt_r knows
/// (yescrypt, SHA-512, SHA-256, MD5, bcrypt, DES) works; a locked, empty or unknown field never matches.
/// Nothing is sent anywhere: the check is local. Its working memory is wiped afterwards.
bool PasswordMatchesShadowHash(const SecretBuffer& password, const QString& hash);

/// Why the password field hash of a shadow entry cannot be checked, or empty when it can: an empty
/// field (no password), "!" or "*" or a leading "!" (locked), or a scheme crypt_r does not know.
QString ShadowHashProblem(const QString& hash);
