#pragma once

#include "core/switch_mode.h"
#include "workflows/engine_context.h"

// Rewrites the configuration from the standard template of the mode and moves the
// conversations along; keyInput is used in the API mode only.
WorkflowResult repairConfig(const EngineContext& engine, SwitchMode mode, const QString& keyInput);
