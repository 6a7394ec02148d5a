#include "workflows/journaled_change.h"

#include "codexapp/codex_control.h"
#include "core/files/file_errors.h"
#include "core/files/staging.h"
#include "credentials/mode_detection.h"
#include "migration/migration_space.h"
#include "core/files/file_tree.h"
#include "migration/thread_migration.h"
#include "storage/backups.h"
#include "storage/restore_point_layout.h"
#include "storage/restore_point_put_back.h"
#include "workflows/conversation_backup.h"

#include <QFileInfo>

#include <algorithm>
#include <set>


namespace {

QStringList idsOf(const ThreadRecords& threads)
{
    QStringList ids;
    ids.reserve(qsizetype(threads.size()));
    for (const ThreadRecord& thread : threads)
        ids << thread.id;
    return ids;
}

bool isMorvaneError(const Error& error, int code)
{
    return error.code == code && error.domain == morvaneErrorDomain;
}

} // namespace

JournaledChange::JournaledChange(const EngineContext& engine, CutOff cutOff)
    : m_engine(engine), m_cutOff(cutOff), m_lock(engine.home), m_conversations(engine.home)
{
}

Expected<> JournaledChange::holdsHome() const
{
    if (m_lock.held())
        return {};
    return std::unexpected(m_lock.error());
}

std::optional<WorkflowResult> JournaledChange::refusal()
{
    if (!m_lock.held())
        return WorkflowResult::failed(WorkflowResult::Event::Stopped, m_lock.error());
    if (m_cutOff == CutOff::LeaveIt || !hasJournal(m_engine.home))
        return std::nullopt;
    const WorkflowResult recovered = putBackCutOff();
    if (m_cutOff == CutOff::RestoreAnyway && recovered.outcome != WorkflowResult::Outcome::Done)
        return std::nullopt; // the restore the user chose is the way back now
    return recovered;
}

void JournaledChange::recordOwnFiles(std::function<Expected<>()> step, WorkflowResult::Step name)
{
    m_steps.push_back({Step::Kind::OwnFiles, std::move(step), name});
}

void JournaledChange::write(std::function<Expected<>()> step, WorkflowResult::Step name)
{
    m_steps.push_back({Step::Kind::Write, std::move(step), name});
}

void JournaledChange::moveConversations(QString provider, WorkflowTask task)
{
    m_provider = provider;
    // Codex may have started while the files were staged: its index must not change under it,
    // nor a conversation that came since the change began be moved while Codex writes it.
    const auto codexStillClosed = [this](const ThreadRecords& threads) -> Expected<> {
        if (std::vector<CodexProcess> running = runningCodex(m_engine.workspace); !running.empty()) {
            m_codexStarted = std::move(running);
            return std::unexpected(Error{morvaneErrorDomain, ErrorCodexStarted, QString()});
        }
        return m_conversations.claim(idsOf(threads));
    };
    m_steps.push_back({Step::Kind::Move,
                       [this, provider, task, codexStillClosed]() -> Expected<> {
                           const Expected<MovedConversations> moved = moveConversationsBackedUp(
                               m_engine.home, provider, m_kind, m_journal.restorePoint,
                               [&](qint64 done, qint64 total) { m_engine.report(task, done, total); }, codexStillClosed);
                           if (!moved)
                               return std::unexpected(moved.error());
                           m_moved = *moved;
                           return {};
                       },
                       WorkflowResult::Step::MoveConversations});
}

void JournaledChange::backUpWith(std::function<Expected<QString>()> takeBackup, WorkflowResult::Step name,
                                 QStringList createdFiles)
{
    m_takeBackup = std::move(takeBackup);
    m_backUpStep = name;
    m_journal.createdFiles = std::move(createdFiles);
}

std::optional<WorkflowResult> JournaledChange::claimConversations()
{
    const Expected<> claimed
        = m_conversations.claim(idsOf(threadsToMove(m_engine.home, QString()).value_or(ThreadRecords())));
    if (claimed)
        return std::nullopt;
    WorkflowResult result = WorkflowResult::failed(WorkflowResult::Event::Stopped, claimed.error());
    if (isMorvaneError(claimed.error(), ErrorConversationsOpen))
        result.outcome = WorkflowResult::Outcome::CodexRunning;
    return result;
}

std::optional<WorkflowResult> JournaledChange::commit(BackupKind kind)
{
    const CodexHome& home = m_engine.home;
    m_kind = kind;
    m_journal.workflow = namesOf(kind).name;
    if (auto refusal = claimConversations())
        return refusal;
    if (m_provider) {
        if (const Expected<> room = enoughSpaceToMigrate(home, *m_provider); !room)
            return WorkflowResult::failed(WorkflowResult::Step::MoveConversations, room.error());
    }
    const Expected<QString> backup = m_takeBackup ? m_takeBackup() : [&]() -> Expected<QString> {
        const Expected<QString> folder = createBackupWithKind(home, kind);
        if (!folder)
            return folder;
        return QFileInfo(*folder).fileName();
    }();
    if (!backup && isMorvaneError(backup.error(), ErrorRestorePointIncomplete))
        return WorkflowResult::refused(WorkflowResult::Event::Stopped, backup.error());
    if (!backup)
        return WorkflowResult::failed(m_backUpStep, backup.error());
    m_journal.restorePoint = *backup;
    for (const Step& step : m_steps) {
        if (step.kind != Step::Kind::OwnFiles && !m_journaled) {
            if (const Expected<> written = writeJournal(home, m_journal); !written)
                return WorkflowResult::failed(m_backUpStep, written.error());
            m_journaled = true;
        }
        if (const Expected<> done = step.run(); !done)
            return m_journaled ? failedAfterWriting(done.error(), step.name) : WorkflowResult::failed(step.name, done.error());
    }
    if (!m_journaled)
        return std::nullopt;
    if (const Expected<> removed = removeJournal(home); !removed)
        return failedAfterWriting(removed.error(), WorkflowResult::Step::FinishJournal);
    return std::nullopt;
}

