// Back to the GPT account: restore the recorded login, record the current one, or set
// Codex up for a fresh login.

#include "config/config_writers.h"
#include "core/constants.h"
#include "credentials/codex_login.h"
#include "credentials/mode_detection.h"
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
        if (const auto profiles = followingProfileFiles(m_home, morvane::providerOpenAI); !profiles)
            return WorkflowResult::configNotEditable(profiles.error(), ModeAccount);
        Q_EMIT progress(WorkflowTask::SwitchingToAccount, 0, 0);
        change.write(
            [this] {
                // The configuration and the profile files are edited back, not copied.
                const QStringList edited = QStringList{codexfile::config} + profileConfigNames(m_home.profilePath(accountProfile));
                const Expected<> restored = restoreProfileNamed(m_home, accountProfile, edited);
                return restored ? writeAccountConfig(m_home) : restored;
            },
            WorkflowResult::Step::SwitchToAccount);
        change.moveConversations(targetProviderForAccountProfile(m_home), WorkflowTask::SwitchingToAccount);
        if (auto failed = change.commit(BackupKind::SwitchAccount, WorkflowResult::Step::SwitchToAccount))
            return *failed;
        return openedAccountLogin(WorkflowResult::Event::SwitchedToAccount, change.movedConversations());
    }

    const Expected<CodexLogin> login = findCodexLogin(m_home);
    if (detectCurrentMode(m_home, login) == ModeAccount) {
        // Already signed in with an account (so its login was found): only remember it;
        // nothing of Codex changes.
        if (const Expected<> saved = saveProfileNamed(m_home, accountProfile, accountProfileFiles(m_home), loginPlaceName(login->place));
            !saved)
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
