#pragma once

#include "core/codex_home.h"

#include <QString>

#include <optional>

// The model_provider a config.toml sets, if it sets one.
std::optional<QString> configuredProvider(const QString& configPath);
// The provider Codex lists conversations of with that configuration: its model_provider,
// else Codex's default, "openai".
QString providerOfConfig(const QString& configPath);
// The provider of the Codex home's own configuration.
QString activeProvider(const CodexHome& home);
