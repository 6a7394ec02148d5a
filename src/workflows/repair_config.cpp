// Repair: rewrite the configuration from the standard template of the mode and move the
// conversations along; in the API mode, with a diagnosis of what was wrong.

#include "config/config_writers.h"
#include "core/api_key.h"
#include "core/constants.h"
#include "history/key_history.h"
#include "relay/diagnosis.h"
#include "relay/key_validation.h"
#include "storage/profiles.h"
#include "workflows/journaled_change.h"
#include "workflows/workflow_texts.h"
#include "workflows/workflows.h"

WorkflowResult Workflows::repair(SwitchMode mode, const QString& keyInput)
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    const bool apiBranch = mode != ModeAccount;
    const QString key = apiBranch ? keyInput.trimmed() : jsonString(readCurrentApiKey(m_home)).value_or(QString());
    const bool wellFormedKey = isLikelyApiKey(key);
    if (apiBranch && !wellFormedKey)
        return WorkflowResult::refused(QStringLiteral("请先输入有效的 TEVRUN API，再修复配置。"));
    JournaledChange change(*this);
    if (auto refusal = change.refusal())
        return *refusal;

    const QString busy = QStringLiteral("正在修复配置...");
    Q_EMIT progress(busy, 0, 0);
    std::optional<QString> diagnosis;
    if (apiBranch) {
        Error error;
        if (!validateTevrunApiKey(m_relay, key, &error))
            return failure(error, QStringLiteral("TEVRUN API 校验失败。"));
        // Asked before anything changes, so it sees the configuration as it was.
        diagnosis = diagnoseConfigWithAIUsingKey(m_relay, m_home, key);
        // Codex may have started while the relay was asked: look again before the first write.
        if (auto refusal = refusalWhileCodexRuns())
            return *refusal;
    }
    if (wellFormedKey) {
        change.beforeJournal(
            [this, &key](Error*) {
                saveApiKeyToHistory(m_home, key);
                return true;
            },
            QString());
    }
    if (apiBranch)
        change.write([this, &key](Error* e) { return writeCleanApiConfigWithKey(m_home, key, e); }, QStringLiteral("修复配置失败。"));
    else
        change.write([this](Error* e) { return writeCleanLoginConfig(m_home, e); }, QStringLiteral("修复配置失败。"));
    change.moveConversations(apiBranch ? morvane::providerTevrun : morvane::providerOpenAI, busy,
                             QStringLiteral("repair-provider"));
    WorkflowResult result;
    if (auto failed = change.commit(QStringLiteral("repair-config"), QStringLiteral("修复配置失败。"))) {
        result = *failed;
    } else if (apiBranch) {
        saveProfileNamed(m_home, QStringLiteral("api"), apiProfileFiles);
        const QString moved = syncNote(change.movedConversations());
        result = WorkflowResult::done(diagnosis && !diagnosis->isEmpty()
                                          ? QStringLiteral("AI 诊断：") + *diagnosis + QStringLiteral(" 已按标准模板修复。") + moved
                                          : QStringLiteral("TEVRUN API 已校验通过，配置已按标准模板修复。") + moved);
        result.pillMode = ModeApi;
    } else {
        result = WorkflowResult::done(QStringLiteral("GPT 账号 登陆配置已按标准模板修复。") + syncNote(change.movedConversations())
                                      + QStringLiteral("现在可以重新打开 Codex 登陆。"));
        result.pillMode = ModeUnconfigured;
    }
    // The key was shown in the field once it was remembered, whatever came after.
    if (wellFormedKey && change.journaled())
        result.fieldKey = key;
    return result;
}
