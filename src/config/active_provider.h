#pragma once

#include "core/codex_home.h"

#include <QString>

// The provider Codex lists conversations of: config.toml's model_provider, else Codex's
// default, "openai".
QString activeProvider(const CodexHome& home);
