#include "workflows/system_parts.h"

#include "codexapp/system_workspace.h"

#include <QDir>

SystemParts systemParts()
{
    return {CodexHome(QDir::homePath(), qEnvironmentVariable("CODEX_SQLITE_HOME")), RelayEndpoint::standard(), makeSystemWorkspace()};
}
