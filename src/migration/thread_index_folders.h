#pragma once

#include "core/codex_home.h"

#include <QStringList>

// The folders that hold a thread index (state_5.sqlite) of Codex's, the one Codex uses now
// first: the folder it was told to use (CODEX_SQLITE_HOME, else config.toml's sqlite_home),
// the Codex home, and the Codex home's sqlite/. Each at most once, however it is named.
QStringList threadIndexFolders(const CodexHome& home);
