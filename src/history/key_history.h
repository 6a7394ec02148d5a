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
std::expected<void, Error> saveApiKeyToHistory(const CodexHome& home, const QString& key);
// Newest first; empty when the directory is missing or unreadable.
std::vector<HistoryItem> historyItems(const CodexHome& home);
std::optional<QString> latestHistoricalApiKey(const CodexHome& home);
// The saved key with that id; nothing, with the error that says so, when there is none.
std::optional<HistoryItem> findHistoryItem(const CodexHome& home, const QString& id, Error* error = nullptr);
// Deletes the one history file of the key with that id; nothing else.
bool forgetHistoryItem(const CodexHome& home, const QString& id, Error* error = nullptr);
// Where the key's file is, whether or not it exists; nothing for a malformed key.
std::optional<QString> historyPathForKey(const CodexHome& home, const QString& key);
