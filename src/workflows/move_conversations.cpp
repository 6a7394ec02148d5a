// Move the conversations: every visible conversation to the provider Codex lists, with the
// backup and journal of every workflow, and nothing else changed.

#include "config/active_provider.h"
#include "core/files/file_tree.h"
#include "migration/migration_space.h"
#include "storage/backups.h"
#include "workflows/workflow_texts.h"
#include "workflows/workflows.h"

#include <QFileInfo>

WorkflowResult Workflows::moveVisibleConversations()
{
    if (auto refusal = refusalWhileCodexRuns())
        return *refusal;
    HomeLock lock(m_home);
    if (auto refusal = claimHome(lock))
        return *refusal;
    const QString busy = QStringLiteral("正在移动对话...");
    Q_EMIT progress(busy, 0, 0);
    CodexThreadLocks conversations(m_home);
    if (auto refusal = claimConversations(conversations))
        return *refusal;
    const QString provider = activeProvider(m_home);
    Error error;
    if (!enoughSpaceToMigrate(m_home, provider, &error))
        return failure(error, QStringLiteral("迁移对话 provider 失败。"));
    const std::optional<QString> backup = createBackupWithKind(m_home, QStringLiteral("move-conversations"), &error);
    if (!backup)
        return failure(error, QStringLiteral("备份失败。"));
    const Journal journal{QStringLiteral("move-conversations"), QFileInfo(*backup).fileName(), {}};
    if (!writeJournal(m_home, journal, &error))
        return failure(error, QStringLiteral("备份失败。"));
    const qint64 moved =
        moveConversations(busy, provider, QStringLiteral("move-conversations-provider"), journal.restorePoint,
                          conversations, &error);
    if (moved < 0)
        return failedAfterWriting(error, QStringLiteral("迁移对话 provider 失败。"), journal);
    if (!removeJournal(m_home, &error))
        return failedAfterWriting(error, QStringLiteral("迁移对话 provider 失败。"), journal);
    if (moved == 0) {
        files::removeItem(*backup); // nothing changed: no point to go back to
        WorkflowResult result =
            WorkflowResult::done(QStringLiteral("所有对话都已经在 provider “%1”上，不用移动。").arg(provider));
        result.tone = WorkflowResult::Tone::Ready;
        return result;
    }
    return WorkflowResult::done(
        QStringLiteral("已把 %1 条对话移到 provider “%2”上，Codex 会列出它们。").arg(moved).arg(provider));
}
