// Back to the GPT account: restore the recorded login, record the current one, or set
// Codex up for a fresh login.

#include "config/config_document.h"
#include "config/config_writers.h"
#include "core/constants.h"
#include "credentials/codex_login.h"
#include "credentials/mode_detection.h"
#include "storage/profiles.h"
#include "workflows/journaled_change.h"
#include "workflows/switch_to_account.h"

namespace {

const QString accountProfile = QStringLiteral("account");

WorkflowResult openedAccountLogin(WorkflowResult::Event event, const MovedConversations& moved)
{
    WorkflowResult result = WorkflowResult::done(event);
    result.moved = moved;
    result.modeNow = ModeAccount;
    result.openCodex = true;
    return result;
}

WorkflowResult prepareFreshAccountLogin(const EngineContext& engine, JournaledChange& change)
{
    engine.report(WorkflowTask::PreparingAccountLogin);
    change.write([&engine] { return writeFreshAccountConfig(engine.home); }, WorkflowResult::Step::PrepareAccountLogin);
    change.moveConversations(morvane::providerOpenAI, WorkflowTask::PreparingAccountLogin);
    if (auto failed = change.commit(BackupKind::FreshAccount))
        return *failed;
    return openedAccountLogin(WorkflowResult::Event::AccountLoginPrepared, change.movedConversations());
}

} // namespace

WorkflowResult switchToAccount(const EngineContext& engine)
{
    const CodexHome& home = engine.home;
    if (auto refusal = engine.refusalWhileCodexRuns())
        return *refusal;
    JournaledChange change(engine);
    if (auto refusal = change.refusal())
        return *refusal;

    if (profileExists(home, accountProfile)) {
        // The configuration is edited back, not replaced: what the user set since stays.
        if (const Expected<QString> config = accountConfigText(home); !config)
            return WorkflowResult::configNotEditable(config.error(), ModeAccount);
        if (const auto profiles = followingProfileFiles(home, morvane::providerOpenAI); !profiles)
            return WorkflowResult::configNotEditable(profiles.error(), ModeAccount);
        engine.report(WorkflowTask::SwitchingToAccount);
        change.write(
            [&home] {
                // The configuration and the profile files are edited back, not copied.
                const QStringList edited = QStringList{codexfile::config} + profileConfigNames(home.profilePath(accountProfile));
                const Expected<> restored = restoreProfileNamed(home, accountProfile, edited);
                return restored ? writeAccountConfig(home) : restored;
            },
            WorkflowResult::Step::SwitchToAccount);
        const QString recordedConfig = home.profilePath(accountProfile) + QLatin1Char('/') + codexfile::config;
        change.moveConversations(ConfigDocument::read(recordedConfig).listedProvider(), WorkflowTask::SwitchingToAccount);
        if (auto failed = change.commit(BackupKind::SwitchAccount))
            return *failed;
        return openedAccountLogin(WorkflowResult::Event::SwitchedToAccount, change.movedConversations());
    }

    const Expected<CodexLogin> login = findCodexLogin(home);
    if (detectCurrentMode(home, login) == ModeAccount) {
        // Already signed in with an account (so its login was found): only remember it;
        // nothing of Codex changes.
        if (const Expected<> saved = saveProfileNamed(home, accountProfile, accountProfileFiles(home), loginPlaceName(login->place));
            !saved)
            return WorkflowResult::failed(WorkflowResult::Step::RecordAccount, saved.error());
        WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::AccountLoginRecorded);
        result.modeNow = ModeAccount;
        return result;
    }
    return prepareFreshAccountLogin(engine, change);
}
