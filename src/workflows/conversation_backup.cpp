#include "workflows/conversation_backup.h"

#include "core/files/file_tree.h"
#include "storage/backups.h"
#include "storage/rollout_backup.h"

Expected<MovedConversations> moveConversationsBackedUp(const CodexHome& home, const QString& targetProvider,
                                                       BackupKind kind, const QString& restorePoint,
                                                       const MigrationProgress& progress,
                                                       const std::function<Expected<>(const ThreadRecords&)>& mayCommit)
{
    const Expected<std::unique_ptr<ConversationMove>> opened = ConversationMove::open(home, targetProvider);
    if (!opened)
        return std::unexpected(opened.error());
    ConversationMove& move = **opened;
    if (move.threads().empty())
        return MovedConversations();
    const QStringList otherFolders = move.otherIndexFolders();
    const Expected<QString> backupDirectory = createProviderBackup(home, kind, otherFolders);
    if (!backupDirectory)
        return std::unexpected(backupDirectory.error());
    // Sealed before the move, which removes the texts it staged and did not commit, goes.
    RolloutBackup rollouts(home, *backupDirectory + QStringLiteral("/rollout_files"));
    const auto changeFirstIndex = [&]() -> Expected<> {
        if (Expected<> staged = move.stage(rollouts, progress); !staged || move.movingCount() == 0)
            return staged;
        if (Expected<> written = writeProviderBackupInfo(*backupDirectory, kind, restorePoint, move.movingCount(),
                                                         rollouts.manifest(), otherFolders);
            !written)
            return written;
        if (mayCommit) {
            if (Expected<> may = mayCommit(move.threads()); !may)
                return may;
        }
        return move.moveFirstIndex();
    };
    if (const Expected<> firstChanged = changeFirstIndex(); !firstChanged || move.movingCount() == 0) {
        rollouts.discard();
        const Expected<> removed = files::removeItem(*backupDirectory);
        if (!firstChanged)
            return std::unexpected(firstChanged.error());
        if (!removed)
            return std::unexpected(removed.error());
        return MovedConversations();
    }
    if (const Expected<> done = move.finish(); !done) {
        // The files not replaced are still the backup's: putting it back leaves them alone.
        rollouts.leaveForPutBack();
        return std::unexpected(done.error());
    }
    if (progress)
        progress(qint64(move.threads().size()), qint64(move.threads().size()));
    return move.moved();
}
