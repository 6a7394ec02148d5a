#pragma once

#include "core/codex_home.h"
#include "core/error.h"
#include "history/history_item.h"

#include <QDateTime>
#include <QString>

#include <expected>
#include <optional>
#include <vector>

// Remembered TEVRUN API keys: one file per key in the history directory, ordered by the
// files' modification times. The files hold keys, so they are readable by the owner only.

// Remembers a well-formed key (a value that is not one is left alone), or says why it could
// not.
Expected<> saveApiKeyToHistory(const CodexHome& home, const QString& key);
// Newest first; empty when the directory is missing or unreadable.
std::vector<HistoryItem> historyItems(const CodexHome& home);
std::optional<QString> latestHistoricalApiKey(const CodexHome& home);
// The saved key with that id, or the error that says there is none.
Expected<HistoryItem> findHistoryItem(const CodexHome& home, const QString& id);
// Deletes the one history file of that saved key, as findHistoryItem gave it; nothing else.
Expected<> forgetHistoryItem(const CodexHome& home, const HistoryItem& item);
// Where the key's file is, whether or not it exists; nothing for a malformed key.
std::optional<QString> historyPathForKey(const CodexHome& home, const QString& key);
