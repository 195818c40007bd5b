#pragma once

#include <QString>

/// The most bytes (UTF-8) a login name or a host address may have; a longer one is refused, never cut.
constexpr qsizetype MaxNameBytes = 256;

/// Why name cannot go to a host as a login name, or empty when it can. field names the field in the
/// message, as its first words ("The login name", "--manager"). A control character or white space
/// would end or split the name on its way through ssh and passwd, a leading "-" would be read as an
/// option of passwd or su, and more than MaxNameBytes bytes are refused. An empty name is refused too.
QString LoginNameProblem(const QString& name, const QString& field);

/// Why address cannot be a host's address, or empty when it can: the rules of LoginNameProblem, and
/// then it must be a host name or IPv4 address (letters, digits, ".", "-" and "_") or an IPv6
/// address, bare or in brackets.
QString HostAddressProblem(const QString& address, const QString& field);

/// address without the brackets around an IPv6 address ("[::1]" gives "::1"); anything else unchanged.
QString BareHostAddress(const QString& address);

/// The first control character in text as "U+XXXX", or empty when there is none. allowLineBreaks lets
/// CR, LF and tab through, for the multi-line notes and remarks.
QString FirstControlCharacter(const QString& text, bool allowLineBreaks);
