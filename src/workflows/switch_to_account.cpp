// Back to the GPT account: restore the recorded login, record the current one, or set
// Codex up for a fresh login.

#include "config/config_writers.h"
#include "core/constants.h"
#include "core/mode_detection.h"
#include "migration/thread_migration.h"
#include "storage/backups.h"
#include "storage/profiles.h"
#include "ui/app_delegate.h"
#include "ui/palette.h"
#include "workflows/workflow_texts.h"

namespace {

const QString accountProfile = QStringLiteral("account");

QStringList accountFiles() { return {QStringLiteral("auth.json"), QStringLiteral("config.toml")}; }

} // namespace

void AppDelegate::switchToAccount()
{
    if (!guardCodexNotRunning())
        return;
    Error error;

    if (profileExists(m_home, accountProfile)) {
        beginBusy(QStringLiteral("正在切回 GPT 账号 登陆..."));
        if (!createBackupWithKind(m_home, QStringLiteral("switch-account"), &error))
            return failWorkflow(error, QStringLiteral("备份失败。"));
        if (!restoreProfileNamed(m_home, accountProfile, {}, &error))
            return failWorkflow(error, QStringLiteral("切回 GPT 账号 登陆失败。"));
        const QString provider = targetProviderForAccountProfile(m_home);
        const qint64 moved =
            migrateVisibleThreadsToProvider(m_home, provider, QStringLiteral("switch-account-provider"), &error);
        if (moved < 0)
            return failWorkflow(error, QStringLiteral("迁移对话 provider 失败。"));
        endBusy(QStringLiteral("已切回 GPT 账号 登陆。") + syncNote(moved) + QStringLiteral("正在打开 Codex。"),
                palette::systemGreen(), normalActionButtonTitle());
        updateCurrentModePill(ModeAccount);
        openCodexAfterSwitch();
        return;
    }

    if (detectCurrentMode(m_home) == ModeAccount) {
        // Already signed in with an account: only remember it; nothing of Codex changes.
        if (saveProfileNamed(m_home, accountProfile, accountFiles(), false, &error)) {
            setStatus(QStringLiteral("当前已经是 GPT 账号 登陆，已自动记录好后续切换需要的状态。"), palette::systemGreen());
            updateCurrentModePill(ModeAccount);
        } else {
            refuse(error.message.isEmpty() ? QStringLiteral("自动记录 GPT 账号 登陆状态失败。") : error.message);
        }
        // The title follows the profile that now exists.
        updateActionAvailability();
        return;
    }
    prepareFreshAccountLogin(&error);
}

void AppDelegate::prepareFreshAccountLogin(Error* error)
{
    beginBusy(QStringLiteral("正在设置 GPT 账号 登陆..."));
    if (!createBackupWithKind(m_home, QStringLiteral("fresh-account"), error))
        return failWorkflow(*error, QStringLiteral("备份失败。"));
    if (!writeFreshAccountConfig(m_home, error))
        return failWorkflow(*error, QStringLiteral("设置 GPT 账号 登陆失败。"));
    const qint64 moved =
        migrateVisibleThreadsToProvider(m_home, morvane::providerOpenAI, QStringLiteral("fresh-account-provider"), error);
    if (moved < 0)
        return failWorkflow(*error, QStringLiteral("迁移对话 provider 失败。"));
    endBusy(QStringLiteral("已设置为 GPT 账号 登陆。") + syncNote(moved) + QStringLiteral("正在打开 Codex。请按提示登陆账号。"),
            palette::systemGreen(), normalActionButtonTitle());
    updateCurrentModePill(ModeAccount);
    openCodexAfterSwitch();
}
