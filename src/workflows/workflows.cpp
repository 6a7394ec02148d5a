// The engine's shared steps and the key check.

#include "workflows/workflows.h"

#include "codexapp/codex_control.h"
#include "core/api_key.h"
#include "core/files/file_errors.h"
#include "core/files/staging.h"
#include "history/key_history.h"
#include "migration/thread_migration.h"
#include "relay/key_validation.h"
#include "workflows/health_check.h"
#include "workflows/workflow_texts.h"

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

} // namespace

Workflows::Workflows(CodexHome home, RelayEndpoint relay, Workspace& workspace, QObject* parent)
    : QObject(parent), m_home(std::move(home)), m_relay(std::move(relay)), m_workspace(workspace)
{
}

InitialState Workflows::startUpState() const
{
    InitialState state;
    std::optional<QString> key = latestHistoricalApiKey(m_home);
    if (!key)
        key = jsonString(readCurrentApiKey(m_home));
    if (key && isLikelyApiKey(*key))
        state.fieldKey = key;
    state.pillMode = detectCurrentMode(m_home);
    state.selectedMode = state.pillMode == ModeAccount ? ModeAccount : ModeApi;
    // Conversations Codex does not list are the one problem worth saying at once.
    if (const qint64 elsewhere = conversationsElsewhere(m_home).value_or(0); elsewhere > 0)
        state.problem = conversationsElsewhereText(elsewhere);
    return state;
}

std::vector<HistoryItem> Workflows::savedKeys() const
{
    return historyItems(m_home);
}

bool Workflows::forgetKey(const QString& id, Error* error)
{
    // An unknown id is refused before anything is made.
    if (!findHistoryItem(m_home, id, error))
        return false;
    // Only the saved keys change: a workflow cut off is left to the next start.
    const HomeLock lock(m_home);
    if (!lock.held())
        return files::fail(error, lock.error());
    return forgetHistoryItem(m_home, id, error);
}

std::optional<WorkflowResult> Workflows::refusalWhileCodexRuns() const
{
    const std::vector<CodexProcess> running = runningCodex(m_workspace);
    if (running.empty())
        return std::nullopt;
    return WorkflowResult::codexRunning(codexRunningMessage(running));
}

std::optional<WorkflowResult> Workflows::claimConversations(CodexThreadLocks& locks) const
{
    Error error;
    if (locks.claim(idsOf(visibleThreads(m_home, QString()).value_or(ThreadRecords())), &error))
        return std::nullopt;
    if (error.code != ErrorConversationsOpen || error.domain != morvaneErrorDomain)
        return WorkflowResult::failed(error.message);
    return WorkflowResult::codexRunning(error.message);
}

std::optional<WorkflowResult> Workflows::claimHome(HomeLock& lock, bool isRestore)
{
    if (!lock.held())
        return WorkflowResult::failed(lock.error().message);
    if (!hasJournal(m_home))
        return std::nullopt;
    const WorkflowResult recovered = recoverUnderLock();
    if (isRestore && recovered.outcome != WorkflowResult::Outcome::Done)
        return std::nullopt; // the restore the user chose is the way back now
    return recovered;
}

qint64 Workflows::moveConversations(const QString& busyText, const QString& provider, const QString& backupKind,
                                    const QString& restorePoint, CodexThreadLocks& locks, Error* error)
{
    // Codex may have started while the files were staged: its index must not change under it,
    // nor a conversation that came since the workflow began be moved while Codex writes it.
    const auto codexStillClosed = [this, &locks](const ThreadRecords& threads, Error* stopped) {
        if (const std::vector<CodexProcess> running = runningCodex(m_workspace); !running.empty()) {
            setMorvaneError(stopped, ErrorCodexStarted, codexRunningMessage(running));
            return false;
        }
        return locks.claim(idsOf(threads), stopped);
    };
    return migrateVisibleThreadsToProvider(
        m_home, provider, backupKind, restorePoint, error,
        [&](qint64 done, qint64 total) { Q_EMIT progress(busyText, done, total); }, codexStillClosed);
}

bool Workflows::putBack(const Journal& journal, Error* error)
{
    const std::optional<RestorePoint> point = findRestorePoint(m_home, journal.restorePoint, error);
    if (!point || !putBackRestorePoint(m_home, *point, error))
        return false;
    for (const QString& created : journal.createdFiles) {
        // Only a conversation file the workflow made, whatever the journal says.
        const QString name = QFileInfo(created).fileName();
        if (name.startsWith(QLatin1String("rollout-")) && name.endsWith(QLatin1String(".jsonl")))
            ::unlink(files::nativePath(created).constData());
    }
    return removeJournal(m_home, error);
}

