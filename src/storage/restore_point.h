#pragma once

#include "storage/rollout_manifest.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

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

// The restore points and the space all backups take on disk, a file linked in several
// places counted once.
struct BackupSummary {
    qint64 count = 0;
    qint64 sizeBytes = 0;
};

// When the point was taken, as local time; invalid when the backup did not record it.
inline QDateTime restorePointTime(const RestorePoint& point)
{
    return QDateTime::fromString(point.createdAt, QStringLiteral("yyyyMMdd-HHmmss"));
}
