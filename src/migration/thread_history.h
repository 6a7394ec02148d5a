#pragma once

#include "core/error.h"
#include "migration/rollout_rewrite.h"

#include <QString>

#include <vector>

// Codex's paginated history (thread_history_1.sqlite) records byte offsets into each
// rollout file and reads on from them. A rewrite that changes a line's length moves every
// later byte of its file, so the offsets of that thread move along.
struct ThreadShifts {
    QString threadId;
    LineShifts shifts;
};

// Moves the recorded offsets of each thread in the history of the folder, in one
// transaction; nothing to do when there is no history file or no shift. On failure nothing
// of it changed.
Expected<> shiftHistoryOffsets(const QString& folder, const std::vector<ThreadShifts>& threads);
