#pragma once

#include "workflows/engine_context.h"

// Moves every visible conversation to the provider Codex lists now; the configuration and
// the login stay as they are.
WorkflowResult moveVisibleConversations(const EngineContext& engine);
