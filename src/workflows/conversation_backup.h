#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "migration/thread_migration.h"
#include "storage/backup_kind.h"

#include <functional>

// Moves every conversation to the target with the conversations' part of the restore point
// taken first, in backups/<kind's provider name>-<time>, which names restorePoint, the part
// with the login files: the thread index files and config.toml, the databases of the other
// index folders and every rollout file as it was read. A move that stops before the first
// thread index changes, or moves nothing, changed nothing and keeps no backup; after that,
// the backup stays to be put back. mayCommit is asked with the threads just before that
// change; its error stops the move. All counts 0 when there was nothing to do.
Expected<MovedConversations> moveConversationsBackedUp(
    const CodexHome& home, const QString& targetProvider, BackupKind kind, const QString& restorePoint,
    const MigrationProgress& progress = {}, const std::function<Expected<>(const ThreadRecords&)>& mayCommit = {});
