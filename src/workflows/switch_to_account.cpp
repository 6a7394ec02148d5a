// Back to the GPT account: restore the recorded login, record the current one, or set
// Codex up for a fresh login.

#include "config/config_writers.h"
#include "core/constants.h"
#include "migration/migration_space.h"
#include "migration/thread_migration.h"
#include "storage/backups.h"
#include "storage/profiles.h"
#include "workflows/workflow_texts.h"
#include "workflows/workflows.h"

#include <QFileInfo>

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
    HomeLock lock(m_home);
    if (auto refusal = claimHome(lock))
        return *refusal;
    Error error;

    CodexThreadLocks conversations(m_home);
    if (profileExists(m_home, accountProfile)) {
        const QString busy = QStringLiteral("正在切回 GPT 账号 登陆...");
        Q_EMIT progress(busy, 0, 0);
        if (auto refusal = claimConversations(conversations))
            return *refusal;
        const QString provider = targetProviderForAccountProfile(m_home);
        if (!enoughSpaceToMigrate(m_home, provider, &error))
            return failure(error, QStringLiteral("迁移对话 provider 失败。"));
        const std::optional<QString> backup = createBackupWithKind(m_home, QStringLiteral("switch-account"), &error);
        if (!backup)
            return failure(error, QStringLiteral("备份失败。"));
        const Journal journal{QStringLiteral("switch-account"), QFileInfo(*backup).fileName(), {}};
        if (!writeJournal(m_home, journal, &error))
            return failure(error, QStringLiteral("备份失败。"));
        if (!restoreProfileNamed(m_home, accountProfile, {}, &error))
            return failedAfterWriting(error, QStringLiteral("切回 GPT 账号 登陆失败。"), journal);
        const qint64 moved =
            moveConversations(busy, provider, QStringLiteral("switch-account-provider"), journal.restorePoint, conversations, &error);
        if (moved < 0)
            return failedAfterWriting(error, QStringLiteral("迁移对话 provider 失败。"), journal);
        if (!removeJournal(m_home, &error))
            return failedAfterWriting(error, QStringLiteral("切回 GPT 账号 登陆失败。"), journal);
        return openedAccountLogin(QStringLiteral("已切回 GPT 账号 登陆。") + syncNote(moved) + QStringLiteral("正在打开 Codex。"));
    }

    if (detectCurrentMode(m_home) == ModeAccount) {
        // Already signed in with an account: only remember it; nothing of Codex changes.
        if (!saveProfileNamed(m_home, accountProfile, {QStringLiteral("auth.json"), QStringLiteral("config.toml")}, false,
                              &error))
            return failure(error, QStringLiteral("自动记录 GPT 账号 登陆状态失败。"));
        WorkflowResult result =
            WorkflowResult::done(QStringLiteral("当前已经是 GPT 账号 登陆，已自动记录好后续切换需要的状态。"));
        result.tone = WorkflowResult::Tone::Ready; // a notice: nothing was switched
        result.pillMode = ModeAccount;
        return result;
    }
    return prepareFreshAccountLogin(conversations);
}

WorkflowResult Workflows::prepareFreshAccountLogin(CodexThreadLocks& conversations)
{
    const QString busy = QStringLiteral("正在设置 GPT 账号 登陆...");
    Q_EMIT progress(busy, 0, 0);
    if (auto refusal = claimConversations(conversations))
        return *refusal;
    Error error;
    if (!enoughSpaceToMigrate(m_home, morvane::providerOpenAI, &error))
        return failure(error, QStringLiteral("迁移对话 provider 失败。"));
    const std::optional<QString> backup = createBackupWithKind(m_home, QStringLiteral("fresh-account"), &error);
    if (!backup)
        return failure(error, QStringLiteral("备份失败。"));
    const Journal journal{QStringLiteral("fresh-account"), QFileInfo(*backup).fileName(), {}};
    if (!writeJournal(m_home, journal, &error))
        return failure(error, QStringLiteral("备份失败。"));
    if (!writeFreshAccountConfig(m_home, &error))
        return failedAfterWriting(error, QStringLiteral("设置 GPT 账号 登陆失败。"), journal);
    const qint64 moved = moveConversations(busy, morvane::providerOpenAI, QStringLiteral("fresh-account-provider"),
                                           journal.restorePoint, conversations, &error);
    if (moved < 0)
        return failedAfterWriting(error, QStringLiteral("迁移对话 provider 失败。"), journal);
    if (!removeJournal(m_home, &error))
        return failedAfterWriting(error, QStringLiteral("设置 GPT 账号 登陆失败。"), journal);
    return openedAccountLogin(QStringLiteral("已设置为 GPT 账号 登陆。") + syncNote(moved)
                              + QStringLiteral("正在打开 Codex。请按提示登陆账号。"));
}
