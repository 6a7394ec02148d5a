#pragma once

#include <QString>

#include <vector>

// One visible thread, with the values it had before the move (empty for NULL).
struct ThreadRecord {
    QString id;
    QString rolloutPath;
    QString modelProvider;
    bool moves = false; // on another provider than the target
};

using ThreadRecords = std::vector<ThreadRecord>;
