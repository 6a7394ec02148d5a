// The saved keys: checking a key and remembering it, forgetting one. Only Morvane's own
// files change, under the home's lock; a workflow cut off is left to the next start.

#include "workflows/key_check.h"

#include "core/api_key.h"
#include "history/key_history.h"
#include "relay/key_validation.h"
#include "storage/home_lock.h"

WorkflowResult checkKey(const EngineContext& engine, const QString& keyInput)
{
    if (auto refusal = engine.refusalWhileCodexRuns())
        return *refusal;
    const QString key = keyInput.trimmed();
    if (!isLikelyApiKey(key))
        return WorkflowResult::refused(WorkflowResult::Event::NoKeyToCheck);
    const HomeLock lock(engine.home);
    if (!lock.held())
        return WorkflowResult::failed(WorkflowResult::Event::Stopped, lock.error());
    engine.report(WorkflowTask::CheckingKey);
    if (const Expected<> valid = validateTevrunApiKey(engine.relay, key); !valid)
        return WorkflowResult::failed(WorkflowResult::Step::CheckKey, valid.error());
    if (const auto saved = saveApiKeyToHistory(engine.home, key); !saved)
        return WorkflowResult::failed(WorkflowResult::Step::SaveKey, saved.error());
    WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::KeyUsable);
    result.keyInUse = key;
    return result;
}

WorkflowResult forgetKey(const EngineContext& engine, const QString& id)
{
    // An unknown id is refused before anything is made.
    if (const Expected<HistoryItem> item = findHistoryItem(engine.home, id); !item)
        return WorkflowResult::refused(WorkflowResult::Event::Stopped, item.error());
    const HomeLock lock(engine.home);
    if (!lock.held())
        return WorkflowResult::failed(WorkflowResult::Event::Stopped, lock.error());
    // Looked up again under the lock: another Morvane may have forgotten it meanwhile.
    const Expected<HistoryItem> still = findHistoryItem(engine.home, id);
    if (!still)
        return WorkflowResult::refused(WorkflowResult::Event::Stopped, still.error());
    if (const Expected<> forgotten = forgetHistoryItem(engine.home, *still); !forgotten)
        return WorkflowResult::failed(WorkflowResult::Event::Stopped, forgotten.error());
    WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::KeyForgotten);
    result.forgottenKey = shortenedKey(still->apiKey);
    return result;
}
