// The engine's shared steps and the key check.

#include "workflows/workflows.h"

#include "codexapp/codex_control.h"
#include "codexapp/thread_locks.h"
#include "core/api_key.h"
#include "core/current_key.h"
#include "core/files/staging.h"
#include "credentials/mode_detection.h"
#include "history/key_history.h"
#include "relay/key_validation.h"
#include "storage/profiles.h"
#include "workflows/health_check.h"
#include "workflows/journaled_change.h"

Workflows::Workflows(CodexHome home, RelayEndpoint relay, Workspace& workspace, QObject* parent)
    : QObject(parent), m_home(std::move(home)), m_relay(std::move(relay)), m_workspace(workspace)
{
}

InitialState Workflows::startUpState() const
{
    InitialState state;
    std::optional<QString> key = latestHistoricalApiKey(m_home);
    if (!key)
        key = jsonString(readCurrentApiKey(m_home));
    if (key && isLikelyApiKey(*key))
        state.fieldKey = key;
    state.pillMode = detectCurrentMode(m_home);
    state.selectedMode = state.pillMode == ModeAccount ? ModeAccount : ModeApi;
    state.conversationsElsewhere = conversationsElsewhere(m_home).value_or(0);
    return state;
}

HomeStatus Workflows::status() const
{
    return readHomeStatus(m_home, m_workspace);
}

std::vector<HealthProblem> Workflows::healthProblems() const
{
    return checkHealth(m_home, m_workspace);
}

bool Workflows::hasAccountLogin() const
{
    return profileExists(m_home, QStringLiteral("account"));
}

std::vector<CodexProcess> Workflows::codexProcesses() const
{
    return runningCodex(m_workspace);
}

void Workflows::quitCodexAndWait()
{
    ::quitCodexAndWait(m_workspace);
}

void Workflows::openCodex()
{
    ::openCodex(m_workspace);
}

std::vector<HistoryItem> Workflows::savedKeys() const
{
    return historyItems(m_home);
}

WorkflowResult Workflows::forgetKey(const QString& id)
{
    // An unknown id is refused before anything is made.
    const Expected<HistoryItem> item = findHistoryItem(m_home, id);
    if (!item)
        return WorkflowResult::refused(WorkflowResult::Event::Stopped, item.error());
    // Only the saved keys change: a workflow cut off is left to the next start.
    JournaledChange change(*this, JournaledChange::CutOff::LeaveIt);
    if (const Expected<> held = change.holdsHome(); !held)
        return WorkflowResult::failed(WorkflowResult::Event::Stopped, held.error());
    // Looked up again under the lock: another Morvane may have forgotten it meanwhile.
    const Expected<HistoryItem> still = findHistoryItem(m_home, id);
    if (!still)
        return WorkflowResult::refused(WorkflowResult::Event::Stopped, still.error());
    if (const Expected<> forgotten = forgetHistoryItem(m_home, *still); !forgotten)
        return WorkflowResult::failed(WorkflowResult::Event::Stopped, forgotten.error());
    WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::KeyForgotten);
    result.forgottenKey = shortenedKey(still->apiKey);
    return result;
}

std::optional<WorkflowResult> Workflows::refusalWhileCodexRuns() const
{
    const std::vector<CodexProcess> running = ::runningCodex(m_workspace);
    if (running.empty())
        return std::nullopt;
    return WorkflowResult::codexRunning(running);
}

bool Workflows::hasCutOffWork() const
{
    return hasJournal(m_home) || files::countStagingFiles(m_home.codexHomePath()) > 0
        || files::countStagingFiles(m_home.morvaneRootPath()) > 0 || hasLeftThreadLocks(m_home);
}

WorkflowResult Workflows::putBackCutOffWork()
{
    WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::Nothing);
    if (!hasCutOffWork())
        return result;
    JournaledChange change(*this, JournaledChange::CutOff::LeaveIt);
    if (!change.holdsHome())
        return result; // another front end is at work: what it left is its own
    return change.putBackCutOff();
}

WorkflowResult Workflows::checkKey(const QString& keyInput)
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    const QString key = keyInput.trimmed();
    if (!isLikelyApiKey(key))
        return WorkflowResult::refused(WorkflowResult::Event::NoKeyToCheck);
    // Only the saved keys change: a workflow cut off is left to the next start.
    JournaledChange change(*this, JournaledChange::CutOff::LeaveIt);
    if (auto refusal = change.refusal())
        return *refusal;
    Q_EMIT progress(WorkflowTask::CheckingKey, 0, 0);
    if (const Expected<> valid = validateTevrunApiKey(m_relay, key); !valid)
        return WorkflowResult::failed(WorkflowResult::Step::CheckKey, valid.error());
    if (const auto saved = saveApiKeyToHistory(m_home, key); !saved)
        return WorkflowResult::failed(WorkflowResult::Step::CheckKey, saved.error());
    WorkflowResult result = WorkflowResult::done(WorkflowResult::Event::KeyUsable);
    result.fieldKey = key;
    return result;
}
