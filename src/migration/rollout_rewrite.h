#pragma once

#include <QByteArray>
#include <QByteArrayView>
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

// Where an offset into the file as it was lies in the rewritten file; one inside a line that
// shrank stays within what is left of it.
qint64 shiftedOffset(qint64 offset, const LineShifts& shifts);

// When a rollout's sealed items (see sealed_items.h) go.
enum class SealedItems {
    GoWithProvider, // when the file records another provider than the target
    Go,             // also when it records the target already: its thread moves all the same
};

// A stretch of the rewritten text: of the content as it was, or of the bytes the rewrite
// added.
struct RolloutPiece {
    bool added = false;
    qsizetype start = 0;
    qsizetype size = 0;
};

// What a rewrite changed: the new text, piece by piece.
struct RolloutChange {
    std::vector<RolloutPiece> pieces;
    bool sealedRemoved = false;
};

// The rollout text with the provider set to the target everywhere Codex records it: each
// session_meta line's model_provider and each thread_settings_applied event's
// model_provider_id; and, as sealed says, without its sealed items: each response item
// that is one goes whole, and a compacted line keeps its replacement history without them.
// Every other byte stays as it was and is left where it is in the content: the new text is
// its pieces, stretches of the content between the new bytes, which go to added. Nothing,
// and added empty, when nothing changes. Added keeps its memory from one call to the next;
// shifts, when given, receives the lines whose length changed, a removed line as one that
// shrank to nothing.
std::optional<RolloutChange> rewriteRollout(const QByteArray& content, const QString& targetProvider, SealedItems sealed,
                                            QByteArray& added, LineShifts* shifts = nullptr);

// The pieces of the new text, in order, as views of the content and the added bytes.
std::vector<QByteArrayView> rewrittenParts(const RolloutChange& change, QByteArrayView content, QByteArrayView added);
// The new text whole.
QByteArray rewrittenText(const RolloutChange& change, QByteArrayView content, QByteArrayView added);
