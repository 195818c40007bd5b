#pragma once

#include <QHash>
#include <QStringList>

/// The options and positional words of one command. Options are "--name" (a flag) or
/// "--name VALUE" / "--name=VALUE"; each valued option may repeat. Anything else is positional.
/// An option the command does not know is a usage error, so a typo never goes unnoticed.
class CliArguments
{
public:
    /// flags: options without a value; valued: options that take one. "--help" is always known.
    CliArguments(const QStringList& arguments, const QStringList& flags, const QStringList& valued);

    bool helpRequested() const { return has(QStringLiteral("help")); }
    bool has(const QString& name) const { return m_options.contains(name); }
    /// The last value given for a valued option, or fallback when it was not given.
    QString value(const QString& name, const QString& fallback = QString()) const;
    /// Every value given for a valued option, in command-line order.
    QStringList values(const QString& name) const { return m_options.value(name); }
    const QStringList& positional() const { return m_positional; }

    /// Throws a usage error unless exactly `count` positional words were given; `what` names them.
    void requirePositional(int count, const QString& what) const;
    /// Reads a valued option as an integer in [minimum, maximum]; throws a usage error otherwise.
    int intValue(const QString& name, int minimum, int maximum, int fallback) const;

private:
    QHash<QString, QStringList> m_options;
    QStringList m_positional;
};
