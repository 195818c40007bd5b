#include "engine/TRemoteShell.h"

TRemoteShell::~TRemoteShell() = default;
