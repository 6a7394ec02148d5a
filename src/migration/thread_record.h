#pragma once

#include <QString>

#include <vector>

// One visible thread, as the move needs it: where its rollout file is (empty for NULL).
struct ThreadRecord {
    QString rolloutPath;
    bool moves = false; // on another provider than the target
};

using ThreadRecords = std::vector<ThreadRecord>;
