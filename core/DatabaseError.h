#pragma once

#include <QString>

#include <stdexcept>

/// A failed database operation; the message is the engine's own text.
class DatabaseError : public std::runtime_error
{
public:
    explicit DatabaseError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
