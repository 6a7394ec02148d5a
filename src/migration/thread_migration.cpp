#include "migration/thread_migration.h"

#include "migration/rollout_staging.h"
#include "migration/thread_index_folders.h"

#include <QDir>
#include <QHash>

namespace {

// The thread index of each of Codex's database folders, open, and their threads together.
Expected<> openAndReadThreads(const CodexHome& home, const QString& targetProvider, bool forWriting,
                              std::vector<std::unique_ptr<ThreadIndex>>& indexes, QStringList& folders,
                              ThreadRecords& threads)
{
    QHash<QString, size_t> byId;
    for (const QString& folder : threadIndexFolders(home)) {
        auto index = std::make_unique<ThreadIndex>();
        if (Expected<> opened = index->open(folder, forWriting); !opened)
            return opened;
        if (!index->isOpen())
            continue;
        ThreadRecords read;
        if (Expected<> listed = index->readThreads(targetProvider, &read); !listed)
            return listed;
        for (ThreadRecord& thread : read) {
            const auto known = byId.constFind(thread.id);
            if (known != byId.cend() && !thread.id.isEmpty()) {
                threads[*known].moves = threads[*known].moves || thread.moves;
                threads[*known].archived = threads[*known].archived && thread.archived;
                continue;
            }
            byId.insert(thread.id, threads.size());
            threads.push_back(std::move(thread));
        }
        indexes.push_back(std::move(index));
        folders << folder;
    }
    return {};
}

} // namespace

Expected<ThreadRecords> threadsToMove(const CodexHome& home, const QString& targetProvider)
{
    std::vector<std::unique_ptr<ThreadIndex>> indexes;
    QStringList folders;
    ThreadRecords threads;
    if (Expected<> read = openAndReadThreads(home, targetProvider, false, indexes, folders, threads); !read)
        return std::unexpected(read.error());
    return threads;
}

ConversationMove::ConversationMove(const CodexHome& home, QString targetProvider)
    : m_home(home), m_target(std::move(targetProvider))
{
}

Expected<std::unique_ptr<ConversationMove>> ConversationMove::open(const CodexHome& home, const QString& targetProvider)
{
    std::unique_ptr<ConversationMove> move(new ConversationMove(home, targetProvider));
    if (targetProvider.isEmpty())
        return move;
    if (Expected<> read = openAndReadThreads(home, targetProvider, true, move->m_indexes, move->m_folders, move->m_threads);
        !read)
        return std::unexpected(read.error());
    return move;
}

QStringList ConversationMove::otherIndexFolders() const
{
    QStringList others = m_folders; // the Codex home's files are the backup's own
    others.removeAll(QDir::cleanPath(m_home.codexHomePath()));
    return others;
}

Expected<> ConversationMove::stage(RolloutBackup& backup, const MigrationProgress& progress)
{
    return backUpAndStageRollouts(m_threads, m_target, backup, m_batch, m_moved, m_shifts, progress);
}

Expected<> ConversationMove::moveFirstIndex()
{
    return m_indexes.front()->moveAllTo(m_target);
}

Expected<> ConversationMove::finish()
{
    Expected<> done;
    for (size_t i = 1; done && i < m_indexes.size(); ++i)
        done = m_indexes[i]->moveAllTo(m_target);
    m_indexes.clear();
    for (qsizetype i = 0; done && i < m_folders.size(); ++i)
        done = shiftHistoryOffsets(m_folders[i], m_shifts);
    if (done)
        done = m_batch.commit();
    return done;
}
