#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QString>

#include <optional>

// The only writers of new content into auth.json and config.toml. They neither check
// for a running Codex nor take a backup: the workflows do both first.

// auth.json and auth_tevrun_last.json with the key alone (owner-only), then the API template.
bool writeCleanApiConfigWithKey(const CodexHome& home, const QString& key, Error* error = nullptr);

// config.toml set up for the TEVRUN API in place: the template's keys set, every other line
// as it was. Nothing, with an error naming the line, when the file cannot be
// edited line by line without risk (or with the file's error when it cannot be read).
std::optional<QString> apiConfigText(const CodexHome& home, Error* error = nullptr);
// config.toml back for the account login: the values the account's recorded configuration
// has for the template's keys put back, what the API mode added taken out, every other line
// as it is now; the recorded file itself when nothing else changed since. Fails as above.
std::optional<QString> accountConfigText(const CodexHome& home, Error* error = nullptr);

// auth.json and auth_tevrun_last.json with the key alone, then config.toml as apiConfigText
// gives it; nothing is written when it gives none.
bool writeApiConfigWithKey(const CodexHome& home, const QString& key, Error* error = nullptr);
// config.toml as accountConfigText gives it.
bool writeAccountConfig(const CodexHome& home, Error* error = nullptr);

// Removes the key from auth.json and rewrites config.toml for a fresh account login,
// keeping the user's other settings.
bool writeFreshAccountConfig(const CodexHome& home, Error* error = nullptr);
// Removes the key from auth.json and writes the one-line login configuration.
bool writeCleanLoginConfig(const CodexHome& home, Error* error = nullptr);

// Rewrites the file without "OPENAI_API_KEY"; a file that held no JSON object becomes {}.
// Never fails visibly.
void removeApiKeyFromAuthFile(const QString& authFile);
