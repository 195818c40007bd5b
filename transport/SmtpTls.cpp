#include "transport/SmtpTls.h"

#include "transport/SmtpTransport.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString serverName(const SmtpServer& server)
{
    return QStringLiteral("%1 (port %2)").arg(server.host).arg(server.port);
}

// libcurl names a certificate that does not match the server's name this way with every TLS
// library it is built with; a certificate that fails for any other reason is not trusted.
bool isNameMismatch(const QString& libraryText)
{
    return libraryText.contains(QStringLiteral("host name"), Qt::CaseInsensitive) ||
           libraryText.contains(QStringLiteral("subject name"), Qt::CaseInsensitive);
}

QString notOffered(const SmtpServer& server)
{
    const QString keptBack =
        server.account.isEmpty() ? QString() : QStringLiteral(" and the account's password was kept back");
    return QStringLiteral("The mail server %1 does not offer STARTTLS, so nothing was sent%2. Set [Mail] "
                          "Security=tls if the server expects TLS from the first byte (usually port 465), or "
                          "Security=none to send in clear text.")
        .arg(serverName(server), keptBack);
}

QString untrusted(const SmtpServer& server, const QString& libraryText)
{
    if (server.caFile.isEmpty())
        return QStringLiteral("The mail server's certificate is not trusted by this system (%1). If it comes from "
                              "your organisation's own certificate authority, set [Mail] CAFile to that authority's "
                              "certificate (a PEM file); otherwise have the server's certificate renewed or replaced.")
            .arg(libraryText);
    return QStringLiteral("The mail server's certificate is not trusted by the authorities in [Mail] CAFile \"%1\" "
                          "(%2). Set CAFile to the certificate of the authority that issued the server's "
                          "certificate, or remove the key to trust the system's certificates.")
        .arg(server.caFile, libraryText);
}

QString unreadableStore(const SmtpServer& server, const QString& libraryText)
{
    if (server.caFile.isEmpty())
        return QStringLiteral("The system's certificate store could not be read (%1); install the ca-certificates "
                              "package, or set [Mail] CAFile to the authority's certificate (a PEM file).")
            .arg(libraryText);
    return QStringLiteral("The file \"%1\" set in [Mail] CAFile holds no readable certificate (%2); give the "
                          "authority's certificate as a PEM file (\"-----BEGIN CERTIFICATE-----\"), or remove the key "
                          "to trust the system's certificates.")
        .arg(server.caFile, libraryText);
}

} // namespace

QString SmtpScheme(SmtpSecurity security)
{
    return security == SmtpSecurity::ImplicitTls ? QStringLiteral("smtps") : QStringLiteral("smtp");
}

QString CaFileProblem(const QString& caFile)
{
    if (caFile.isEmpty())
        return QString();
    const QFileInfo file(caFile);
    const QString fix = QStringLiteral("correct the path, or remove the key to trust the system's certificates.");
    if (!file.exists())
        return QStringLiteral("The file \"%1\" set in [Mail] CAFile does not exist; %2").arg(caFile, fix);
    if (!file.isFile() || !file.isReadable())
        return QStringLiteral("The file \"%1\" set in [Mail] CAFile is not a readable file; %2").arg(caFile, fix);
    return QString();
}

void ApplyTlsOptions(CURL* handle, const SmtpServer& server)
{
    long level = CURLUSESSL_ALL;
    if (server.security == SmtpSecurity::None)
        level = CURLUSESSL_NONE;
    // Falling back to clear text is only acceptable when there is no password to lose.
    else if (server.security == SmtpSecurity::StartTlsIfOffered && server.account.isEmpty())
        level = CURLUSESSL_TRY;
    curl_easy_setopt(handle, CURLOPT_USE_SSL, level);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!server.caFile.isEmpty()) {
        // libcurl copies the string. Without the directory the file is the only authority trusted.
        const QByteArray caFile = QFile::encodeName(server.caFile);
        curl_easy_setopt(handle, CURLOPT_CAINFO, caFile.constData());
        curl_easy_setopt(handle, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
    }
}

QString TlsFailureText(CURLcode code, const QString& libraryText, const SmtpServer& server, bool startTlsSent)
{
    switch (code) {
    case CURLE_USE_SSL_FAILED:
        if (!startTlsSent)
            return notOffered(server);
        return QStringLiteral("The mail server %1 refused STARTTLS (%2), so nothing was sent. Ask the server's "
                              "administrator to enable TLS, or set [Mail] Security=none to send in clear text.")
            .arg(serverName(server), libraryText);
    case CURLE_PEER_FAILED_VERIFICATION:
        if (isNameMismatch(libraryText))
            return QStringLiteral("The mail server's certificate is not made out for \"%1\" (%2). Set [Mail] Server "
                                  "to a name the certificate names, or have the certificate reissued for \"%1\".")
                .arg(server.host, libraryText);
        return untrusted(server, libraryText);
    case CURLE_SSL_CACERT_BADFILE:
        return unreadableStore(server, libraryText);
    case CURLE_SSL_CONNECT_ERROR:
        if (server.security == SmtpSecurity::ImplicitTls)
            return QStringLiteral("The TLS handshake with the mail server %1 failed (%2). If the server starts in "
                                  "clear text and offers STARTTLS (usually ports 25 and 587), set [Mail] "
                                  "Security=starttls.")
                .arg(serverName(server), libraryText);
        return QStringLiteral("The TLS handshake with the mail server %1 after STARTTLS failed (%2); its TLS set-up "
                              "may be broken or outdated: ask the server's administrator.")
            .arg(serverName(server), libraryText);
    case CURLE_OPERATION_TIMEDOUT:
        // A server on port 465 waits for our TLS greeting while we wait for its SMTP greeting.
        if (server.port == 465 && server.security != SmtpSecurity::ImplicitTls)
            return QStringLiteral("The mail server %1 did not answer in time (%2). Port 465 usually expects TLS "
                                  "from the first byte: set [Mail] Security=tls, or check the server's address and "
                                  "port.")
                .arg(serverName(server), libraryText);
        return QString();
    default:
        return QString();
    }
}
