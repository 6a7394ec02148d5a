// Repair: rewrite the configuration from the standard template of the mode and move the
// conversations along; in the API mode, with a diagnosis of what was wrong.

#include "config/config_writers.h"
#include "core/api_key.h"
#include "core/current_key.h"
#include "core/constants.h"
#include "history/key_history.h"
#include "relay/diagnosis.h"
#include "relay/key_validation.h"
#include "storage/profiles.h"
#include "workflows/journaled_change.h"
#include "workflows/repair_config.h"

WorkflowResult repairConfig(const EngineContext& engine, SwitchMode mode, const QString& keyInput)
{
    const CodexHome& home = engine.home;
    if (auto refusal = engine.refusalWhileCodexRuns())
        return *refusal;
    const bool apiBranch = mode != ModeAccount;
    const QString key = apiBranch ? keyInput.trimmed() : jsonString(readCurrentApiKey(home)).value_or(QString());
    const bool wellFormedKey = isLikelyApiKey(key);
    if (apiBranch && !wellFormedKey)
        return WorkflowResult::refused(WorkflowResult::Event::NoKeyToRepair);
    JournaledChange change(engine);
    if (auto refusal = change.refusal())
        return *refusal;

    engine.report(WorkflowTask::Repairing);
    std::optional<QString> diagnosis;
    if (apiBranch) {
        if (const Expected<> valid = validateTevrunApiKey(engine.relay, key); !valid)
            return WorkflowResult::failed(WorkflowResult::Step::ValidateKey, valid.error());
        // Asked before anything changes, so it sees the configuration as it was.
        diagnosis = diagnoseConfigWithAIUsingKey(engine.relay, home, key);
        // Codex may have started while the relay was asked: look again before the first write.
        if (auto refusal = engine.refusalWhileCodexRuns())
            return *refusal;
    }
    if (wellFormedKey) {
        change.recordOwnFiles([&home, &key] { return saveApiKeyToHistory(home, key); }, WorkflowResult::Step::SaveKey);
    }
    if (apiBranch)
        change.write([&home, &key] { return writeCleanApiConfigWithKey(home, key); }, WorkflowResult::Step::RepairConfig);
    else
        change.write([&home] { return writeCleanLoginConfig(home); }, WorkflowResult::Step::RepairConfig);
    change.moveConversations(apiBranch ? morvane::providerTevrun : morvane::providerOpenAI, WorkflowTask::Repairing);
    if (apiBranch)
        change.write([&home] { return saveProfileNamed(home, QStringLiteral("api"), apiProfileFiles); },
                     WorkflowResult::Step::SaveApiProfile);
    WorkflowResult result;
    if (auto failed = change.commit(BackupKind::RepairConfig)) {
        result = *failed;
    } else if (apiBranch) {
        result = WorkflowResult::done(WorkflowResult::Event::RepairedForApi);
        if (diagnosis && !diagnosis->isEmpty())
            result.diagnosis = diagnosis;
        result.moved = change.movedConversations();
        result.modeNow = ModeApi;
    } else {
        result = WorkflowResult::done(WorkflowResult::Event::RepairedForAccount);
        result.moved = change.movedConversations();
        result.modeNow = ModeUnconfigured;
    }
    // The key was shown in the field once it was remembered, whatever came after.
    if (wellFormedKey && change.journaled())
        result.keyInUse = key;
    return result;
}
