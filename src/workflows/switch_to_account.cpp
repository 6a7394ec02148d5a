// Back to the GPT account: restore the recorded login, record the current one, or set
// Codex up for a fresh login.

#include "config/config_writers.h"
#include "core/constants.h"
#include "migration/thread_migration.h"
#include "storage/profiles.h"
#include "workflows/journaled_change.h"
#include "workflows/workflow_texts.h"
#include "workflows/workflows.h"

namespace {

const QString accountProfile = QStringLiteral("account");

WorkflowResult openedAccountLogin(const QString& message)
{
    WorkflowResult result = WorkflowResult::done(message);
    result.pillMode = ModeAccount;
    result.openCodex = true;
    return result;
}

} // namespace

WorkflowResult Workflows::switchToAccount()
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    JournaledChange change(*this);
    if (auto refusal = change.refusal())
        return *refusal;

    if (profileExists(m_home, accountProfile)) {
        const QString busy = QStringLiteral("正在切回 GPT 账号 登陆...");
        Q_EMIT progress(busy, 0, 0);
        change.write([this](Error* e) { return restoreProfileNamed(m_home, accountProfile, e); },
                     QStringLiteral("切回 GPT 账号 登陆失败。"));
        change.moveConversations(targetProviderForAccountProfile(m_home), busy, QStringLiteral("switch-account-provider"));
        if (auto failed = change.commit(QStringLiteral("switch-account"), QStringLiteral("切回 GPT 账号 登陆失败。")))
            return *failed;
        return openedAccountLogin(QStringLiteral("已切回 GPT 账号 登陆。") + syncNote(change.movedConversations())
                                  + QStringLiteral("正在打开 Codex。"));
    }

    if (detectCurrentMode(m_home) == ModeAccount) {
        // Already signed in with an account: only remember it; nothing of Codex changes.
        Error error;
        if (!saveProfileNamed(m_home, accountProfile, accountProfileFiles, &error))
            return failure(error, QStringLiteral("自动记录 GPT 账号 登陆状态失败。"));
        WorkflowResult result =
            WorkflowResult::done(QStringLiteral("当前已经是 GPT 账号 登陆，已自动记录好后续切换需要的状态。"));
        result.tone = WorkflowResult::Tone::Ready; // a notice: nothing was switched
        result.pillMode = ModeAccount;
        return result;
    }
    return prepareFreshAccountLogin(change);
}

WorkflowResult Workflows::prepareFreshAccountLogin(JournaledChange& change)
{
    const QString busy = QStringLiteral("正在设置 GPT 账号 登陆...");
    Q_EMIT progress(busy, 0, 0);
    change.write([this](Error* e) { return writeFreshAccountConfig(m_home, e); }, QStringLiteral("设置 GPT 账号 登陆失败。"));
    change.moveConversations(morvane::providerOpenAI, busy, QStringLiteral("fresh-account-provider"));
    if (auto failed = change.commit(QStringLiteral("fresh-account"), QStringLiteral("设置 GPT 账号 登陆失败。")))
        return *failed;
    return openedAccountLogin(QStringLiteral("已设置为 GPT 账号 登陆。") + syncNote(change.movedConversations())
                              + QStringLiteral("正在打开 Codex。请按提示登陆账号。"));
}
