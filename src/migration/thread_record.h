#pragma once

#include <QString>

#include <vector>

// One thread, as the move needs it: its id and where its rollout file is (empty for NULL).
struct ThreadRecord {
    QString id;
    QString rolloutPath;
    // Its row names another provider than the target. Its rollout file may record another
    // one even when the row does not: only reading it tells.
    bool moves = false;
    // Codex lists it only when asked for archived ones; it moves all the same, so that it is
    // listed when it is brought back.
    bool archived = false;
};

using ThreadRecords = std::vector<ThreadRecord>;
