#pragma once

#include "workflows/workflows.h"

#include <QTextStream>

// morvane-cli keys list [--json]; a full key is never printed.
int listSavedKeys(const Workflows& engine, QTextStream& out, bool asJson);
