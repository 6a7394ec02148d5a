#pragma once

#include "workflows/workflows.h"

#include <QTextStream>

// Prints what the Codex home is set to, as lines of text or as one JSON object; returns
// the exit status.
int printStatus(Workflows& engine, QTextStream& out, bool asJson);
