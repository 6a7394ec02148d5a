#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QString>
#include <QStringList>

// A timestamped copy of Codex's login, state and configuration files, taken before a
// workflow changes anything. Morvane only ever writes backups; the user restores by hand.
bool createBackupWithKind(const CodexHome& home, const QString& kind, Error* error = nullptr);

// The names copied into every backup, in order, when they exist.
const QStringList& backedUpFileNames();

// backups/<kind>-<timestamp>
QString backupDirectoryFor(const CodexHome& home, const QString& kind);
