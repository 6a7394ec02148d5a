// Switch to API: validate the key, back up, record the account login, write the API
// configuration, move the conversations, remember the key.

#include "config/config_writers.h"
#include "core/api_key.h"
#include "core/constants.h"
#include "history/key_history.h"
#include "relay/key_validation.h"
#include "storage/profiles.h"
#include "workflows/journaled_change.h"
#include "workflows/workflow_texts.h"
#include "workflows/workflows.h"

WorkflowResult Workflows::switchToApi(const QString& keyInput)
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    const QString key = keyInput.trimmed();
    if (!isLikelyApiKey(key))
        return WorkflowResult::refused(QStringLiteral("TEVRUN API 必须以 sk- 开头。"));
    JournaledChange change(*this);
    if (auto refusal = change.refusal())
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

    // The API writer replaces auth.json: keep the account login first.
    const bool recordedAccount = previousMode == ModeAccount;
    if (recordedAccount) {
        change.beforeJournal([this](Error* e) { return saveProfileNamed(m_home, QStringLiteral("account"), accountProfileFiles, e); },
                             QStringLiteral("自动记录 GPT 账号 登陆状态失败。"));
    }
    change.write([this, &key](Error* e) { return writeCleanApiConfigWithKey(m_home, key, e); }, QStringLiteral("写入 API 配置失败。"));
    change.moveConversations(morvane::providerTevrun, busy, QStringLiteral("switch-api-provider"));
    if (auto failed = change.commit(QStringLiteral("switch-api"), QStringLiteral("写入 API 配置失败。")))
        return *failed;
    const qint64 moved = change.movedConversations();

    saveApiKeyToHistory(m_home, key);
    saveProfileNamed(m_home, QStringLiteral("api"), apiProfileFiles);

    WorkflowResult result = WorkflowResult::done(
        (recordedAccount ? QStringLiteral("已切到 TEVRUN API，GPT 账号 登陆状态已自动记录。") : QStringLiteral("已切到 TEVRUN API。"))
        + syncNote(moved) + QStringLiteral("正在打开 Codex。"));
    result.fieldKey = key;
    result.pillMode = ModeApi;
    result.openCodex = true;
    return result;
}
