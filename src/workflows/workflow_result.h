#pragma once

#include "codexapp/codex_processes.h"
#include "core/switch_mode.h"

#include <QString>

#include <optional>
#include <vector>

// What a workflow ended with, for the window and the command line to show. The front end
// puts its own words around the message: what it calls the Codex processes that refused
// the workflow, before it, and how its user puts a restore point back by hand, after it.
struct WorkflowResult {
    enum class Outcome { Done, Refused, Failed, CodexRunning };
    enum class Tone { Ready, Success, Failure, Busy };

    Outcome outcome = Outcome::Done;
    QString message;
    Tone tone = Tone::Success;
    std::optional<SwitchMode> pillMode; // the installation's mode, when the workflow changed it
    bool openCodex = false;
    std::optional<QString> fieldKey;    // the key to show in the key field
    std::vector<CodexProcess> codex;    // the running Codex that refused the workflow
    std::optional<QString> restoreByHand; // the restore point to put back, when that failed

    static WorkflowResult done(const QString& message) { return with(Outcome::Done, message, Tone::Success); }
    static WorkflowResult refused(const QString& message) { return with(Outcome::Refused, message, Tone::Failure); }
    // Refused because Codex runs, or holds the conversations.
    static WorkflowResult codexRunning(const QString& message, std::vector<CodexProcess> codex = {})
    {
        WorkflowResult result = with(Outcome::CodexRunning, message, Tone::Failure);
        result.codex = std::move(codex);
        return result;
    }
    static WorkflowResult failed(const QString& message) { return with(Outcome::Failed, message, Tone::Failure); }

private:
    static WorkflowResult with(Outcome outcome, const QString& message, Tone tone)
    {
        WorkflowResult result;
        result.outcome = outcome;
        result.message = message;
        result.tone = tone;
        return result;
    }
};
