// Switch to API: validate the key, back up, record the account login, write the API
// configuration, move the conversations, remember the key.

#include "config/config_writers.h"
#include "core/api_key.h"
#include "core/constants.h"
#include "history/key_history.h"
#include "migration/migration_space.h"
#include "relay/key_validation.h"
#include "storage/backups.h"
#include "storage/profiles.h"
#include "workflows/workflow_texts.h"
#include "workflows/workflows.h"

#include <QFileInfo>

WorkflowResult Workflows::switchToApi(const QString& keyInput)
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    const QString key = keyInput.trimmed();
    if (!isLikelyApiKey(key))
        return WorkflowResult::refused(QStringLiteral("TEVRUN API 必须以 sk- 开头。"));
    HomeLock lock(m_home);
    if (auto refusal = claimHome(lock))
        return *refusal;
    // The installation as the user left it, before anything is written.
    const SwitchMode previousMode = detectCurrentMode(m_home);

    const QString busy = QStringLiteral("正在切到 TEVRUN API...");
    Q_EMIT progress(busy, 0, 0);
    Error error;
    if (!validateTevrunApiKey(m_relay, key, &error))
        return failure(error, QStringLiteral("TEVRUN API 校验失败。"));
    // Codex may have started while the relay was asked: look again before the first write.
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    CodexThreadLocks conversations(m_home);
    if (auto refusal = claimConversations(conversations))
        return *refusal;
    if (!enoughSpaceToMigrate(m_home, morvane::providerTevrun, &error))
        return failure(error, QStringLiteral("迁移对话 provider 失败。"));
    const std::optional<QString> backup = createBackupWithKind(m_home, QStringLiteral("switch-api"), &error);
    if (!backup)
        return failure(error, QStringLiteral("备份失败。"));
    const Journal journal{QStringLiteral("switch-api"), QFileInfo(*backup).fileName(), {}};

    // The API writer replaces auth.json: keep the account login first.
    const bool recordedAccount = previousMode == ModeAccount;
    if (recordedAccount
        && !saveProfileNamed(m_home, QStringLiteral("account"), {QStringLiteral("auth.json"), QStringLiteral("config.toml")},
                             false, &error))
        return failure(error, QStringLiteral("自动记录 GPT 账号 登陆状态失败。"));

    if (!writeJournal(m_home, journal, &error))
        return failure(error, QStringLiteral("备份失败。"));
    if (!writeApiConfigWithKey(m_home, key, &error))
        return failedAfterWriting(error, QStringLiteral("写入 API 配置失败。"), journal);
    const qint64 moved = moveConversations(busy, morvane::providerTevrun, QStringLiteral("switch-api-provider"),
                                           journal.restorePoint, conversations, &error);
    if (moved < 0)
        return failedAfterWriting(error, QStringLiteral("迁移对话 provider 失败。"), journal);
    if (!removeJournal(m_home, &error))
        return failedAfterWriting(error, QStringLiteral("写入 API 配置失败。"), journal);

    saveApiKeyToHistory(m_home, key);
    saveProfileNamed(m_home, QStringLiteral("api"),
                     {QStringLiteral("auth.json"), QStringLiteral("config.toml"), QStringLiteral("auth_tevrun_last.json")},
                     false);

    WorkflowResult result = WorkflowResult::done(
        (recordedAccount ? QStringLiteral("已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。") : QStringLiteral("已切到 TEVRUN API。"))
        + syncNote(moved) + QStringLiteral("正在打开 Codex。"));
    result.fieldKey = key;
    result.pillMode = ModeApi;
    result.openCodex = true;
    return result;
}
