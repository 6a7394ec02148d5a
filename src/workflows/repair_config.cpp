// Repair: rewrite the configuration from the standard template of the mode and move the
// conversations along; in the API mode, with a diagnosis of what was wrong.

#include "config/config_writers.h"
#include "core/api_key.h"
#include "core/constants.h"
#include "history/key_history.h"
#include "migration/migration_space.h"
#include "relay/diagnosis.h"
#include "relay/key_validation.h"
#include "storage/backups.h"
#include "storage/profiles.h"
#include "workflows/workflow_texts.h"
#include "workflows/workflows.h"

#include <QFileInfo>

WorkflowResult Workflows::repair(SwitchMode mode, const QString& keyInput)
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    const bool apiBranch = mode != ModeAccount;
    const QString key = apiBranch ? keyInput.trimmed() : jsonString(readCurrentApiKey(m_home)).value_or(QString());
    const bool wellFormedKey = isLikelyApiKey(key);
    if (apiBranch && !wellFormedKey)
        return WorkflowResult::refused(QStringLiteral("请先输入有效的 TEVRUN API，再修复配置。"));
    HomeLock lock(m_home);
    if (auto refusal = claimHome(lock))
        return *refusal;

    const QString busy = QStringLiteral("正在修复配置...");
    Q_EMIT progress(busy, 0, 0);
    Error error;
    std::optional<QString> diagnosis;
    if (apiBranch) {
        if (!validateTevrunApiKey(m_relay, key, &error))
            return failure(error, QStringLiteral("TEVRUN API 校验失败。"));
        // Asked before anything changes, so it sees the configuration as it was.
        diagnosis = diagnoseConfigWithAIUsingKey(m_relay, m_home, key);
        // Codex may have started while the relay was asked: look again before the first write.
        if (auto refusal = refusalWhileCodexRuns())
            return *refusal;
    }
    CodexThreadLocks conversations(m_home);
    if (auto refusal = claimConversations(conversations))
        return *refusal;
    const QString provider = apiBranch ? morvane::providerTevrun : morvane::providerOpenAI;
    if (!enoughSpaceToMigrate(m_home, provider, &error))
        return failure(error, QStringLiteral("迁移对话 provider 失败。"));
    const std::optional<QString> backup = createBackupWithKind(m_home, QStringLiteral("repair-config"), &error);
    if (!backup)
        return failure(error, QStringLiteral("备份失败。"));
    const Journal journal{QStringLiteral("repair-config"), QFileInfo(*backup).fileName(), {}};
    if (wellFormedKey)
        saveApiKeyToHistory(m_home, key);
    if (!writeJournal(m_home, journal, &error))
        return failure(error, QStringLiteral("备份失败。"));

    const bool written = apiBranch ? writeCleanApiConfigWithKey(m_home, key, &error) : writeCleanLoginConfig(m_home, &error);
    WorkflowResult result;
    qint64 moved = -1;
    if (!written) {
        result = failedAfterWriting(error, QStringLiteral("修复配置失败。"), journal);
    } else if (moved = moveConversations(busy, provider, QStringLiteral("repair-provider"), journal.restorePoint, conversations,
                                        &error);
               moved < 0) {
        result = failedAfterWriting(error, QStringLiteral("迁移对话 provider 失败。"), journal);
    } else if (!removeJournal(m_home, &error)) {
        result = failedAfterWriting(error, QStringLiteral("修复配置失败。"), journal);
    } else if (apiBranch) {
        saveProfileNamed(m_home, QStringLiteral("api"),
                         {QStringLiteral("auth.json"), QStringLiteral("config.toml"), QStringLiteral("auth_tevrun_last.json")},
                         false);
        result = WorkflowResult::done(diagnosis && !diagnosis->isEmpty()
                                          ? QStringLiteral("AI 诊断：") + *diagnosis + QStringLiteral(" 已按标准模板修复。") + syncNote(moved)
                                          : QStringLiteral("TEVRUN API 已校验通过，配置已按标准模板修复。") + syncNote(moved));
        result.pillMode = ModeApi;
    } else {
        result = WorkflowResult::done(QStringLiteral("GPT 账号 登陆配置已按标准模板修复。") + syncNote(moved)
                                      + QStringLiteral("现在可以重新打开 Codex 登陆。"));
        result.pillMode = ModeUnconfigured;
    }
    // The key was shown in the field once it was remembered, whatever came after.
    if (wellFormedKey)
        result.fieldKey = key;
    return result;
}