Expected<> JournaledChange::dropRestorePointIfUnchanged()
{
    if (m_moved.listed > 0 || m_moved.archived > 0
        || std::any_of(m_steps.begin(), m_steps.end(), [](const Step& step) { return step.kind != Step::Kind::Move; }))
        return {};
    return files::removeItem(m_engine.home.backupsPath() + QLatin1Char('/') + m_journal.restorePoint);
}

WorkflowResult JournaledChange::failedAfterWriting(const Error& error, WorkflowResult::Step name)
{
    const bool codexStarted = isMorvaneError(error, ErrorCodexStarted);
    WorkflowResult result = codexStarted ? WorkflowResult::codexRunning(m_codexStarted, WorkflowResult::Event::CodexStarted)
                                         : WorkflowResult::failed(name, error);
    if (const Expected<> putBackDone = putBack(m_engine.home, m_journal)) {
        result.putBack = isMorvaneError(error, ErrorChangedWhileStaged) ? WorkflowResult::PutBack::DoneAfterCodexWrote
                                                                         : WorkflowResult::PutBack::Done;
    } else {
        result.putBack = WorkflowResult::PutBack::Failed;
        result.putBackError = putBackDone.error();
        result.restoreByHand = m_journal.restorePoint;
    }
    if (isMorvaneError(error, ErrorConversationsOpen))
        result.outcome = WorkflowResult::Outcome::CodexRunning;
    return result;
}

WorkflowResult JournaledChange::putBackCutOff()
{
    const CodexHome& home = m_engine.home;
    WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::Nothing);
    // A writer killed after taking the locks of threads, with or without a journal, left
    // their files; a Codex takes them over anyway, but they are ours to clear.
    if (hasLeftThreadLocks(home))
        removeLeftThreadLocks(home);
    const bool cutOff = hasJournal(home);
    if (cutOff && !runningCodex(m_engine.workspace).empty()) {
        // Nothing of Codex's is written while it runs, not even to put it right.
        return WorkflowResult::failed(WorkflowResult::Event::CutOffWhileCodexRuns, Error());
    }
    if (cutOff) {
        if (auto refusal = claimConversations()) {
            refusal->event = WorkflowResult::Event::CutOffNotYet;
            return *refusal;
        }
        const Expected<Journal> journal = readJournal(home);
        const Expected<> putBackDone = journal ? putBack(home, *journal) : std::unexpected(journal.error());
        if (putBackDone) {
            result.event = WorkflowResult::Event::CutOffPutBack;
            result.modeNow = detectCurrentMode(home);
        } else if (journal) {
            result = WorkflowResult::failed(WorkflowResult::Event::CutOffNotPutBack, putBackDone.error());
            result.restoreByHand = journal->restorePoint;
        } else {
            result = WorkflowResult::failed(WorkflowResult::Event::CutOffUnreadable, journal.error());
        }
    }
    // Staged files go only once the put-back no longer needs them.
    removeStagingFiles(cutOff);
    return result;
}

void JournaledChange::removeStagingFiles(bool inRolloutFolders) const
{
    const CodexHome& home = m_engine.home;
    for (const QString& folder : {home.codexHomePath(), home.morvaneRootPath(), home.historyRootPath(),
                                  home.profilePath(QStringLiteral("account")), home.profilePath(QStringLiteral("api"))})
        files::removeStagingFiles(folder);
    if (!inRolloutFolders)
        return;
    std::set<QString> folders;
    for (const ThreadRecord& thread : threadsToMove(home, QString()).value_or(ThreadRecords())) {
        if (QFileInfo(thread.rolloutPath).isAbsolute()) // never a folder relative to wherever this runs
            folders.insert(QFileInfo(thread.rolloutPath).path());
    }
    for (const QString& folder : folders)
        files::removeStagingFiles(folder);
}

Expected<> putBack(const CodexHome& home, const Journal& journal)
{
    const Expected<RestorePoint> point = findRestorePoint(home, journal.restorePoint);
    if (!point)
        return std::unexpected(point.error());
    if (Expected<> putBackDone = putBackRestorePoint(home, *point); !putBackDone)
        return putBackDone;
    for (const QString& created : journal.createdFiles) {
        // Only a conversation file the workflow made, whatever the journal says.
        const QString name = QFileInfo(created).fileName();
        if (!name.startsWith(QLatin1String("rollout-")) || !name.endsWith(QLatin1String(".jsonl")))
            continue;
        if (Expected<> removed = files::removeFile(created); !removed)
            return removed;
    }
    return removeJournal(home);
}
