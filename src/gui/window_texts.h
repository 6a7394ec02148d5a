#pragma once

#include "workflows/workflow_result.h"

#include <QString>

#include <vector>

// The status line's text for the end of a workflow.
QString statusText(const WorkflowResult& result);

// Shown while Codex runs, by the gate and at the end of a workflow, and the alert's
// explanation: the app's words when the app runs, else those for a terminal.
QString codexRunningMessage(const std::vector<CodexProcess>& running);
QString codexRunningExplanation(const std::vector<CodexProcess>& running);
