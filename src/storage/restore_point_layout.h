#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "storage/restore_point.h"

#include <vector>

// How restore points lie in the backups folder: a login-file backup and the provider backup
// that names it as its restore point make one point.

// Every restore point in the backups folder, newest first. Folders without an info file
// are not restore points and are left out.
std::vector<RestorePoint> listRestorePoints(const CodexHome& home);
// How many there are, without sizing them.
qsizetype countRestorePoints(const CodexHome& home);
// The point with that id, its size left at 0, or the error that says there is none.
Expected<RestorePoint> findRestorePoint(const CodexHome& home, const QString& id);
