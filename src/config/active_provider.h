#pragma once

#include "core/codex_home.h"

#include <QString>

// The provider Codex lists conversations of with the Codex home's own configuration.
QString activeProvider(const CodexHome& home);
