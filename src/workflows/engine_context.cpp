#include "workflows/engine_context.h"

#include "codexapp/codex_control.h"

std::optional<WorkflowResult> EngineContext::refusalWhileCodexRuns() const
{
    std::vector<CodexProcess> running = runningCodex(workspace);
    if (running.empty())
        return std::nullopt;
    return WorkflowResult::codexRunning(std::move(running));
}
