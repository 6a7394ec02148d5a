#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The rollout text with the provider of every session_meta line set to the target, every
// other byte as it was: head, then the content from the returned offset on. The unchanged
// rest is left to be copied from the file itself. Nothing, and head empty, when no line
// needs to change. Head keeps its memory from one call to the next.
std::optional<qsizetype> rewriteRollout(const QByteArray& content, const QString& targetProvider, QByteArray& head);
