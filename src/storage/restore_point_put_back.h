#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "storage/restore_point.h"


// Puts the point's files back where they were, each written whole as a copy: the login and
// configuration files, the thread index, the session index and every rollout file of the
// manifest that was replaced since. Those of the backed-up names that did not exist then
// are removed. Nothing is written unless every file is as recorded (unless the caller
// checked that already) and every copy could be prepared.
Expected<> putBackRestorePoint(const CodexHome& home, const RestorePoint& point, bool checked = false);

// Backs up, as a point of kind "restore", everything that putting the point back would
// change, so that a restore can be undone. Gives that point's id.
Expected<QString> backUpBeforeRestore(const CodexHome& home, const RestorePoint& point);
