#pragma once

#include "tools/CliRecordCommand.h"

/// user add | edit | delete: the user editor's and the user list's commands for scripts.
class CliUsers : public CliRecordCommand
{
public:
    explicit CliUsers(CliContext& context) : CliRecordCommand(context, QStringLiteral("user")) {}

private:
    int add(const QStringList& arguments) override;
    int edit(const QStringList& arguments) override;
    int remove(const QStringList& arguments) override;
};
