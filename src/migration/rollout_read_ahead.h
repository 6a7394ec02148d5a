#pragma once

#include "core/error.h"
#include "core/files/file_io.h"
#include "migration/rollout_rewrite.h"
#include "migration/thread_record.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

class RolloutBackup;

// One thread's rollout file as read and kept in the backup: its bytes and, when it moves,
// its new start and the lines whose length changed.
struct ReadRollout {
    bool missing = false; // nothing stands at the path
    Expected<> kept;      // read and kept, or why not (unless the file is missing)
    QByteArray content;
    files::FileIdentity identity; // the file as it was once read
    QByteArray text;   // of a compressed file; the content is its bytes
    QByteArray added; // the bytes the change adds
    std::optional<RolloutChange> change; // nothing when the file stays as it is
    QByteArray packed; // the new bytes of a compressed file that changed
    LineShifts shifts;
};

// Reads the rollout files of the threads, in their order, one file ahead of their use and
// on a thread of its own, and keeps each in the backup: reading, checking, rewriting and
// keeping one file then overlaps with staging the one before. Two files' buffers serve
// the whole list. The backup is the reader's alone until the reader is gone.
class RolloutReadAhead {
public:
    RolloutReadAhead(const ThreadRecords& threads, QString targetProvider, RolloutBackup& backup);
    RolloutReadAhead(const RolloutReadAhead&) = delete;
    RolloutReadAhead& operator=(const RolloutReadAhead&) = delete;
    // Stops reading and waits for the file being read.
    ~RolloutReadAhead();

    // The file of the next thread of the list, valid until the next call; a thread without
    // a path gives a missing file. Called once for each thread, no more.
    ReadRollout& next();

private:
    void readAll();
    // The new text of a file kept in the backup, compressed again for a compressed file.
    Expected<> rewrite(const ThreadRecord& thread, ReadRollout& rollout) const;
    Expected<> readAndKeep(const ThreadRecord& thread, ReadRollout& rollout);

    const ThreadRecords& m_threads;
    const QString m_targetProvider;
    RolloutBackup& m_backup;
    std::array<ReadRollout, 2> m_slots;
    std::array<bool, 2> m_filled{false, false};
    size_t m_taken = 0; // files handed out so far
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stopping = false;
    std::thread m_reader; // last: starts once everything above is ready
};
