#pragma once

#include "core/codex_home.h"
#include "core/error.h"

// Deletes all but the newest keep points, and the rollout objects no remaining point uses.
// Returns how many points were deleted, or -1.
qint64 pruneRestorePoints(const CodexHome& home, qint64 keep, Error* error = nullptr);
