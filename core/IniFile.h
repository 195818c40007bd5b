#pragma once

#include <QString>

/// An INI file read and written key by key with nothing cached, like the system profile-file
/// functions. A write rewrites only the line of its key; every other line, comment, blank line
/// and section survives untouched. Only a regular file of at most MaxFileSize is read; anything else
/// reads as a missing file and is never written over.
class IniFile
{
public:
    explicit IniFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    /// A file larger than this is not read: its keys read as their defaults.
    static constexpr qint64 MaxFileSize = 1024 * 1024;
    /// Why the file is there but not read (it is a named pipe or a device, larger than MaxFileSize,
    /// not readable), or empty text when it is read or missing. Never blocks.
    QString Problem() const;

    /// The value of key in section, or defaultValue when the file, section or key is missing.
    QString readString(const QString& section, const QString& key, const QString& defaultValue) const;
    /// Decimal, or hexadecimal after "0x"/"0X"; a missing or unreadable value gives defaultValue.
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    /// Read as an integer: any value other than 0 is true.
    bool readBool(const QString& section, const QString& key, bool defaultValue) const;

    /// Writes one key at once; throws IniWriteError("Unable to write to <path>") when that fails, with
    /// the reason added when the file there is not read (see Problem()).
    void writeString(const QString& section, const QString& key, const QString& value) const;
    void writeInteger(const QString& section, const QString& key, int value) const;
    void writeBool(const QString& section, const QString& key, bool value) const;

private:
    QString m_path;
};

/// A settings write that failed; the message names the file.
class IniWriteError : public std::runtime_error
{
public:
    explicit IniWriteError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromStdString(what()); }
};
