#include "tools/CliArguments.h"

#include "tools/CliError.h"

CliArguments::CliArguments(const QStringList& arguments, const QStringList& flags, const QStringList& valued)
{
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        if (optionsEnded || !word.startsWith(QLatin1String("--")) || word == QLatin1String("--")) {
            if (word == QLatin1String("--") && !optionsEnded) {
                // Lets a positional word start with dashes, e.g. a login name.
                optionsEnded = true;
                continue;
            }
            m_positional.append(word);
            continue;
        }
        QString name = word.mid(2);
        QString inlineValue;
        bool hasInlineValue = false;
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (equals >= 0) {
            inlineValue = name.mid(equals + 1);
            name.truncate(equals);
            hasInlineValue = true;
        }
        if (name == QLatin1String("help") || flags.contains(name)) {
            if (hasInlineValue)
                throw CliError::usage(QStringLiteral("option --%1 takes no value").arg(name));
            m_options[name];
            continue;
        }
        if (!valued.contains(name))
            throw CliError::usage(QStringLiteral("unknown option --%1").arg(name));
        if (!hasInlineValue) {
            if (i + 1 >= arguments.size())
                throw CliError::usage(QStringLiteral("option --%1 needs a value").arg(name));
            inlineValue = arguments[++i];
        }
        m_options[name].append(inlineValue);
    }
}

QString CliArguments::value(const QString& name, const QString& fallback) const
{
    const auto it = m_options.constFind(name);
    if (it == m_options.constEnd() || it->isEmpty())
        return fallback;
    return it->last();
}

void CliArguments::requirePositional(int count, const QString& what) const
{
    if (m_positional.size() < count)
        throw CliError::usage(QStringLiteral("missing %1").arg(what));
    if (m_positional.size() > count)
        throw CliError::usage(QStringLiteral("unexpected argument '%1'").arg(m_positional[count]));
}

int CliArguments::intValue(const QString& name, int minimum, int maximum, int fallback) const
{
    if (!has(name))
        return fallback;
    const QString text = value(name).trimmed();
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok || number < minimum || number > maximum)
        throw CliError::usage(QStringLiteral("--%1 must be a whole number from %2 to %3, not '%4'")
                                  .arg(name)
                                  .arg(minimum)
                                  .arg(maximum)
                                  .arg(text));
    return number;
}
