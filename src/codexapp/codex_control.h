#pragma once

#include "codexapp/workspace.h"

#include <QList>
#include <QString>

// The running Codex processes, never Morvane itself.
QList<qint32> runningCodexPIDs(Workspace& workspace);

// Shown while Codex runs, by the window's gate and at the end of a workflow.
QString codexRunningMessage();

// Starts the Codex app; when that fails, asks once more through the default opening of
// its path.
void openCodex(Workspace& workspace);

// Asks every running Codex to quit, force-quits what still runs after the grace period,
// and waits a little for it to go. For callers without an event loop of their own; true
// when no Codex runs afterwards.
bool quitCodexAndWait(Workspace& workspace);

// How long a polite quit is given, and how long a forced quit takes to settle.
inline constexpr int quitGracePeriodMs = 2000;
inline constexpr int forceQuitSettleMs = 500;
