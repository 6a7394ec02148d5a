#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The rollout text with the provider of every session_meta line set to the target, or
// nothing when no line needs to change. Every other byte stays as it was.
std::optional<QByteArray> rewrittenRollout(const QByteArray& content, const QString& targetProvider);