WorkflowResult Workflows::failedAfterWriting(const Error& error, const QString& fallback, const Journal& journal)
{
    WorkflowResult result = failure(error, fallback);
    Error putBackError;
    if (putBack(journal, &putBackError)) {
        if (error.code == ErrorChangedWhileStaged && error.domain == morvaneErrorDomain)
            result.message = QStringLiteral("Codex 在切换过程中写入了对话，已恢复到切换前的状态。请先退出 Codex 再切换。");
        else
            result.message += QStringLiteral(" 已恢复到切换前的状态。");
    } else {
        result.message += QStringLiteral(" 恢复原状也失败了：%1 请在“恢复备份…”中恢复“%2”。")
                              .arg(putBackError.message, journal.restorePoint);
    }
    if ((error.code == ErrorCodexStarted || error.code == ErrorConversationsOpen) && error.domain == morvaneErrorDomain)
        result.outcome = WorkflowResult::Outcome::CodexRunning;
    return result;
}

bool Workflows::hasInterruptedWork() const
{
    return hasJournal(m_home) || files::countStagingFiles(m_home.codexHomeURL()) > 0
        || files::countStagingFiles(m_home.morvaneRootURL()) > 0;
}

void Workflows::removeStagingFiles(bool inRolloutFolders) const
{
    for (const QString& folder : {m_home.codexHomeURL(), m_home.morvaneRootURL(), m_home.historyRootURL(),
                                  m_home.profileURL(QStringLiteral("account")), m_home.profileURL(QStringLiteral("api"))})
        files::removeStagingFiles(folder);
    if (!inRolloutFolders)
        return;
    std::set<QString> folders;
    for (const ThreadRecord& thread : visibleThreads(m_home, QString()).value_or(ThreadRecords())) {
        if (QFileInfo(thread.rolloutPath).isAbsolute()) // never a folder relative to wherever this runs
            folders.insert(QFileInfo(thread.rolloutPath).path());
    }
    for (const QString& folder : folders)
        files::removeStagingFiles(folder);
}

WorkflowResult Workflows::recoverInterruptedWork()
{
    WorkflowResult result = WorkflowResult::done(QString());
    if (!hasInterruptedWork())
        return result;
    const HomeLock lock(m_home);
    if (!lock.held())
        return result; // another front end is at work: what it left is its own
    return recoverUnderLock();
}

WorkflowResult Workflows::recoverUnderLock()
{
    WorkflowResult result = WorkflowResult::done(QString());
    const bool cutOff = hasJournal(m_home);
    if (cutOff && !runningCodex(m_workspace).empty()) {
        // Nothing of Codex's is written while it runs, not even to put it right.
        return WorkflowResult::failed(
            QStringLiteral("上次的操作没有完成。Codex 正在运行，退出 Codex 后会恢复到开始前的状态。"));
    }
    CodexThreadLocks conversations(m_home);
    if (cutOff) {
        if (auto refusal = claimConversations(conversations)) {
            refusal->message = QStringLiteral("上次的操作没有完成，现在还不能恢复：") + refusal->message;
            return *refusal;
        }
        Error error;
        const std::optional<Journal> journal = readJournal(m_home, &error);
        if (journal && putBack(*journal, &error)) {
            result.message = QStringLiteral("上次的操作没有完成，已恢复到开始前的状态。");
            result.tone = WorkflowResult::Tone::Ready;
            result.pillMode = detectCurrentMode(m_home);
        } else if (journal) {
            result = WorkflowResult::failed(
                QStringLiteral("上次的操作没有完成，也没能恢复到开始前的状态：%1 请在“恢复备份…”中恢复“%2”。")
                    .arg(error.message, journal->restorePoint));
        } else {
            result = WorkflowResult::failed(QStringLiteral("上次的操作没有完成，它的记录也读不出来：%1").arg(error.message));
        }
    }
    // Staged files go only once the put-back no longer needs them.
    removeStagingFiles(cutOff);
    return result;
}
WorkflowResult Workflows::checkKey(const QString& keyInput)
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    const QString key = keyInput.trimmed();
    if (!isLikelyApiKey(key))
        return WorkflowResult::refused(QStringLiteral("请先输入以 sk- 开头的 TEVRUN API。"));
    // Only the saved keys change: a workflow cut off is left to the next start.
    const HomeLock lock(m_home);
    if (!lock.held())
        return WorkflowResult::failed(lock.error().message);
    Q_EMIT progress(QStringLiteral("正在检查 TEVRUN API..."), 0, 0);
    Error error;
    if (!validateTevrunApiKey(m_relay, key, &error))
        return failure(error, QStringLiteral("TEVRUN API 检查失败。"));
    saveApiKeyToHistory(m_home, key);
    WorkflowResult result = WorkflowResult::done(QStringLiteral("TEVRUN API 可用，可以切换或修复配置。"));
    result.fieldKey = key;
    return result;
}
