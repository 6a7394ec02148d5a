#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QString>

// Whether moving the visible threads to the target fits on disk: every file system gets a
// new copy of each rollout file it holds that moves, and the Codex home's also a copy of
// the thread index, each with room to spare. Else, before anything is written,
// "磁盘空间不足：迁移对话需要约 N MB，只剩 M MB。" or the thread index's error.
Expected<> enoughSpaceToMigrate(const CodexHome& home, const QString& targetProvider);
