#pragma once

#include "core/switch_mode.h"

#include <QString>

#include <optional>

// What a workflow ended with, for the window and the command line to show.
struct WorkflowResult {
    enum class Outcome { Done, Refused, Failed, CodexRunning };
    enum class Tone { Ready, Success, Failure, Busy };

    Outcome outcome = Outcome::Done;
    QString message;                    // exactly the status line's text
    Tone tone = Tone::Success;
    std::optional<SwitchMode> pillMode; // the installation's mode, when the workflow changed it
    bool openCodex = false;
    std::optional<QString> fieldKey;    // the key to show in the key field

    static WorkflowResult done(const QString& message)
    {
        return {Outcome::Done, message, Tone::Success, std::nullopt, false, std::nullopt};
    }
    static WorkflowResult refused(const QString& message)
    {
        return {Outcome::Refused, message, Tone::Failure, std::nullopt, false, std::nullopt};
    }
    // Refused because Codex runs, or holds the conversations.
    static WorkflowResult codexRunning(const QString& message)
    {
        return {Outcome::CodexRunning, message, Tone::Failure, std::nullopt, false, std::nullopt};
    }
    static WorkflowResult failed(const QString& message)
    {
        return {Outcome::Failed, message, Tone::Failure, std::nullopt, false, std::nullopt};
    }
};
