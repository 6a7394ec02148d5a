#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "migration/moved_conversations.h"
#include "migration/thread_record.h"
#include "storage/backup_kind.h"

#include <QString>

#include <functional>
#include <map>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

using MigrationProgress = std::function<void(qint64 done, qint64 total)>;

// Moves every thread of another provider, archived ones too, to the target. First, without
// changing anything: the provider backup (its rollout files linked, not copied) and every
// new rollout text written beside its file. Then one transaction on the thread index, then
// each rollout file replaced. A failure before the transaction leaves everything as it was
// and no backup; a failure after it leaves the backup to put back. restorePoint names the
// login-file backup of the same workflow. All counts 0 when there was nothing to do.
// Progress counts the rollout files done out of the total. mayCommit is asked with the
// threads just before the transaction; its error stops the move with nothing changed. A rollout file that changed since it was read
// stops the replacing (ErrorChangedWhileStaged), and the backup is left to be put back.
Expected<MovedConversations> migrateThreadsToProvider(
    const CodexHome& home, const QString& targetProvider, BackupKind backupKind, const QString& restorePoint,
    const MigrationProgress& progress = {}, const std::function<Expected<>(const ThreadRecords&)>& mayCommit = {});

// The threads of every thread index of Codex's, archived ones too, read without changing
// anything, each with whether its row would move to the target; none when there is no
// thread index.
Expected<ThreadRecords> threadsToMove(const CodexHome& home, const QString& targetProvider);

// Each visible thread's id, rollout path (empty when it has none), provider and title, as the
// thread index of that folder holds them; empty when there is no thread index.
struct IndexedThread {
    QString id;
    QString rolloutPath;
    QString provider;
    QString title;
};
Expected<std::vector<IndexedThread>> indexedThreads(const QString& folder);

// How many visible threads each provider has in the thread index Codex uses now, or in that
// folder's; empty when there is no thread index.
Expected<std::map<QString, qint64>> visibleThreadCounts(const CodexHome& home);
Expected<std::map<QString, qint64>> visibleThreadCountsIn(const QString& folder);

// The provider named by the saved account configuration, "openai" when it names none.
QString targetProviderForAccountProfile(const CodexHome& home);

// The column as UTF-8 text; nothing for NULL or bytes that are not UTF-8.
std::optional<QString> stringFromSQLiteColumn(sqlite3_stmt* statement, int index);
// SQLite's failure about the file in the user's words, else the fallback.
Error sqliteError(sqlite3* db, const QString& fallback, const QString& file = codexfile::threadIndex);
