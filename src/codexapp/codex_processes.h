#pragma once

#include "codexapp/workspace.h"

#include <QList>

// The Codex app among the running applications, in their order. Morvane itself, and any
// copy of it, never counts, wherever it lives and whatever it is called.
QList<qint32> runningCodexPIDs(const std::vector<RunningApplication>& applications, qint32 ownPid);
