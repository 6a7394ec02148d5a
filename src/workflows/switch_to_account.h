#pragma once

#include "workflows/engine_context.h"

// Back to the recorded account login, or records the current one, or prepares a fresh login.
WorkflowResult switchToAccount(const EngineContext& engine);
