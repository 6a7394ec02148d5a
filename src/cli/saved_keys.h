#pragma once

#include "workflows/workflows.h"

#include <QTextStream>

// morvane-cli keys list [--json] and keys forget ID; a full key is never printed.
int listSavedKeys(const Workflows& engine, QTextStream& out, bool asJson);
int forgetSavedKey(Workflows& engine, const QString& id, QTextStream& out, QTextStream& err);
