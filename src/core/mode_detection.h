#pragma once

#include "core/codex_home.h"
#include "core/switch_mode.h"

#include <QString>

#include <optional>

// What the Codex home is set to. Reads only; a missing or malformed file lets the next
// rule decide.
SwitchMode detectCurrentMode(const CodexHome& home);

// What the window shows once it is built.
struct InitialState {
    std::optional<QString> fieldKey; // put unchanged into both key fields
    SwitchMode selectedMode;         // never ModeUnconfigured
    SwitchMode pillMode;             // the detected mode
};

InitialState initialStateFor(const CodexHome& home);
