#include "core/mode_detection.h"

#include "core/api_key.h"
#include "core/file_ops.h"
#include "history/key_history.h"

SwitchMode detectCurrentMode(const CodexHome& home)
{
    const QString config = files::readUtf8(home.file(QStringLiteral("config.toml"))).value_or(QString());
    const std::optional<Json> activeKey = readActiveApiKey(home);

    // Plain substring tests: they match in comments and other tables too, on purpose.
    if (config.contains(QLatin1String("model_provider = \"tevrun\"")))
        return ModeApi;
    if (config.contains(QLatin1String("[model_providers.tevrun]")))
        return ModeApi;
    if (isLikelyApiKey(activeKey))
        return ModeApi;
    if (files::itemExists(home.file(QStringLiteral("auth.json"))))
        return ModeAccount;
    return ModeUnconfigured;
}

InitialState initialStateFor(const CodexHome& home)
{
    InitialState state;
    std::optional<QString> key = latestHistoricalApiKey(home);
    if (!key)
        key = jsonString(readCurrentApiKey(home));
    if (key && isLikelyApiKey(*key))
        state.fieldKey = key;

    state.pillMode = detectCurrentMode(home);
    state.selectedMode = state.pillMode == ModeAccount ? ModeAccount : ModeApi;
    return state;
}
