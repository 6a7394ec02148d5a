#pragma once

#include "codexapp/codex_processes.h"
#include "codexapp/workspace.h"

#include <QString>

// The running Codex processes, never Morvane itself.
std::vector<CodexProcess> runningCodex(Workspace& workspace);
// The same for the window's poll, once a second: where the platform trusts earlier polls,
// a process that turns into Codex in place long after it started shows only at its next
// full look. A check that guards a change to files uses runningCodex.
std::vector<CodexProcess> polledCodex(Workspace& workspace);


// Starts the Codex app; when that fails, asks once more through the default opening of
// its path.
void openCodex(Workspace& workspace);

// Asks every running Codex to quit, force-quits what still runs after the grace period,
// and waits a little for it to go. For callers without an event loop of their own, which
// check afterwards, as every workflow does, whether Codex still runs.
void quitCodexAndWait(Workspace& workspace);

// How long a polite quit is given, and how long a forced quit takes to settle.
inline constexpr int quitGracePeriodMs = 2000;
inline constexpr int forceQuitSettleMs = 500;
