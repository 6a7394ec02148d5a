#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QString>

// The only writers of new content into auth.json and config.toml. They neither check
// for a running Codex nor take a backup: the workflows do both first.

// auth.json and auth_tevrun_last.json with the key alone (owner-only), then the API template.
bool writeCleanApiConfigWithKey(const CodexHome& home, const QString& key, Error* error = nullptr);

// Removes the key from auth.json and rewrites config.toml for a fresh account login,
// keeping the user's other settings.
bool writeFreshAccountConfig(const CodexHome& home, Error* error = nullptr);
// Removes the key from auth.json and writes the one-line login configuration.
bool writeCleanLoginConfig(const CodexHome& home, Error* error = nullptr);

// Rewrites the file without "OPENAI_API_KEY"; a file that held no JSON object becomes {}.
// Never fails visibly.
void removeApiKeyFromAuthFile(const QString& authFile);
