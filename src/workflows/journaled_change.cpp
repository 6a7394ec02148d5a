#include "workflows/journaled_change.h"

#include "codexapp/codex_control.h"
#include "core/files/file_errors.h"
#include "core/files/staging.h"
#include "core/mode_detection.h"
#include "migration/migration_space.h"
#include "migration/thread_migration.h"
#include "storage/backups.h"
#include "storage/restore_points.h"
#include "workflows/workflow_texts.h"
#include "workflows/workflows.h"

#include <QFileInfo>

#include <set>

#include <unistd.h>

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

JournaledChange::JournaledChange(Workflows& engine, CutOff cutOff)
    : m_engine(engine), m_cutOff(cutOff), m_lock(engine.m_home), m_conversations(engine.m_home)
{
}

bool JournaledChange::holdsHome(Error* error) const
{
    return m_lock.held() || files::fail(error, m_lock.error());
}

std::optional<WorkflowResult> JournaledChange::refusal()
{
    if (!m_lock.held())
        return WorkflowResult::failed(m_lock.error().message);
    if (m_cutOff == CutOff::LeaveIt || !hasJournal(m_engine.m_home))
        return std::nullopt;
    const WorkflowResult recovered = putBackCutOff();
    if (m_cutOff == CutOff::RestoreAnyway && recovered.outcome != WorkflowResult::Outcome::Done)
        return std::nullopt; // the restore the user chose is the way back now
    return recovered;
}

void JournaledChange::beforeJournal(std::function<bool(Error*)> step, QString failureText)
{
    m_steps.push_back({Step::Kind::BeforeJournal, std::move(step), std::move(failureText)});
}

void JournaledChange::write(std::function<bool(Error*)> step, QString failureText)
{
    m_steps.push_back({Step::Kind::Write, std::move(step), std::move(failureText)});
}

void JournaledChange::moveConversations(QString provider, QString busyText, QString migrationKind)
{
    m_provider = provider;
    // Codex may have started while the files were staged: its index must not change under it,
    // nor a conversation that came since the change began be moved while Codex writes it.
    const auto codexStillClosed = [this](const ThreadRecords& threads, Error* stopped) {
        if (std::vector<CodexProcess> running = runningCodex(m_engine.m_workspace); !running.empty()) {
            m_codexStarted = std::move(running);
            setMorvaneError(stopped, ErrorCodexStarted, QString());
            return false;
        }
        return m_conversations.claim(idsOf(threads), stopped);
    };
    m_steps.push_back({Step::Kind::Move,
                       [this, provider, busyText, migrationKind, codexStillClosed](Error* error) {
                           m_moved = migrateVisibleThreadsToProvider(
                               m_engine.m_home, provider, migrationKind, m_journal.restorePoint, error,
                               [&](qint64 done, qint64 total) { Q_EMIT m_engine.progress(busyText, done, total); },
                               codexStillClosed);
                           return m_moved >= 0;
                       },
                       QStringLiteral("迁移对话 provider 失败。")});
}

void JournaledChange::backUpWith(std::function<std::optional<QString>(Error*)> takeBackup, QString failureText,
                                 QStringList createdFiles)
{
    m_takeBackup = std::move(takeBackup);
    m_backupFailureText = std::move(failureText);
    m_journal.createdFiles = std::move(createdFiles);
}

std::optional<WorkflowResult> JournaledChange::claimConversations()
{
    Error error;
    if (m_conversations.claim(idsOf(visibleThreads(m_engine.m_home, QString()).value_or(ThreadRecords())), &error))
        return std::nullopt;
    if (!isMorvaneError(error, ErrorConversationsOpen))
        return WorkflowResult::failed(error.message);
    return WorkflowResult::codexRunning(error.message);
}

std::optional<WorkflowResult> JournaledChange::commit(const QString& kind, const QString& failureText)
{
    const CodexHome& home = m_engine.m_home;
    m_journal.workflow = kind;
    if (auto refusal = claimConversations())
        return refusal;
    Error error;
    if (m_provider && !enoughSpaceToMigrate(home, *m_provider, &error))
        return failure(error, QStringLiteral("迁移对话 provider 失败。"));
    const std::optional<QString> backup = m_takeBackup ? m_takeBackup(&error) : [&]() -> std::optional<QString> {
        const std::optional<QString> folder = createBackupWithKind(home, m_journal.workflow, &error);
        return folder ? std::optional<QString>(QFileInfo(*folder).fileName()) : std::nullopt;
    }();
    if (!backup && isMorvaneError(error, ErrorRestorePointIncomplete))
        return WorkflowResult::refused(error.message);
    if (!backup)
        return failure(error, m_backupFailureText);
    m_journal.restorePoint = *backup;
    for (const Step& step : m_steps) {
        if (step.kind == Step::Kind::BeforeJournal && !step.run(&error))
            return failure(error, step.failureText);
    }
    if (!writeJournal(home, m_journal, &error))
        return failure(error, m_backupFailureText);
    m_journaled = true;
    for (const Step& step : m_steps) {
        if (step.kind != Step::Kind::BeforeJournal && !step.run(&error))
            return failedAfterWriting(error, step.failureText);
    }
    if (!removeJournal(home, &error))
        return failedAfterWriting(error, failureText);
    return std::nullopt;
}

