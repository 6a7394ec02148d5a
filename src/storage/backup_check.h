#pragma once

#include "core/error.h"
#include "storage/restore_point.h"

#include <QStringList>

// Whether a restore point still holds what it recorded when it was taken: each file's size
// and hash. Folders of a Morvane that recorded neither are taken as they are.

// The point's files that are missing or differ from their record, each named as in its
// backup folder. A rollout file whose entry still is the live file is not looked at:
// nothing of it is put back.
QStringList damagedFiles(const RestorePoint& point);

// "备份已损坏：“<name>”与备份时不一致，没有恢复任何文件。"
Error damagedBackupError(const QString& name);
