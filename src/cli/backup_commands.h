#pragma once

#include "workflows/workflows.h"

#include <QTextStream>

// morvane-cli backups list [--json]: the restore points, newest first.
int listBackups(const Workflows& engine, QTextStream& out, bool asJson);
// morvane-cli backups verify [ID]: every restore point, or that one, against the sizes and
// hashes it recorded, each damaged file named; failed when any is damaged.
int verifyBackups(const Workflows& engine, const QString& id, QTextStream& out, QTextStream& err);
