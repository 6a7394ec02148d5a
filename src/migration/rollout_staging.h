#pragma once

#include "core/error.h"
#include "core/files/file_io.h"
#include "migration/moved_conversations.h"
#include "migration/thread_history.h"
#include "migration/thread_record.h"

#include <QString>

#include <functional>
#include <vector>

class RolloutBackup;

// Reads each thread's rollout file once: keeps it in the backup and, when the thread moves,
// stages its new text in the batch, with the lines whose length changed. The backup holds
// the files of the threads that stay too, so that going back to it later gives every
// conversation as it was. Counts what moves. Stops with the error of the first file that
// cannot be read, kept or staged.
Expected<> backUpAndStageRollouts(const ThreadRecords& threads, const QString& targetProvider, RolloutBackup& backup,
                                  files::StagedReplacements& batch, MovedConversations& moved,
                                  std::vector<ThreadShifts>& shifts,
                                  const std::function<void(qint64 done, qint64 total)>& progress);
