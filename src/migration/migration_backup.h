#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "migration/thread_record.h"

#include <QString>

#include <optional>

// Copies the thread index, session index, configuration and the selected threads'
// rollout files into backups/<kind>-<timestamp> before the move. Only a backup directory
// that cannot be created is a failure; a copy that fails is skipped.
std::optional<QString> createProviderMigrationBackupWithKind(const CodexHome& home, const std::optional<QString>& kind,
                                                             const ThreadRecords& threads, Error* error = nullptr);

// A flat, readable file name for a rollout path: the home directory becomes "~", "/"
// becomes "__", and any character outside [A-Za-z0-9._-~] becomes "_".
QString safeBackupNameForPath(const QString& path, const QString& userHome);
