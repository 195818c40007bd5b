#pragma once

#include <QString>
#include <QStringList>

#include <utility>

class CliContext;

/// The add | edit | delete commands of one kind of record (host or user), and any further actions of that
/// kind: the action word picks one.
class CliRecordCommand
{
public:
    virtual ~CliRecordCommand() = default;

    /// arguments start with the action word. Returns the exit code; throws CliError.
    int run(const QStringList& arguments);

protected:
    /// noun is the command word ("host", "user") used in help and messages.
    CliRecordCommand(CliContext& context, QString noun) : m_context(context), m_noun(std::move(noun)) {}

    virtual int add(const QStringList& arguments) = 0;
    virtual int edit(const QStringList& arguments) = 0;
    virtual int remove(const QStringList& arguments) = 0;
    /// Action words beyond add, edit and delete, and what runs them.
    virtual QStringList otherActions() const { return {}; }
    virtual int other(const QString& action, const QStringList& arguments);

    CliContext& m_context;

private:
    QString m_noun;
};
