#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QString>

// Codex may keep a rollout file compressed with zstd (rollout-….jsonl.zst). Such a file is
// moved like any other: read whole, rewritten and written back compressed, never left
// half-read or written plain under its name.
bool isCompressedRollout(const QString& path);
// The text of a compressed file's bytes; an error naming the file when they are not a whole
// zstd stream.
Expected<QByteArray> decompressedRollout(const QString& path, const QByteArray& bytes);
Expected<QByteArray> compressedRollout(const QString& path, const QByteArray& text);
