#pragma once

#include "workflows/workflows.h"

#include <QTextStream>

// morvane-cli backups list [--json]: the restore points, newest first.
int listBackups(const Workflows& engine, QTextStream& out, bool asJson);
