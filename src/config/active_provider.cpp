#include "config/active_provider.h"

#include "config/config_text.h"
#include "core/constants.h"
#include "core/files/file_io.h"

std::optional<QString> configuredProvider(const QString& configPath)
{
    return topLevelConfigValue(QStringLiteral("model_provider"), files::readUtf8(configPath).value_or(QString()));
}

QString providerOfConfig(const QString& configPath)
{
    const QString provider = configuredProvider(configPath).value_or(QString());
    return provider.isEmpty() ? morvane::providerOpenAI : provider;
}

QString activeProvider(const CodexHome& home)
{
    return providerOfConfig(home.file(codexfile::config));
}
