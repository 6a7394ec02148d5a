#pragma once

#include "codexapp/workspace.h"

#include <memory>

// The workspace of the system Morvane was built for; each system's is compiled only there.
std::unique_ptr<Workspace> makeSystemWorkspace();
