// Move the conversations: every visible conversation to the provider Codex lists, with the
// backup and journal of every workflow, and nothing else changed.

#include "workflows/move_conversations.h"

#include "config/active_provider.h"
#include "workflows/journaled_change.h"

WorkflowResult moveVisibleConversations(const EngineContext& engine)
{
    if (auto refusal = engine.refusalWhileCodexRuns())
        return *refusal;
    JournaledChange change(engine);
    if (auto refusal = change.refusal())
        return *refusal;
    engine.report(WorkflowTask::MovingConversations);
    const QString provider = activeProvider(engine.home);
    change.moveConversations(provider, WorkflowTask::MovingConversations);
    if (auto failed = change.commit(BackupKind::MoveConversations))
        return *failed;
    // Nothing changed: no point to go back to.
    if (const Expected<> dropped = change.dropRestorePointIfUnchanged(); !dropped)
        return WorkflowResult::failed(WorkflowResult::Step::MoveConversations, dropped.error());
    const MovedConversations& moved = change.movedConversations();
    WorkflowResult result = WorkflowResult::done(moved.listed == 0 ? WorkflowResult::Event::ConversationsInPlace
                                                                   : WorkflowResult::Event::ConversationsMoved);
    result.moved = moved;
    result.provider = provider;
    return result;
}
