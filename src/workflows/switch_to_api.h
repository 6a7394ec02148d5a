#pragma once

#include "workflows/engine_context.h"

// Checks the key with the relay, backs up, records the account login, writes the API
// configuration, moves the conversations and remembers the key.
WorkflowResult switchToApi(const EngineContext& engine, const QString& keyInput);
