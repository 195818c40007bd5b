#pragma once

#include "core/SecretBuffer.h"

#include <QByteArray>
#include <QList>

/// Keeps the passwords sent in one conversation out of everything the host printed back: a host that
/// echoes what is typed, or prints a secret split over several reads or several waits, in another case
/// or Unicode form (NFC, NFD), or with terminal escape sequences or other invisible control characters
/// between its characters. Output and secrets are compared after Unicode case folding and canonical
/// decomposition, once as they are and once without escape sequences; what matched is masked in the
/// output as it was received, escapes within it included.
class TranscriptRedactor
{
public:
    /// Forgets the secrets and the output of the previous conversation.
    void Reset();
    /// A password that is about to be sent (plain bytes).
    void AddSecret(const SecretBuffer& secret);
    /// Adds one wait's output and returns every output of this conversation so far with each secret
    /// replaced by asterisks, one for each byte it took in the output, so earlier parts of a secret that
    /// was split over waits are hidden as well.
    QList<QByteArray> Append(const QByteArray& received);
    /// received as Append would return it as the next output, without adding it.
    QByteArray Redacted(const QByteArray& received) const;

private:
    /// A secret as it is compared: as sent, and without escape sequences.
    struct Forms
    {
        SecretBuffer whole;
        SecretBuffer withoutEscapes;
    };
    QList<Forms> m_secrets;
    QList<QByteArray> m_outputs;
};

/// bytes with A to Z folded to lower case and nothing else changed: prompts are matched byte for byte
/// otherwise, whatever the host's locale.
QByteArray FoldAsciiCase(QByteArray bytes);
