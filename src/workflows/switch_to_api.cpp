// Switch to API: validate the key, back up, record the account login, write the API
// configuration, move the conversations, remember the key.

#include "config/config_writers.h"
#include "core/api_key.h"
#include "core/constants.h"
#include "credentials/codex_login.h"
#include "credentials/mode_detection.h"
#include "history/key_history.h"
#include "relay/key_validation.h"
#include "storage/profiles.h"
#include "workflows/journaled_change.h"
#include "workflows/switch_to_api.h"

WorkflowResult switchToApi(const EngineContext& engine, const QString& keyInput)
{
    const CodexHome& home = engine.home;
    if (auto refusal = engine.refusalWhileCodexRuns())
        return *refusal;
    const QString key = keyInput.trimmed();
    if (!isLikelyApiKey(key))
        return WorkflowResult::refused(WorkflowResult::Event::NoKeyToSwitch);
    // Where Codex keeps its login must be known before anything is asked or written: a login
    // Morvane cannot see is one it could neither record nor keep from the relay.
    const Expected<CodexLogin> login = findCodexLogin(home);
    if (!login)
        return WorkflowResult::refused(WorkflowResult::Event::Stopped, login.error());
    JournaledChange change(engine);
    if (auto refusal = change.refusal())
        return *refusal;
    // The installation as the user left it, before anything is written.
    const SwitchMode previousMode = detectCurrentMode(home, login);
    // A configuration that cannot be edited safely stops the switch before anything is asked.
    if (const Expected<QString> config = apiConfigText(home); !config)
        return WorkflowResult::configNotEditable(config.error(), ModeApi);
    if (const auto profiles = followingProfileFiles(home, morvane::providerTevrun); !profiles)
        return WorkflowResult::configNotEditable(profiles.error(), ModeApi);

    engine.report(WorkflowTask::SwitchingToApi);
    if (const Expected<> valid = validateTevrunApiKey(engine.relay, key); !valid)
        return WorkflowResult::failed(WorkflowResult::Step::ValidateKey, valid.error());
    // Codex may have started while the relay was asked: look again before the first write.
    if (auto refusal = engine.refusalWhileCodexRuns())
        return *refusal;

    // The API writer replaces auth.json: keep the account login first.
    const bool recordedAccount = previousMode == ModeAccount;
    if (recordedAccount) {
        change.recordOwnFiles(
            [&home, &login] {
                return saveProfileNamed(home, QStringLiteral("account"), accountProfileFiles(home), loginPlaceName(login->place));
            },
            WorkflowResult::Step::RecordAccount);
    }
    change.write([&home, &key] { return writeApiConfigWithKey(home, key); }, WorkflowResult::Step::WriteApiConfig);
    change.moveConversations(morvane::providerTevrun, WorkflowTask::SwitchingToApi);
    change.write([&home, &key] { return saveApiKeyToHistory(home, key); }, WorkflowResult::Step::SaveKey);
    change.write([&home] { return saveProfileNamed(home, QStringLiteral("api"), apiProfileFiles); },
                 WorkflowResult::Step::SaveApiProfile);
    if (auto failed = change.commit(BackupKind::SwitchApi))
        return *failed;

    WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::SwitchedToApi);
    result.accountRecorded = recordedAccount;
    result.moved = change.movedConversations();
    result.keyInUse = key;
    result.modeNow = ModeApi;
    result.openCodex = true;
    return result;
}
