// Back to the GPT account: restore the recorded login, record the current one, or set
// Codex up for a fresh login.

#include "config/config_writers.h"
#include "core/constants.h"
#include "core/mode_detection.h"
#include "migration/thread_migration.h"
#include "storage/profiles.h"
#include "workflows/journaled_change.h"
#include "workflows/workflows.h"

namespace {

const QString accountProfile = QStringLiteral("account");

WorkflowResult openedAccountLogin(WorkflowResult::Event event, const MovedConversations& moved)
{
    WorkflowResult result = WorkflowResult::done(event);
    result.moved = moved;
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
        // The configuration is edited back, not replaced: what the user set since stays.
        if (const Expected<QString> config = accountConfigText(m_home); !config)
            return WorkflowResult::configNotEditable(config.error(), ModeAccount);
        Q_EMIT progress(WorkflowTask::SwitchingToAccount, 0, 0);
        change.write(
            [this] {
                const Expected<> restored = restoreProfileNamed(m_home, accountProfile, {codexfile::config});
                return restored ? writeAccountConfig(m_home) : restored;
            },
            WorkflowResult::Step::SwitchToAccount);
        change.moveConversations(targetProviderForAccountProfile(m_home), WorkflowTask::SwitchingToAccount);
        if (auto failed = change.commit(BackupKind::SwitchAccount, WorkflowResult::Step::SwitchToAccount))
            return *failed;
        return openedAccountLogin(WorkflowResult::Event::SwitchedToAccount, change.movedConversations());
    }

    if (detectCurrentMode(m_home) == ModeAccount) {
        // Already signed in with an account: only remember it; nothing of Codex changes.
        if (const Expected<> saved = saveProfileNamed(m_home, accountProfile, accountProfileFiles); !saved)
            return WorkflowResult::failed(WorkflowResult::Step::RecordAccount, saved.error());
        WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::AccountLoginRecorded);
        result.tone = WorkflowResult::Tone::Ready; // a notice: nothing was switched
        result.pillMode = ModeAccount;
        return result;
    }
    return prepareFreshAccountLogin(change);
}

WorkflowResult Workflows::prepareFreshAccountLogin(JournaledChange& change)
{
    Q_EMIT progress(WorkflowTask::PreparingAccountLogin, 0, 0);
    change.write([this] { return writeFreshAccountConfig(m_home); }, WorkflowResult::Step::PrepareAccountLogin);
    change.moveConversations(morvane::providerOpenAI, WorkflowTask::PreparingAccountLogin);
    if (auto failed = change.commit(BackupKind::FreshAccount, WorkflowResult::Step::PrepareAccountLogin))
        return *failed;
    return openedAccountLogin(WorkflowResult::Event::AccountLoginPrepared, change.movedConversations());
}
