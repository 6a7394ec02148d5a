#include "config/active_provider.h"

#include "config/config_text.h"
#include "core/constants.h"
#include "core/files/file_io.h"

QString activeProvider(const CodexHome& home)
{
    const QString config = files::readUtf8(home.file(QStringLiteral("config.toml"))).value_or(QString());
    const QString provider = topLevelConfigValue(QStringLiteral("model_provider"), config).value_or(QString());
    return provider.isEmpty() ? morvane::providerOpenAI : provider;
}
