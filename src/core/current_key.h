#pragma once

#include "core/codex_home.h"
#include "core/json.h"

#include <QString>

#include <optional>

// Any JSON value: only a string can be a key.
bool isLikelyApiKey(const std::optional<Json>& value);

// "OPENAI_API_KEY" of auth.json, of whatever type, or nothing.
std::optional<Json> readActiveApiKey(const CodexHome& home);
// The active key when well-formed, else the one kept in auth_tevrun_last.json.
std::optional<Json> readCurrentApiKey(const CodexHome& home);

// A JSON string as text; nothing for any other value.
std::optional<QString> jsonString(const std::optional<Json>& value);
