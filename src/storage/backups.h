#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "storage/backup_kind.h"
#include "storage/restore_point.h"
#include "storage/rollout_backup.h"

#include <QString>
#include <QStringList>


// A timestamped copy of Codex's login, state and configuration files, taken before a
// workflow changes anything: backups/<kind>-<timestamp> with backup-info.json. Gives the
// folder.
Expected<QString> createBackupWithKind(const CodexHome& home, BackupKind kind);

// The names copied into every backup, in order, when they exist: the fixed ones, then the
// profile files the folder (the Codex home, or a backup of it) holds.
QStringList backedUpFileNames(const QString& folder);

// The thread index and Codex's paginated history, each with its write-ahead log: the files
// of a folder that holds Codex's databases.
const QStringList& databaseFileNames();
// Those and the session index, in the order they are put back.
const QStringList& threadIndexFileNames();
// The paginated history: a backup without it leaves the live one as it is.
extern const QString historyFileName; // thread_history_1.sqlite

// The info files of the two kinds of backup folder, and their member that records each
// backed-up file's size and hash.
extern const QString loginInfoName;    // backup-info.json
extern const QString providerInfoName; // provider-migration-info.json
extern const QString recordedFilesMember;

// The backup a conversation move takes before it changes anything: copies of the thread
// index files and config.toml as they are now, and the databases of each of Codex's other
// database folders in a folder of the backup's own (thread_index_1, ...). Its rollout files
// go in through a RolloutBackup, and writeProviderBackupInfo() completes it.
Expected<QString> createProviderBackup(const CodexHome& home, BackupKind kind, const QStringList& otherIndexFolders);
// provider-migration-info.json: the kind, the time, the login-file backup of the same
// workflow (its restore point), the number of threads, the size and hash of each file, the
// other database folders and the rollout files' manifest.
Expected<> writeProviderBackupInfo(const QString& directory, BackupKind kind, const QString& restorePoint,
                                   qint64 threadCount, const RolloutManifest& manifest,
                                   const QStringList& otherIndexFolders);
// The folder of a provider backup that holds the databases of the other folder of that
// index (from 0): thread_index_1, ...
QString otherIndexCopyName(qsizetype index);
// Every file a provider backup with those other folders may hold, relative to it.
QStringList providerBackupNames(const QStringList& otherIndexFolders);

// The restore points and the space all backups take on disk.
BackupSummary summarizeBackups(const CodexHome& home);
