#pragma once

#include "core/error.h"
#include "migration/thread_record.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// Sets the provider of every session_meta line in each thread's rollout file. Every other
// byte stays as it was; a file that needs no change is not written. Returns the number of
// files rewritten, or -1 when a file cannot be read as UTF-8 or cannot be written (files
// rewritten before stay rewritten). Reports each thread done out of all of them.
using MigrationProgress = std::function<void(qint64 done, qint64 total)>;
qint64 rewriteSessionMetaForThreads(const ThreadRecords& threads, const QString& targetProvider, Error* error = nullptr,
                                    const MigrationProgress& progress = {});

// The rollout text with its metadata lines moved to the provider, or nothing when no line
// needs to change.
std::optional<QByteArray> rewrittenRollout(const QByteArray& content, const QString& targetProvider);
