#pragma once

#include "workflows/engine_context.h"

// Checks the key with the relay and remembers it; only the saved keys change.
WorkflowResult checkKey(const EngineContext& engine, const QString& keyInput);
// Forgets one saved key.
WorkflowResult forgetKey(const EngineContext& engine, const QString& id);
