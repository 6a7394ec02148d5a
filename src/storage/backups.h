#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QString>
#include <QStringList>

#include <optional>

// A timestamped copy of Codex's login, state and configuration files, taken before a
// workflow changes anything. Morvane only ever writes backups; the user restores by hand.
bool createBackupWithKind(const CodexHome& home, const QString& kind, Error* error = nullptr);

// The names copied into every backup, in order, when they exist.
const QStringList& backedUpFileNames();

// Creates backups/<kind>-<timestamp>, owner-only; a second backup of the same kind in the
// same second gets "-2", "-3" and so on, never the first one's folder.
std::optional<QString> createBackupDirectory(const CodexHome& home, const QString& kind, Error* error = nullptr);

// The folders in the backups directory and the bytes they hold, a file linked in several
// places counted once.
struct BackupSummary {
    qint64 count = 0;
    qint64 sizeBytes = 0;
};
BackupSummary summarizeBackups(const CodexHome& home);
