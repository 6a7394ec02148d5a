#pragma once

#include "codexapp/workspace.h"
#include "core/codex_home.h"
#include "relay/relay_endpoint.h"

#include <memory>

// What both programs run the engine on: this user's Codex home as Codex finds it (its
// databases where CODEX_SQLITE_HOME says, when it is set), the TEVRUN relay and this
// system's workspace. Tests build their own.
struct SystemParts {
    CodexHome home;
    RelayEndpoint relay;
    std::unique_ptr<Workspace> workspace;
};
SystemParts systemParts();
