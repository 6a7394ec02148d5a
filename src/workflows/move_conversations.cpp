// Move the conversations: every visible conversation to the provider Codex lists, with the
// backup and journal of every workflow, and nothing else changed.

#include "config/active_provider.h"
#include "core/files/file_tree.h"
#include "workflows/journaled_change.h"
#include "workflows/workflow_texts.h"
#include "workflows/workflows.h"

WorkflowResult Workflows::moveVisibleConversations()
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    JournaledChange change(*this);
    if (auto refusal = change.refusal())
        return *refusal;
    const QString busy = QStringLiteral("正在移动对话...");
    Q_EMIT progress(busy, 0, 0);
    const QString provider = activeProvider(m_home);
    change.moveConversations(provider, busy, QStringLiteral("move-conversations-provider"));
    if (auto failed = change.commit(QStringLiteral("move-conversations"), QStringLiteral("迁移对话 provider 失败。")))
        return *failed;
    const qint64 moved = change.movedConversations();
    if (moved == 0) {
        files::removeItem(m_home.backupsURL() + QLatin1Char('/') + change.restorePoint()); // nothing changed: no point to go back to
        WorkflowResult result =
            WorkflowResult::done(QStringLiteral("所有对话都已经在 provider “%1”上，不用移动。").arg(provider));
        result.tone = WorkflowResult::Tone::Ready;
        return result;
    }
    return WorkflowResult::done(
        QStringLiteral("已把 %1 条对话移到 provider “%2”上，Codex 会列出它们。").arg(moved).arg(provider));
}
