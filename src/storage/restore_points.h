#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "storage/rollout_backup.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What one workflow backed up before it changed anything, as one point to go back to: the
// login-file backup and, when conversations were moved, the provider backup.
struct RestorePoint {
    QString id;                // the folder name of the login-file backup, else of the provider backup
    QString kind;              // switch-api, switch-account, repair-config, restore, ...
    QString createdAt;         // as the backup recorded it: yyyyMMdd-HHmmss
    QString loginDirectory;    // empty when the point has no login-file backup
    QString providerDirectory; // empty when no conversation was moved
    // The rollout files of the provider backup; nothing for one of an older Morvane, which
    // kept no list of them.
    std::optional<RolloutManifest> manifest;
    // Codex's database folders outside the Codex home that the provider backup holds, each
    // in its folder named by otherIndexCopyName().
    QStringList otherIndexFolders;
    qint64 sizeBytes = 0;      // on disk, a file linked in several places counted once
};

// Every restore point in the backups folder, newest first. Folders without an info file
// are not restore points and are left out.
std::vector<RestorePoint> listRestorePoints(const CodexHome& home);
// How many there are, without sizing them.
qsizetype countRestorePoints(const CodexHome& home);
// The point with that id, its size left at 0.
std::optional<RestorePoint> findRestorePoint(const CodexHome& home, const QString& id, Error* error = nullptr);

// "登陆与配置文件、对话索引和 12 个对话文件"
QString restorePointContents(const RestorePoint& point);
// When the point was taken, as local time; invalid when the backup did not record it.
QDateTime restorePointTime(const RestorePoint& point);
// One line for a list: "2026-12-06 19:59:33  切到 TEVRUN API  登陆与配置文件  24.0 KB"
QString restorePointSummary(const RestorePoint& point);

// Puts the point's files back where they were, each written whole as a copy: the login and
// configuration files, the thread index, the session index and every rollout file of the
// manifest that was replaced since. Those of the backed-up names that did not exist then
// are removed. Nothing is written unless every file is as recorded (unless the caller
// checked that already) and every copy could be prepared.
bool putBackRestorePoint(const CodexHome& home, const RestorePoint& point, Error* error = nullptr,
                         bool checked = false);

// Backs up, as a point of kind "restore", everything that putting the point back would
// change, so that a restore can be undone. Gives that point's id.
std::optional<QString> backUpBeforeRestore(const CodexHome& home, const RestorePoint& point, Error* error = nullptr);

// Deletes all but the newest keep points, and the rollout objects no remaining point uses.
// Returns how many points were deleted, or -1.
qint64 pruneRestorePoints(const CodexHome& home, qint64 keep, Error* error = nullptr);
