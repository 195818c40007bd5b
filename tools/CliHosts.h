#pragma once

#include "tools/CliRecordCommand.h"

/// host add | edit | delete: the host tree's commands for scripts; host trust | forget: the user's
/// decisions on a host's SSH key.
class CliHosts : public CliRecordCommand
{
public:
    explicit CliHosts(CliContext& context) : CliRecordCommand(context, QStringLiteral("host")) {}

private:
    int add(const QStringList& arguments) override;
    int edit(const QStringList& arguments) override;
    int remove(const QStringList& arguments) override;
    QStringList otherActions() const override;
    int other(const QString& action, const QStringList& arguments) override;
};