WorkflowResult JournaledChange::failedAfterWriting(const Error& error, const QString& failureText)
{
    const bool codexStarted = isMorvaneError(error, ErrorCodexStarted);
    WorkflowResult result = codexStarted ? WorkflowResult::codexRunning(QString(), m_codexStarted) : failure(error, failureText);
    Error putBackError;
    if (putBack(m_engine.m_home, m_journal, &putBackError)) {
        if (isMorvaneError(error, ErrorChangedWhileStaged))
            result.message = QStringLiteral("Codex 在切换过程中写入了对话，已恢复到切换前的状态。请先退出 Codex 再切换。");
        else
            result.message += QStringLiteral(" 已恢复到切换前的状态。");
    } else {
        result.message += QStringLiteral(" 恢复原状也失败了：") + putBackError.message;
        result.restoreByHand = m_journal.restorePoint;
    }
    if (isMorvaneError(error, ErrorConversationsOpen))
        result.outcome = WorkflowResult::Outcome::CodexRunning;
    return result;
}

WorkflowResult JournaledChange::putBackCutOff()
{
    const CodexHome& home = m_engine.m_home;
    WorkflowResult result = WorkflowResult::done(QString());
    const bool cutOff = hasJournal(home);
    if (cutOff && !runningCodex(m_engine.m_workspace).empty()) {
        // Nothing of Codex's is written while it runs, not even to put it right.
        return WorkflowResult::failed(
            QStringLiteral("上次的操作没有完成。Codex 正在运行，退出 Codex 后会恢复到开始前的状态。"));
    }
    if (cutOff) {
        if (auto refusal = claimConversations()) {
            refusal->message = QStringLiteral("上次的操作没有完成，现在还不能恢复：") + refusal->message;
            return *refusal;
        }
        Error error;
        const std::optional<Journal> journal = readJournal(home, &error);
        if (journal && putBack(home, *journal, &error)) {
            result.message = QStringLiteral("上次的操作没有完成，已恢复到开始前的状态。");
            result.tone = WorkflowResult::Tone::Ready;
            result.pillMode = detectCurrentMode(home);
        } else if (journal) {
            result = WorkflowResult::failed(QStringLiteral("上次的操作没有完成，也没能恢复到开始前的状态：") + error.message);
            result.restoreByHand = journal->restorePoint;
        } else {
            result = WorkflowResult::failed(QStringLiteral("上次的操作没有完成，它的记录也读不出来：%1").arg(error.message));
        }
    }
    // Staged files go only once the put-back no longer needs them.
    removeStagingFiles(cutOff);
    return result;
}

void JournaledChange::removeStagingFiles(bool inRolloutFolders) const
{
    const CodexHome& home = m_engine.m_home;
    for (const QString& folder : {home.codexHomeURL(), home.morvaneRootURL(), home.historyRootURL(),
                                  home.profileURL(QStringLiteral("account")), home.profileURL(QStringLiteral("api"))})
        files::removeStagingFiles(folder);
    if (!inRolloutFolders)
        return;
    std::set<QString> folders;
    for (const ThreadRecord& thread : visibleThreads(home, QString()).value_or(ThreadRecords())) {
        if (QFileInfo(thread.rolloutPath).isAbsolute()) // never a folder relative to wherever this runs
            folders.insert(QFileInfo(thread.rolloutPath).path());
    }
    for (const QString& folder : folders)
        files::removeStagingFiles(folder);
}

bool putBack(const CodexHome& home, const Journal& journal, Error* error)
{
    const std::optional<RestorePoint> point = findRestorePoint(home, journal.restorePoint, error);
    if (!point || !putBackRestorePoint(home, *point, error))
        return false;
    for (const QString& created : journal.createdFiles) {
        // Only a conversation file the workflow made, whatever the journal says.
        const QString name = QFileInfo(created).fileName();
        if (name.startsWith(QLatin1String("rollout-")) && name.endsWith(QLatin1String(".jsonl")))
            ::unlink(files::nativePath(created).constData());
    }
    return removeJournal(home, error);
}
