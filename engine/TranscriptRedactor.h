#pragma once

#include "core/SecretBuffer.h"

#include <QByteArray>
#include <QList>

/// Keeps the passwords sent in one conversation out of everything the host printed back: a host that
/// echoes what is typed, or prints a secret split over several reads or several waits. Output is
/// matched as the engine records it, with A to Z folded to lower case.
class TranscriptRedactor
{
public:
    /// Forgets the secrets and the output of the previous conversation.
    void Reset();
    /// A password that is about to be sent (plain bytes).
    void AddSecret(const SecretBuffer& secret);
    /// Adds one wait's output (already case-folded) and returns every output of this conversation so
    /// far with each secret replaced by as many asterisks, so earlier parts of a secret that was split
    /// over waits are hidden as well.
    QList<QByteArray> Append(const QByteArray& received);
    /// received as Append would return it as the next output, without adding it.
    QByteArray Redacted(const QByteArray& received) const;

private:
    QList<SecretBuffer> m_secrets;
    QList<QByteArray> m_outputs;
};

/// bytes with A to Z folded to lower case and nothing else changed: prompts and secrets are matched
/// byte for byte otherwise, whatever the host's locale.
QByteArray FoldAsciiCase(QByteArray bytes);
