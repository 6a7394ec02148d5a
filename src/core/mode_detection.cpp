#include "core/mode_detection.h"

#include "core/api_key.h"
#include "core/current_key.h"
#include "core/files/file_io.h"

SwitchMode detectCurrentMode(const CodexHome& home)
{
    const QString config = files::readUtf8(home.file(codexfile::config)).value_or(QString());
    const std::optional<Json> activeKey = readActiveApiKey(home);

    // Plain substring tests: they match in comments and other tables too, on purpose.
    if (config.contains(QLatin1String("model_provider = \"tevrun\"")))
        return ModeApi;
    if (config.contains(QLatin1String("[model_providers.tevrun]")))
        return ModeApi;
    if (isLikelyApiKey(activeKey))
        return ModeApi;
    if (files::itemExists(home.file(codexfile::auth)))
        return ModeAccount;
    return ModeUnconfigured;
}
