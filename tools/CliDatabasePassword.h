#pragma once

#include "core/SecretBuffer.h"

#include <QString>

/// Where veltrane-cli finds the password of a database in the protected mode: the first line of
/// the file named by --db-password-file, or a prompt with echo off when standard input is a
/// terminal. Never the command line or the environment, which other users and programs can read.
namespace CliDatabasePassword {

/// The first line of the file at path, without its line break. what names the password in the
/// errors ("database password"); throws a CliError when the file cannot be read or the line is empty.
SecretBuffer fromFile(const QString& path, const QString& what);

/// The password to open the database at databasePath: from passwordFile when one is named, else
/// typed on the terminal. Throws a CliError that says how to give it when neither is possible.
SecretBuffer obtain(const QString& passwordFile, const QString& databasePath);

} // namespace CliDatabasePassword
