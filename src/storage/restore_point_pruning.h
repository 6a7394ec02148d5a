#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <expected>

// Deletes all but the newest keep points, and the rollout objects no remaining point uses.
// Gives how many points were deleted.
Expected<qint64> pruneRestorePoints(const CodexHome& home, qint64 keep);
