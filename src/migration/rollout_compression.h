#pragma once

#include "core/error.h"

#include <QByteArray>
#include <QString>

#include <optional>

// Codex may keep a rollout file compressed with zstd (rollout-….jsonl.zst). Such a file is
// moved like any other: read whole, rewritten and written back compressed, never left
// half-read or written plain under its name.
bool isCompressedRollout(const QString& path);
// The text of a compressed file's bytes; nothing, with the error naming the file, when they
// are not a whole zstd stream.
std::optional<QByteArray> decompressedRollout(const QString& path, const QByteArray& bytes, Error* error = nullptr);
std::optional<QByteArray> compressedRollout(const QString& path, const QByteArray& text, Error* error = nullptr);
