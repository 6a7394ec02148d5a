#pragma once

#include "codexapp/thread_locks.h"
#include "core/error.h"
#include "migration/moved_conversations.h"
#include "storage/backup_kind.h"
#include "storage/home_lock.h"
#include "storage/journal.h"
#include "workflows/engine_context.h"
#include "workflows/workflow_result.h"

#include <expected>
#include <functional>
#include <optional>
#include <vector>

// One change of a Codex home that is whole or not at all, and the one owner of its restore
// point. Opening it takes the home's lock; commit() takes Codex's locks on the
// conversations, checks the space, backs up, and runs the steps in the order given, the
// journal written before the first step that changes Codex's files. A step that fails puts
// everything back from the backup, as the next start does when the process dies midway:
// both go through putBack().
class JournaledChange {
public:
    enum class CutOff {
        PutBackFirst,  // a workflow found cut off is put back before this one
        RestoreAnyway, // ... and when that fails, the restore the user chose is the way back
        LeaveIt,       // only Morvane's own files change: the next start puts it back
    };

    explicit JournaledChange(const EngineContext& engine, CutOff cutOff = CutOff::PutBackFirst);
    JournaledChange(const JournaledChange&) = delete;
    JournaledChange& operator=(const JournaledChange&) = delete;

    // Done when the home's lock is this change's; else why not (another writer holds it, or
    // the file's error).
    Expected<> holdsHome() const;
    // Nothing when the home is this change's; else what the user is told: another front end
    // holds it, or the workflow found cut off was put back (or could not be).
    std::optional<WorkflowResult> refusal();

    // The steps, in the order commit() runs them, each named for when it fails. A step of
    // Morvane's own files only (recording a profile, say) that fails before any write of
    // Codex's is reported as it is: nothing of Codex's has changed yet.
    void recordOwnFiles(std::function<Expected<>()> step, WorkflowResult::Step name);
    void write(std::function<Expected<>()> step, WorkflowResult::Step name);
    // Every visible conversation to the provider, reported as part of the task; its space is
    // checked before the backup.
    void moveConversations(QString provider, WorkflowTask task);
    // A backup of the change's own instead of the standard one, with the files its writes
    // make where none were.
    void backUpWith(std::function<Expected<QString>()> takeBackup, WorkflowResult::Step name, QStringList createdFiles);

    // Runs the steps; kind names the backups and the journal's workflow, name the workflow
    // when the journal cannot go. Nothing when every step was done and the
    // journal is gone; else how the change ended.
    std::optional<WorkflowResult> commit(BackupKind kind);
    // Once committed: the restore point goes again when the change changed nothing.
    Expected<> dropRestorePointIfUnchanged();

    const MovedConversations& movedConversations() const { return m_moved; }
    bool journaled() const { return m_journaled; }
    const QString& restorePoint() const { return m_journal.restorePoint; }

    // Puts a workflow found cut off back, once the home is held, and clears what writes cut
    // off left; Event::Nothing when there was nothing to put back.
    WorkflowResult putBackCutOff();

private:
    struct Step {
        enum class Kind { OwnFiles, Write, Move } kind;
        std::function<Expected<>()> run;
        WorkflowResult::Step name;
    };
    std::optional<WorkflowResult> claimConversations();
    WorkflowResult failedAfterWriting(const Error& error, WorkflowResult::Step name);
    void removeStagingFiles(bool inRolloutFolders) const;

    const EngineContext& m_engine;
    CutOff m_cutOff;
    HomeLock m_lock;
    // Let go before the home's lock, as the members go in reverse.
    CodexThreadLocks m_conversations;
    Journal m_journal;
    BackupKind m_kind = BackupKind::SwitchApi; // set by commit, before any step runs
    std::vector<Step> m_steps;
    std::optional<QString> m_provider;
    std::function<Expected<QString>()> m_takeBackup;
    WorkflowResult::Step m_backUpStep = WorkflowResult::Step::BackUp;
    std::vector<CodexProcess> m_codexStarted; // seen just before the thread index changed
    MovedConversations m_moved;
    bool m_journaled = false;
};

// The journal's restore point back in place, the files it made removed, the journal gone.
Expected<> putBack(const CodexHome& home, const Journal& journal);
