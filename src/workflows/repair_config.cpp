// Repair: rewrite the configuration from the standard template of the selected mode and
// move the conversations along; in the API mode, with a diagnosis of what was wrong.

#include "config/config_writers.h"
#include "core/api_key.h"
#include "core/constants.h"
#include "history/key_history.h"
#include "migration/thread_migration.h"
#include "relay/diagnosis.h"
#include "relay/key_validation.h"
#include "storage/backups.h"
#include "storage/profiles.h"
#include "ui/app_delegate.h"
#include "ui/palette.h"
#include "workflows/workflow_texts.h"

void AppDelegate::repairConfig()
{
    if (!guardCodexNotRunning()) {
        refreshCodexRunningGate();
        return;
    }
    const bool apiBranch = m_selectedMode != ModeAccount;
    const QString key = apiBranch ? currentApiKeyInput().trimmed() : jsonString(readCurrentApiKey(m_home)).value_or(QString());
    const bool wellFormedKey = isLikelyApiKey(key);
    if (apiBranch && !wellFormedKey) {
        refuse(QStringLiteral("请先输入有效的 TEVRUN API，再修复配置。"));
        return;
    }

    beginBusy(QStringLiteral("正在修复配置..."));
    Error error;
    std::optional<QString> diagnosis;
    if (apiBranch) {
        if (!validateTevrunApiKey(m_relay, key, &error))
            return failWorkflow(error, QStringLiteral("TEVRUN API 校验失败。"));
        // Asked before anything changes, so it sees the configuration as it was.
        diagnosis = diagnoseConfigWithAIUsingKey(m_relay, m_home, key);
    }
    if (!createBackupWithKind(m_home, QStringLiteral("repair-config"), &error))
        return failWorkflow(error, QStringLiteral("备份失败。"));
    if (wellFormedKey) {
        saveApiKeyToHistory(m_home, key);
        setApiFieldText(key);
    }

    const bool written = apiBranch ? writeCleanApiConfigWithKey(m_home, key, &error) : writeCleanLoginConfig(m_home, &error);
    if (!written)
        return failWorkflow(error, QStringLiteral("修复配置失败。"));
    const qint64 moved = migrateVisibleThreadsToProvider(
        m_home, apiBranch ? morvane::providerTevrun : morvane::providerOpenAI, QStringLiteral("repair-provider"), &error);
    if (moved < 0)
        return failWorkflow(error, QStringLiteral("迁移对话 provider 失败。"));

    QString message;
    if (apiBranch) {
        saveProfileNamed(m_home, QStringLiteral("api"),
                         {QStringLiteral("auth.json"), QStringLiteral("config.toml"), QStringLiteral("auth_tevrun_last.json")},
                         false);
        updateCurrentModePill(ModeApi);
        message = diagnosis && !diagnosis->isEmpty()
            ? QStringLiteral("AI 诊断：") + *diagnosis + QStringLiteral(" 已按标准模板修复。") + syncNote(moved)
            : QStringLiteral("TEVRUN API 已校验通过，配置已按标准模板修复。") + syncNote(moved);
    } else {
        updateCurrentModePill(ModeUnconfigured);
        message = QStringLiteral("GPT 账号 登陆配置已按标准模板修复。") + syncNote(moved)
            + QStringLiteral("现在可以重新打开 Codex 登陆。");
    }
    endBusy(message, palette::systemGreen(), normalActionButtonTitle());
}
