#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// A line of a rollout that changed length: every byte after its start moved by delta.
// Codex's paginated history records byte offsets into the file, which must move along.
struct LineShift {
    qsizetype lineStart = 0; // in the file as it was
    qsizetype delta = 0;
};
using LineShifts = std::vector<LineShift>;

// Where an offset into the file as it was lies in the rewritten file.
qint64 shiftedOffset(qint64 offset, const LineShifts& shifts);

// The rollout text with the provider set to the target everywhere Codex records it: each
// session_meta line's model_provider and each thread_settings_applied event's
// model_provider_id. Only the provider's own bytes change; every other byte stays as it
// was: head, then the content from the returned offset on. The unchanged rest is left to
// be copied from the file itself. Nothing, and head empty, when no line needs to change.
// Head keeps its memory from one call to the next; shifts, when given, receives the lines
// whose length changed.
std::optional<qsizetype> rewriteRollout(const QByteArray& content, const QString& targetProvider, QByteArray& head,
                                        LineShifts* shifts = nullptr);
