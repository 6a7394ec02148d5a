#pragma once

#include <QByteArray>
#include <QString>


// Puts into output the rollout text with the provider of every session_meta line set to
// the target; every other byte stays as it was. False, and output empty, when no line
// needs to change. Output keeps its memory from one call to the next.
bool rewriteRollout(const QByteArray& content, const QString& targetProvider, QByteArray& output);
