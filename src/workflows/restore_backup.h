#pragma once

#include "workflows/engine_context.h"

#include <QStringList>

#include <utility>
#include <vector>

// Each point (that one, or all) with the files it holds that are no longer as they were
// backed up; the error for an unknown id.
Expected<std::vector<std::pair<RestorePoint, QStringList>>> verifyBackups(const CodexHome& home, const QString& id);
// Puts a restore point back, after backing up the current state as a point of its own.
WorkflowResult restoreBackup(const EngineContext& engine, const QString& id);
// Deletes all but the newest keep restore points.
WorkflowResult pruneBackups(const EngineContext& engine, qint64 keep);
