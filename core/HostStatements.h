#pragma once

#include "core/Records.h"

#include <QString>

/// The statement with which SaveHost writes host in mode. withAccessColumns: the Hosts table has the
/// elevation and key-passphrase columns (MngElevation, MngRootPwd, MngKeyPass), which are then written
/// too; without them the statement is the one earlier versions ran, so a file that could not gain
/// the columns is still written as before. withSwitchColumns likewise for the agent and SHA-1 switches
/// (MngUseAgent, hLegacyAlgorithms).
QString HostSaveStatement(const THost& host, TSaveMode mode, bool withAccessColumns, bool withSwitchColumns);
