#pragma once

#include <QtGlobal>

// What the Codex installation is set to, and what the window has selected.
enum SwitchMode : qint64 {
    ModeUnconfigured = 0,
    ModeAccount = 1,
    ModeApi = 2,
};
