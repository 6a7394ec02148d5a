#pragma once

#include "workflows/workflows.h"

#include <QString>
#include <QTextStream>

#include <optional>

// The command that mends the problem, where one does.
std::optional<QString> fixCommand(const HealthProblem& problem);

// morvane-cli doctor [--json]: every problem of the Codex home with the command that mends
// it, as text or as a JSON array; done when there is none, failed otherwise.
int printHealth(Workflows& engine, QTextStream& out, bool asJson);
