#pragma once

#include "workflows/workflow_result.h"

#include <QString>

// The words both front ends use for what the engine reports. Each front end adds its own
// around them: what it calls a running Codex, and how its user restores a backup by hand.

// How a status is shown: work under way, a failure, a success, or a notice that nothing
// needed doing.
enum class StatusTone { Ready, Success, Failure, Busy };
StatusTone toneOf(const WorkflowResult& result);

// How a workflow ended, as one sentence or a few; empty for Event::Nothing.
QString outcomeText(const WorkflowResult& result);
// "正在切到 TEVRUN API..."
QString taskText(WorkflowTask task);
// "有 <N> 条对话不在当前的 provider 上，Codex 不会列出它们。"
QString conversationsElsewhereText(qint64 count);
