// Move the conversations: every visible conversation to the provider Codex lists, with the
// backup and journal of every workflow, and nothing else changed.

#include "config/active_provider.h"
#include "core/files/file_tree.h"
#include "workflows/journaled_change.h"
#include "workflows/workflows.h"

WorkflowResult Workflows::moveVisibleConversations()
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    JournaledChange change(*this);
    if (auto refusal = change.refusal())
        return *refusal;
    Q_EMIT progress(WorkflowTask::MovingConversations, 0, 0);
    const QString provider = activeProvider(m_home);
    change.moveConversations(provider, WorkflowTask::MovingConversations);
    if (auto failed = change.commit(BackupKind::MoveConversations, WorkflowResult::Step::MoveConversations))
        return *failed;
    const MovedConversations& moved = change.movedConversations();
    WorkflowResult result = WorkflowResult::done(moved.listed == 0 ? WorkflowResult::Event::ConversationsInPlace
                                                                   : WorkflowResult::Event::ConversationsMoved);
    result.moved = moved;
    result.provider = provider;
    if (moved.listed == 0)
        result.tone = WorkflowResult::Tone::Ready;
    if (moved.listed == 0 && moved.archived == 0) // nothing changed: no point to go back to
        files::removeItem(m_home.backupsPath() + QLatin1Char('/') + change.restorePoint());
    return result;
}
