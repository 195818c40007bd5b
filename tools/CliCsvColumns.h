#pragma once

#include <QString>
#include <QStringList>

/// The columns of hosts.csv and users.csv, shared by import and export.
namespace CliCsvColumns {

inline const QStringList Hosts = {QStringLiteral("address"),
                                  QStringLiteral("port"),
                                  QStringLiteral("os"),
                                  QStringLiteral("manager_login"),
                                  QStringLiteral("manager_password"),
                                  QStringLiteral("login_as"),
                                  QStringLiteral("note"),
                                  QStringLiteral("elevate"),
                                  QStringLiteral("root_password"),
                                  QStringLiteral("manager_key"),
                                  QStringLiteral("manager_key_passphrase"),
                                  QStringLiteral("use_agent"),
                                  QStringLiteral("legacy_algorithms")};
inline const QStringList RequiredHosts = {QStringLiteral("address")};

inline const QStringList Users = {
    QStringLiteral("address"),   QStringLiteral("port"),         QStringLiteral("login"),
    QStringLiteral("password"),  QStringLiteral("new_password"), QStringLiteral("period"),
    QStringLiteral("full_name"), QStringLiteral("email"),        QStringLiteral("remark")};
/// The free-text columns that may hold line breaks and tabs; every other field holds no control character.
inline const QStringList MultiLine = {QStringLiteral("note"), QStringLiteral("remark")};
/// The secret columns, whose own check says what a password may hold.
inline const QStringList Secrets = {QStringLiteral("password"), QStringLiteral("new_password"),
                                    QStringLiteral("manager_password"), QStringLiteral("root_password"),
                                    QStringLiteral("manager_key_passphrase")};
inline const QStringList RequiredUsers = {QStringLiteral("address"), QStringLiteral("login"),
                                          QStringLiteral("password")};

} // namespace CliCsvColumns
