#pragma once

#include "workflows/workflows.h"

#include <QTextStream>

// Prints what the Codex home is set to, as lines of text or as one JSON object; returns
// the exit status. A home that cannot be read is said so on err, and fails.
int printStatus(Workflows& engine, QTextStream& out, QTextStream& err, bool asJson);
