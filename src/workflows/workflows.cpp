// The engine's shared steps and the key check.

#include "workflows/workflows.h"

#include "codexapp/codex_control.h"
#include "core/api_key.h"
#include "history/key_history.h"
#include "migration/thread_migration.h"
#include "relay/key_validation.h"
#include "workflows/workflow_texts.h"

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
    return state;
}

std::vector<HistoryItem> Workflows::savedKeys() const
{
    return historyItems(m_home);
}

bool Workflows::forgetKey(const QString& id, Error* error)
{
    return forgetHistoryItem(m_home, id, error);
}

std::optional<WorkflowResult> Workflows::refusalWhileCodexRuns() const
{
    const std::vector<CodexProcess> running = runningCodex(m_workspace);
    if (running.empty())
        return std::nullopt;
    WorkflowResult result = WorkflowResult::refused(codexRunningMessage(running));
    result.outcome = WorkflowResult::Outcome::CodexRunning;
    return result;
}

qint64 Workflows::moveConversations(const QString& busyText, const QString& provider, const QString& backupKind,
                                    const QString& restorePoint, Error* error)
{
    return migrateVisibleThreadsToProvider(m_home, provider, backupKind, restorePoint, error,
                                           [&](qint64 done, qint64 total) { Q_EMIT progress(busyText, done, total); });
}

WorkflowResult Workflows::failedAfterWriting(const Error& error, const QString& fallback, const QString& restorePoint)
{
    WorkflowResult result = failure(error, fallback);
    Error putBackError;
    const std::optional<RestorePoint> point = findRestorePoint(m_home, restorePoint, &putBackError);
    if (point && putBackRestorePoint(m_home, *point, &putBackError)) {
        result.message += QStringLiteral(" 已恢复到切换前的状态。");
    } else {
        result.message += QStringLiteral(" 恢复原状也失败了：%1 请在“恢复备份…”中恢复“%2”。")
                              .arg(putBackError.message, restorePoint);
    }
    return result;
}

WorkflowResult Workflows::checkKey(const QString& keyInput)
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    const QString key = keyInput.trimmed();
    if (!isLikelyApiKey(key))
        return WorkflowResult::refused(QStringLiteral("请先输入以 sk- 开头的 TEVRUN API。"));
    Q_EMIT progress(QStringLiteral("正在检查 TEVRUN API..."), 0, 0);
    Error error;
    if (!validateTevrunApiKey(m_relay, key, &error))
        return failure(error, QStringLiteral("TEVRUN API 检查失败。"));
    saveApiKeyToHistory(m_home, key);
    WorkflowResult result = WorkflowResult::done(QStringLiteral("TEVRUN API 可用，可以切换或修复配置。"));
    result.fieldKey = key;
    return result;
}
