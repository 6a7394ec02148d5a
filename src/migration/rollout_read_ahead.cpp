#include "migration/rollout_read_ahead.h"

#include "core/files/file_errors.h"
#include "core/files/file_io.h"
#include "migration/rollout_compression.h"
#include "migration/unusable_conversation.h"
#include "storage/rollout_backup.h"

RolloutReadAhead::RolloutReadAhead(const ThreadRecords& threads, QString targetProvider, RolloutBackup& backup)
    : m_threads(threads), m_targetProvider(std::move(targetProvider)), m_backup(backup), m_reader([this] { readAll(); })
{
}

RolloutReadAhead::~RolloutReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_reader.join();
}

ReadRollout& RolloutReadAhead::next()
{
    std::unique_lock lock(m_mutex);
    if (m_taken > 0) {
        m_filled[(m_taken - 1) % 2] = false; // the file handed out before is done with
        m_changed.notify_all();
    }
    const size_t slot = m_taken % 2;
    m_changed.wait(lock, [&] { return m_filled[slot]; });
    ++m_taken;
    return m_slots[slot];
}

Expected<> RolloutReadAhead::rewrite(const ThreadRecord& thread, ReadRollout& rollout) const
{
    // A thread whose row moves loses its sealed items even when its file names the target,
    // and so does one that another tool moved with them, which the target refuses.
    const auto sealedFor = [&](QByteArrayView text) {
        return thread.moves || holdsOthersSealedItems(text, m_targetProvider) ? SealedItems::Go : SealedItems::GoWithProvider;
    };
    const QString& path = thread.rolloutPath;
    if (!isCompressedRollout(path)) {
        rollout.change
            = rewriteRollout(rollout.content, m_targetProvider, sealedFor(rollout.content), rollout.added, &rollout.shifts);
        return {};
    }
    Expected<QByteArray> text = decompressedRollout(path, rollout.content);
    if (!text)
        return std::unexpected(text.error());
    if (!QByteArrayView(*text).isValidUtf8())
        return std::unexpected(files::fileErrorWithReason(QStringLiteral("读取"), path, QStringLiteral("解压后不是 UTF-8 文本")));
    rollout.text = std::move(*text);
    rollout.change = rewriteRollout(rollout.text, m_targetProvider, sealedFor(rollout.text), rollout.added, &rollout.shifts);
    if (!rollout.change)
        return {};
    Expected<QByteArray> packed = compressedRollout(path, rewrittenText(*rollout.change, rollout.text, rollout.added));
    if (!packed)
        return std::unexpected(packed.error());
    rollout.packed = std::move(*packed);
    return {};
}

Expected<> RolloutReadAhead::readAndKeep(const ThreadRecord& thread, ReadRollout& rollout)
{
    const QString& path = thread.rolloutPath;
    const Expected<files::FileIdentity> read = isCompressedRollout(path) ? files::readWholeInto(path, rollout.content)
                                                                         : files::readUtf8Into(path, rollout.content);
    if (!read)
        return std::unexpected(read.error());
    rollout.identity = *read;
    if (Expected<> kept = m_backup.keep(path, rollout.content); !kept)
        return kept;
    return rewrite(thread, rollout);
}

void RolloutReadAhead::readAll()
{
    for (size_t i = 0; i < m_threads.size(); ++i) {
        const size_t slot = i % 2;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stopping || !m_filled[slot]; });
            if (m_stopping)
                return;
        }
        // The slot is this thread's alone until it is marked filled.
        const ThreadRecord& thread = m_threads[i];
        ReadRollout& rollout = m_slots[slot];
        rollout.change.reset();
        rollout.shifts.clear();
        const QString& path = thread.rolloutPath;
        rollout.missing = path.isEmpty();
        if (!rollout.missing) {
            rollout.kept = readAndKeep(thread, rollout);
            rollout.missing = !rollout.kept && !files::itemExists(path);
        }
        {
            const std::lock_guard lock(m_mutex);
            m_filled[slot] = true;
        }
        m_changed.notify_all();
    }
}
