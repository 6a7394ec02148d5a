#include "config/config_writers.h"

#include "config/config_text.h"
#include "core/files/file_tree.h"
#include "core/files/file_io.h"
#include "core/json.h"

namespace {

const QString cleanLoginConfig = QStringLiteral("preferred_auth_method = \"device_code\"\n");

// A configuration written anew keeps where Codex keeps its databases: without it Codex would
// start over with empty ones in the Codex home.
bool writeConfigText(const CodexHome& home, const QString& text, Error* error)
{
    const QString path = home.file(codexfile::config);
    const std::optional<QString> databases =
        topLevelConfigLine(QStringLiteral("sqlite_home"), files::readUtf8(path).value_or(QString()));
    const QString kept = databases && !topLevelConfigLine(QStringLiteral("sqlite_home"), text) ? *databases + QLatin1Char('\n')
                                                                                                  : QString();
    return files::writeAtomically(path, (kept + text).toUtf8(), error);
}

} // namespace

bool writeCleanApiConfigWithKey(const CodexHome& home, const QString& key, Error* error)
{
    if (!files::makeDirectory(home.codexHomeURL(), error))
        return false;
    const QByteArray auth = prettyJson(Json{{"OPENAI_API_KEY", toUtf8(key)}});
    if (!files::writeAtomically(home.file(codexfile::auth), auth, error, files::Access::OwnerOnly))
        return false;
    files::writeAtomically(home.file(codexfile::lastKey), auth, nullptr, files::Access::OwnerOnly);
    return writeConfigText(home, cleanApiConfig(), error);
}

void removeApiKeyFromAuthFile(const QString& authFile)
{
    Json auth = readJsonObject(authFile).value_or(Json::object());
    auth.erase("OPENAI_API_KEY");
    files::writeAtomically(authFile, prettyJson(auth), nullptr, files::Access::OwnerOnly);
}

bool writeFreshAccountConfig(const CodexHome& home, Error* error)
{
    if (!files::makeDirectory(home.codexHomeURL(), error))
        return false;
    // Read before changing anything: a configuration that cannot be read as text is
    // reported, not replaced by one that has lost the user's settings.
    const QString configPath = home.file(codexfile::config);
    QString config;
    if (files::itemExists(configPath)) {
        const std::optional<QString> text = files::readUtf8(configPath, error);
        if (!text)
            return false;
        config = *text;
    }
    removeApiKeyFromAuthFile(home.file(codexfile::auth));
    return writeConfigText(home, rewriteConfigForFreshAccount(config), error);
}

bool writeCleanLoginConfig(const CodexHome& home, Error* error)
{
    if (!files::makeDirectory(home.codexHomeURL(), error))
        return false;
    removeApiKeyFromAuthFile(home.file(codexfile::auth));
    return writeConfigText(home, cleanLoginConfig, error);
}
