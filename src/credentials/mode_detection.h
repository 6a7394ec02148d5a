#pragma once

#include "core/codex_home.h"
#include "core/switch_mode.h"
#include "credentials/codex_login.h"

// What the Codex home is set to, its login read where Codex keeps it. Reads only; a
// missing or malformed file lets the next rule decide.
SwitchMode detectCurrentMode(const CodexHome& home);
// The same with the login findCodexLogin gave, so that the secret store is asked once (on
// macOS each time may ask the user). ModeAccount only for a login that was found.
SwitchMode detectCurrentMode(const CodexHome& home, const Expected<CodexLogin>& login);
