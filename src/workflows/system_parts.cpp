#include "workflows/system_parts.h"

#include "codexapp/system_workspace.h"

#include <QDir>

Expected<SystemParts> systemParts()
{
    Expected<CodexHome> home
        = codexHomeFrom(QDir::homePath(), qEnvironmentVariable("CODEX_HOME"), qEnvironmentVariable("CODEX_SQLITE_HOME"));
    if (!home)
        return std::unexpected(home.error());
    return SystemParts{*home, RelayEndpoint::standard(), makeSystemWorkspace()};
}
