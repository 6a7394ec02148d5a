#pragma once

#include "codexapp/workspace.h"
#include "core/codex_home.h"
#include "core/error.h"
#include "relay/relay_endpoint.h"

#include <memory>

// What both programs run the engine on: this user's Codex home as Codex finds it (CODEX_HOME
// when it is set, its databases where CODEX_SQLITE_HOME says), the TEVRUN relay and this
// system's workspace. Tests build their own. The error when CODEX_HOME names no folder.
struct SystemParts {
    CodexHome home;
    RelayEndpoint relay;
    std::unique_ptr<Workspace> workspace;
};
Expected<SystemParts> systemParts();
