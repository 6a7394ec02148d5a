#pragma once

#include "codexapp/workspace.h"
#include "core/codex_home.h"
#include "relay/relay_endpoint.h"
#include "workflows/workflow_result.h"

#include <functional>
#include <optional>

// What every workflow runs on: the Codex home it reads and writes, the relay, the workspace
// that says whether Codex runs, and where its progress goes.
struct EngineContext {
    const CodexHome& home;
    const RelayEndpoint& relay;
    Workspace& workspace;
    std::function<void(WorkflowTask task, qint64 done, qint64 total)> progress;

    void report(WorkflowTask task, qint64 done = 0, qint64 total = 0) const
    {
        if (progress)
            progress(task, done, total);
    }
    // The refusal when Codex runs now; nothing when it does not.
    std::optional<WorkflowResult> refusalWhileCodexRuns() const;
};
