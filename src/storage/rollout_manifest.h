#pragma once

#include <QString>

#include <vector>

// The rollout files a backup holds: each live file's place, its name in the backup's
// rollout_files/, and the size and hash of the content kept.
struct RolloutBackupEntry {
    QString path; // where the rollout file lives
    QString name; // its name inside rollout_files/
    qint64 size = 0;
    QString hash;
};
using RolloutManifest = std::vector<RolloutBackupEntry>;
