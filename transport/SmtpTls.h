#pragma once

#include "transport/SmtpSecurity.h"

#include <QString>

#include <curl/curl.h>

struct SmtpServer;

/// The URL scheme for a security choice: "smtps" for implicit TLS, "smtp" otherwise.
QString SmtpScheme(SmtpSecurity security);

/// Why the certificate authority file cannot be used (missing, not a file, unreadable), or an
/// empty string when it can or none is set. Checked before connecting.
QString CaFileProblem(const QString& caFile);

/// Sets libcurl's TLS options for server: whether and how STARTTLS is required, the authorities
/// trusted (the system's store, or only caFile), and the checks of the certificate and its name,
/// which always stay on.
void ApplyTlsOptions(CURL* handle, const SmtpServer& server);

/// A readable reason, with what to do, for a transfer that failed for want of TLS: STARTTLS not
/// offered or refused, an untrusted certificate, one made out for another name, an unusable
/// authority file, a failed handshake. Empty when the failure has nothing to do with TLS.
/// startTlsSent: whether STARTTLS had gone out when the transfer failed.
QString TlsFailureText(CURLcode code, const QString& libraryText, const SmtpServer& server, bool startTlsSent);
