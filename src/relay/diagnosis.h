#pragma once

#include "core/codex_home.h"
#include "relay/relay_endpoint.h"

#include <QString>

#include <optional>

// Asks a model through the relay for a one-line diagnosis of config.toml, with every key
// masked. Best effort: nothing on any failure.
std::optional<QString> diagnoseConfigWithAIUsingKey(const RelayEndpoint& endpoint, const CodexHome& home,
                                                    const QString& key);
