#pragma once

/// How the connection to the mail server is protected. Whatever the choice, the account's password
/// goes out in clear text only with None.
enum class SmtpSecurity
{
    StartTls,          ///< a plain connection upgraded with STARTTLS; nothing is sent if the server does not offer it
    StartTlsIfOffered, ///< STARTTLS when offered, clear text otherwise; with an account the same as StartTls
    ImplicitTls,       ///< TLS from the first byte (smtps, usually port 465)
    None,              ///< clear text throughout
};
