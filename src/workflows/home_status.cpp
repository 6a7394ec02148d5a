#include "workflows/home_status.h"

#include "codexapp/codex_control.h"
#include "config/active_provider.h"
#include "config/config_document.h"
#include "core/api_key.h"
#include "core/current_key.h"
#include "credentials/codex_login.h"
#include "credentials/mode_detection.h"
#include "migration/thread_index_folders.h"
#include "migration/thread_index.h"
#include "storage/backups.h"

HomeStatus readHomeStatus(const CodexHome& home, Workspace& workspace)
{
    HomeStatus status;
    status.codexHome = home.codexHomePath();
    status.codexHomeElsewhere = home.isElsewhere();
    status.unreadable = unreadableHome(home);
    if (status.unreadable)
        return status;
    const Expected<CodexLogin> login = findCodexLogin(home);
    status.mode = detectCurrentMode(home, login);
    if (const std::optional<QString> key = jsonString(readCurrentApiKey(home)); key && isLikelyApiKey(*key))
        status.shortenedKey = shortenedKey(*key);
    status.configProvider = ConfigDocument::read(home.file(codexfile::config)).provider();
    if (login)
        status.loginStore = loginPlaceName(login->place).value_or(QStringLiteral("file"));
    else
        status.loginStore = std::unexpected(login.error());
    for (const QString& folder : threadIndexFolders(home)) {
        status.indexes.push_back({folder + QLatin1Char('/') + codexfile::threadIndex, visibleThreadCountsIn(folder)});
    }
    status.codex = runningCodex(workspace);
    status.openConversations = openConversations(home);
    status.backups = summarizeBackups(home);
    return status;
}
