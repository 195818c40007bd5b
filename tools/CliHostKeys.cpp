#include "tools/CliHostKeys.h"

#include "core/Platform.h"
#include "core/ProgramFiles.h"
#include "tools/CliArguments.h"
#include "tools/CliError.h"
#include "tools/CliHelp.h"
#include "tools/CliHostAddress.h"
#include "tools/CliOutput.h"
#include "transport/KnownHostsFile.h"
#include "transport/SshHostKeyFetch.h"
#include "transport/SshTransport.h"

namespace CliHostKeys {

namespace {

/// libssh records host names in lower case; the same spelling finds them again.
CliHostAddress hostOf(const CliArguments& args, const QString& what)
{
    args.requirePositional(1, what);
    CliHostAddress address = CliHostAddress::parseOrThrow(args.positional()[0]);
    address.address = address.address.toLower();
    return address;
}

QString keysText(const QList<KnownHostsFile::RecordedKey>& keys)
{
    QStringList texts;
    for (const KnownHostsFile::RecordedKey& key : keys)
        texts << key.type + QLatin1Char(' ') + key.fingerprint;
    return texts.join(QStringLiteral(", "));
}

} // namespace

QString KnownHostsPath()
{
    return ProgramFiles::Find(Platform::ExecutableDir()).knownHosts;
}

int Trust(const QStringList& arguments)
{
    const CliArguments args(arguments, {}, {QStringLiteral("fingerprint")});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("host trust")));
        return ExitOk;
    }
    const CliHostAddress address = hostOf(args, QStringLiteral("ADDRESS[:PORT] of the host whose key to trust"));
    const QString expected = args.value(QStringLiteral("fingerprint")).trimmed();
    if (args.has(QStringLiteral("fingerprint")) && !expected.startsWith(QLatin1String("SHA256:")))
        throw CliError::usage(QStringLiteral("--fingerprint takes the SHA256:... text that ssh-keygen -l prints"));
    const QString path = KnownHostsPath();

    SshHostKey key;
    try {
        key = FetchHostKey(address.address, address.port);
    } catch (const SshError& error) {
        throw CliError::failure(error.message());
    }
    CliOutput::out(QStringLiteral("Host key of %1: %2 %3\n").arg(address.toString(), key.type, key.fingerprint));
    // Fingerprints are base64: letter case matters.
    if (!expected.isEmpty() && expected != key.fingerprint)
        throw CliError::failure(QStringLiteral("the host presents %1, not the expected %2; nothing was recorded: "
                                               "check with the host's administrator before you trust it")
                                    .arg(key.fingerprint, expected));

    const QList<KnownHostsFile::RecordedKey> recorded =
        KnownHostsFile::RecordedKeys(path, address.address, address.port);
    if (recorded.size() == 1 && recorded[0].type == key.type && recorded[0].fingerprint == key.fingerprint) {
        CliOutput::out(QStringLiteral("Already recorded in %1; nothing changed.\n").arg(path));
        return ExitOk;
    }
    if (const QString error = KnownHostsFile::Replace(path, address.address, address.port, key.entry); !error.isEmpty())
        throw CliError::failure(error);
    if (recorded.isEmpty())
        CliOutput::out(QStringLiteral("Recorded in %1.\n").arg(path));
    else
        CliOutput::out(QStringLiteral("Recorded in %1, replacing %2.\n").arg(path, keysText(recorded)));
    return ExitOk;
}

int Forget(const QStringList& arguments)
{
    const CliArguments args(arguments, {}, {});
    if (args.helpRequested()) {
        CliOutput::out(CliHelp::command(QStringLiteral("host forget")));
        return ExitOk;
    }
    const CliHostAddress address = hostOf(args, QStringLiteral("ADDRESS[:PORT] of the host whose key to forget"));
    const QString path = KnownHostsPath();
    const QList<KnownHostsFile::RecordedKey> recorded =
        KnownHostsFile::RecordedKeys(path, address.address, address.port);
    if (recorded.isEmpty())
        throw CliError::failure(QStringLiteral("no key of %1 is recorded in %2; nothing to forget (check the address "
                                               "and the port)")
                                    .arg(address.toString(), path));
    if (const QString error = KnownHostsFile::Replace(path, address.address, address.port, QString()); !error.isEmpty())
        throw CliError::failure(error);
    CliOutput::out(QStringLiteral("Forgot %1 of %2 (removed from %3). Record its key again with 'veltrane-cli host "
                                  "trust %2'.\n")
                       .arg(keysText(recorded), address.toString(), path));
    return ExitOk;
}

} // namespace CliHostKeys
