#pragma once

#include "codexapp/codex_processes.h"
#include "core/error.h"
#include "core/switch_mode.h"
#include "migration/moved_conversations.h"
#include "storage/restore_point.h"

#include <QString>

#include <optional>
#include <vector>

// What a workflow ended with, as data: what happened and the values that say it. The front
// ends put it into words.
struct WorkflowResult {
    enum class Outcome { Done, Refused, Failed, CodexRunning };
    // What happened; the comment names the members that go with it.
    enum class Event {
        Nothing,              // there was nothing to do
        KeyUsable,
        SwitchedToApi,        // accountRecorded, moved
        SwitchedToAccount,    // moved
        AccountLoginRecorded, // the current login remembered; nothing of Codex changed
        AccountLoginPrepared, // moved
        RepairedForApi,       // diagnosis, moved
        RepairedForAccount,   // moved
        ConversationsMoved,   // moved, provider
        ConversationsInPlace, // provider
        BackupRestored,       // restored, newRestorePoint
        BackupsPruned,        // removedBackups, keptBackups
        NoBackupsToPrune,
        KeyForgotten,         // forgottenKey
        CutOffPutBack,        // a workflow cut off was put back to where it began
        NoKeyToCheck,         // the key field holds no key
        NoKeyToSwitch,
        NoKeyToRepair,
        CodexRunning,         // codex
        Stopped,              // error: the home is another's, Codex holds a conversation, ...
        StepFailed,           // step, error, putBack
        ConfigNotEditable,    // error, repairWith: config.toml cannot be edited safely; nothing changed
        CodexStarted,         // codex, putBack: Codex started while the conversations moved
        CutOffWhileCodexRuns, // a workflow cut off waits for Codex to quit
        CutOffNotYet,         // error: why it cannot be put back now
        CutOffNotPutBack,     // error, restoreByHand
        CutOffUnreadable,     // error: the journal's
    };
    // The step that failed, for the words said when its error has none.
    enum class Step {
        CheckKey,
        ValidateKey,
        BackUp,
        RecordAccount,
        WriteApiConfig,
        SaveKey,
        SaveApiProfile,
        MoveConversations,
        RepairConfig,
        SwitchToAccount,
        PrepareAccountLogin,
        Restore,
        Prune,
        FinishJournal,
    };
    // Whether a failure after the first write left the home as it was.
    enum class PutBack { NotNeeded, Done, DoneAfterCodexWrote, Failed };

    Outcome outcome = Outcome::Done;
    Event event = Event::Nothing;
    std::optional<SwitchMode> modeNow;  // the installation's mode, when the workflow changed it
    bool openCodex = false;             // Codex is to be opened on the new state
    std::optional<QString> keyInUse;    // the key the workflow checked or set Codex up with

    MovedConversations moved;
    bool accountRecorded = false;
    std::optional<QString> diagnosis;   // the relay's reading of the configuration, as it gave it
    QString provider;
    std::optional<RestorePoint> restored;
    QString newRestorePoint;            // where the state before a restore was saved
    qint64 removedBackups = 0;
    qint64 keptBackups = 0;
    QString forgottenKey;               // shortened
    Step step = Step::BackUp;
    Error error;
    PutBack putBack = PutBack::NotNeeded;
    Error putBackError;
    std::vector<CodexProcess> codex;      // the running Codex that refused the workflow
    std::optional<QString> restoreByHand; // the restore point to put back, when that failed
    std::optional<SwitchMode> repairWith; // the repair that rewrites the file that stopped the workflow

    static WorkflowResult done(Event event) { return with(Outcome::Done, event); }
    static WorkflowResult refused(Event event, Error error = {})
    {
        WorkflowResult result = with(Outcome::Refused, event);
        result.error = std::move(error);
        return result;
    }
    // Refused because Codex runs.
    static WorkflowResult codexRunning(std::vector<CodexProcess> codex, Event event = Event::CodexRunning)
    {
        WorkflowResult result = with(Outcome::CodexRunning, event);
        result.codex = std::move(codex);
        return result;
    }
    static WorkflowResult failed(Event event, Error error)
    {
        WorkflowResult result = with(Outcome::Failed, event);
        result.error = std::move(error);
        return result;
    }
    // Stopped before any change by a config.toml that the mode's repair rewrites.
    static WorkflowResult configNotEditable(Error error, SwitchMode repairMode)
    {
        WorkflowResult result = failed(Event::ConfigNotEditable, std::move(error));
        result.repairWith = repairMode;
        return result;
    }
    static WorkflowResult failed(Step step, Error error)
    {
        WorkflowResult result = failed(Event::StepFailed, std::move(error));
        result.step = step;
        return result;
    }

private:
    static WorkflowResult with(Outcome outcome, Event event)
    {
        WorkflowResult result;
        result.outcome = outcome;
        result.event = event;
        return result;
    }
};

// The work under way, for the progress a workflow reports.
enum class WorkflowTask {
    CheckingKey,
    SwitchingToApi,
    SwitchingToAccount,
    PreparingAccountLogin,
    Repairing,
    MovingConversations,
    Restoring,
};
