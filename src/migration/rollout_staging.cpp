#include "migration/rollout_staging.h"

#include "core/files/file_errors.h"
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

bool backUpAndStageRollouts(const ThreadRecords& threads, const QString& targetProvider, RolloutBackup& backup,
                            files::StagedReplacements& batch, MovedConversations& moved, std::vector<ThreadShifts>& shifts,
                            Error* error, const std::function<void(qint64 done, qint64 total)>& progress)
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
            return files::fail(error, rollout.error);
        if (thread.moves || rollout.change)
            countMoving(moved, thread, rollout.change && rollout.change->sealedRemoved);
        if (!rollout.change)
            continue;
        const std::vector<QByteArrayView> parts = isCompressedRollout(thread.rolloutPath)
            ? std::vector<QByteArrayView>{rollout.packed}
            : rewrittenParts(*rollout.change, rollout.content, rollout.added);
        if (!batch.stagePieces(thread.rolloutPath, parts, error, rollout.identity))
            return false;
        if (!rollout.shifts.empty())
            shifts.push_back({thread.id, rollout.shifts});
    }
    return true;
}
