#pragma once

#include <QString>

#include <vector>

// One visible thread chosen to move, with the values it had before the move
// (empty for NULL).
struct ThreadRecord {
    QString id;
    QString rolloutPath;
    QString modelProvider;
};

using ThreadRecords = std::vector<ThreadRecord>;
