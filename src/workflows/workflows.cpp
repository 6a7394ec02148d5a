// The engine's door: each call handed to its workflow, on the engine's context.

#include "workflows/workflows.h"

#include "codexapp/codex_control.h"
#include "codexapp/thread_locks.h"
#include "core/api_key.h"
#include "core/current_key.h"
#include "core/files/staging.h"
#include "credentials/mode_detection.h"
#include "history/key_history.h"
#include "storage/profiles.h"
#include "storage/restore_point_layout.h"
#include "workflows/health_check.h"
#include "workflows/journaled_change.h"
#include "workflows/key_check.h"
#include "workflows/move_conversations.h"
#include "workflows/repair_config.h"
#include "workflows/restore_backup.h"
#include "workflows/switch_to_account.h"
#include "workflows/switch_to_api.h"

Workflows::Workflows(CodexHome home, RelayEndpoint relay, Workspace& workspace, QObject* parent)
    : QObject(parent), m_home(std::move(home)), m_relay(std::move(relay)), m_workspace(workspace),
      m_context{m_home, m_relay, m_workspace,
                [this](WorkflowTask task, qint64 done, qint64 total) { Q_EMIT progress(task, done, total); }}
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
    JournaledChange change(m_context, JournaledChange::CutOff::LeaveIt);
    if (!change.holdsHome())
        return result; // another front end is at work: what it left is its own
    return change.putBackCutOff();
}

WorkflowResult Workflows::forgetKey(const QString& id)
{
    return ::forgetKey(m_context, id);
}

WorkflowResult Workflows::checkKey(const QString& keyInput)
{
    return ::checkKey(m_context, keyInput);
}

WorkflowResult Workflows::switchToApi(const QString& keyInput)
{
    return ::switchToApi(m_context, keyInput);
}

WorkflowResult Workflows::switchToAccount()
{
    return ::switchToAccount(m_context);
}

WorkflowResult Workflows::repair(SwitchMode mode, const QString& keyInput)
{
    return repairConfig(m_context, mode, keyInput);
}

WorkflowResult Workflows::moveVisibleConversations()
{
    return ::moveVisibleConversations(m_context);
}

std::vector<RestorePoint> Workflows::listBackups() const
{
    return listRestorePoints(m_home);
}

Expected<std::vector<std::pair<RestorePoint, QStringList>>> Workflows::verifyBackups(const QString& id) const
{
    return ::verifyBackups(m_home, id);
}

WorkflowResult Workflows::restoreBackup(const QString& id)
{
    return ::restoreBackup(m_context, id);
}

WorkflowResult Workflows::pruneBackups(qint64 keep)
{
    return ::pruneBackups(m_context, keep);
}
