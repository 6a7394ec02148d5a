#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "core/files/file_io.h"
#include "migration/moved_conversations.h"
#include "migration/thread_history.h"
#include "migration/thread_index.h"
#include "migration/thread_record.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class RolloutBackup;

using MigrationProgress = std::function<void(qint64 done, qint64 total)>;

// Every thread of another provider, archived ones too, moved to the target, in steps that
// the caller puts between its backups; the move itself keeps no backup. open() reads the
// threads of every thread index of the home and changes nothing. stage() reads each rollout
// file once, hands it to the backup and stages its new text beside it. moveFirstIndex()
// changes the thread index Codex uses now: from there on, a failure leaves a home to put
// back. finish() changes the other indexes and the history's offsets and replaces the
// rollout files; a file that changed since it was read stops it (ErrorChangedWhileStaged).
class ConversationMove {
public:
    static Expected<std::unique_ptr<ConversationMove>> open(const CodexHome& home, const QString& targetProvider);

    // A thread that several indexes hold is one conversation, and its row moves in each.
    const ThreadRecords& threads() const { return m_threads; }
    // The folders of the thread indexes besides the Codex home, in their order.
    QStringList otherIndexFolders() const;

    // Progress counts the rollout files read out of the total.
    Expected<> stage(RolloutBackup& backup, const MigrationProgress& progress);
    // What the staged move changes; all counts 0 when it changes nothing.
    const MovedConversations& moved() const { return m_moved; }
    qint64 movingCount() const { return m_moved.listed + m_moved.archived; }

    Expected<> moveFirstIndex();
    Expected<> finish();

private:
    ConversationMove(const CodexHome& home, QString targetProvider);

    const CodexHome& m_home;
    QString m_target;
    std::vector<std::unique_ptr<ThreadIndex>> m_indexes;
    QStringList m_folders;
    ThreadRecords m_threads;
    // Staged texts not committed are removed when the move goes.
    files::StagedReplacements m_batch;
    MovedConversations m_moved;
    std::vector<ThreadShifts> m_shifts;
};

// The threads of every thread index of Codex's, archived ones too, read without changing
// anything, each with whether its row would move to the target; none when there is no
// thread index.
Expected<ThreadRecords> threadsToMove(const CodexHome& home, const QString& targetProvider);
