#pragma once

#include "core/SecretBuffer.h"

#include <QString>

/// Deciphers a stored password straight into a SecretBuffer and wipes the intermediate plain text,
/// so the only plain copy is the one that is wiped after sending.
SecretBuffer DecipherSecret(const QString& enciphered);
