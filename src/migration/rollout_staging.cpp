#include "migration/rollout_staging.h"

#include "migration/rollout_compression.h"
#include "migration/rollout_read_ahead.h"

namespace {

// Counts one thread that moves, by its row or its file.
void countMoving(MovedConversations& moved, const ThreadRecord& thread, bool withoutSealedItems)
{
    if (thread.archived) {
        ++moved.archived;
        return;
    }
    ++moved.listed;
    moved.withoutSealedItems += withoutSealedItems ? 1 : 0;
}

} // namespace

Expected<> backUpAndStageRollouts(const ThreadRecords& threads, const QString& targetProvider, RolloutBackup& backup,
                                  files::StagedReplacements& batch, MovedConversations& moved,
                                  std::vector<ThreadShifts>& shifts,
                                  const std::function<void(qint64 done, qint64 total)>& progress)
{
    RolloutReadAhead reader(threads, targetProvider, backup);
    const qint64 total = qint64(threads.size());
    qint64 done = 0;
    for (const ThreadRecord& thread : threads) {
        ReadRollout& rollout = reader.next();
        if (progress)
            progress(done++, total);
        if (rollout.missing) {
            if (thread.moves) // a thread without its file moves in the index only
                countMoving(moved, thread, false);
            continue;
        }
        if (!rollout.kept)
            return rollout.kept;
        if (thread.moves || rollout.change)
            countMoving(moved, thread, rollout.change && rollout.change->sealedRemoved);
        if (!rollout.change)
            continue;
        const std::vector<QByteArrayView> parts = isCompressedRollout(thread.rolloutPath)
            ? std::vector<QByteArrayView>{rollout.packed}
            : rewrittenParts(*rollout.change, rollout.content, rollout.added);
        if (Expected<> staged = batch.stagePieces(thread.rolloutPath, parts, rollout.identity); !staged)
            return staged;
        if (!rollout.shifts.empty())
            shifts.push_back({thread.id, rollout.shifts});
    }
    return {};
}
