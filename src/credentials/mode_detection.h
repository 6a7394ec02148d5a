#pragma once

#include "core/codex_home.h"
#include "core/switch_mode.h"

// What the Codex home is set to, its login read where Codex keeps it. Reads only; a
// missing or malformed file lets the next rule decide.
SwitchMode detectCurrentMode(const CodexHome& home);
