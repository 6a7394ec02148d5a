#include "config/config_writers.h"

#include "config/config_check.h"
#include "config/config_edit.h"
#include "config/config_text.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/json_file.h"

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

bool writeApiKeyFiles(const CodexHome& home, const QString& key, Error* error)
{
    if (!files::makeDirectory(home.codexHomePath(), error))
        return false;
    const QByteArray auth = prettyJson(Json{{"OPENAI_API_KEY", toUtf8(key)}});
    if (!files::writeAtomically(home.file(codexfile::auth), auth, error, files::Access::OwnerOnly))
        return false;
    files::writeAtomically(home.file(codexfile::lastKey), auth, nullptr, files::Access::OwnerOnly);
    return true;
}

// The text of a configuration file; a missing file is an empty one.
std::optional<QString> configFileText(const QString& path, Error* error)
{
    return files::itemExists(path) ? files::readUtf8(path, error) : std::optional(QString());
}

ConfigChanges apiChanges()
{
    ConfigChanges changes;
    for (const ConfigSetting& setting : apiConfigSettings())
        changes.push_back({setting.table, setting.key, setting.line});
    return changes;
}

// What puts the account's values back: each key of the template as the account's file
// writes it, or out; the provider's table out when the account had none.
ConfigChanges accountChanges(const QString& accountConfig)
{
    const QStringList lines = accountConfig.split(QLatin1Char('\n'));
    const bool hadTable = configLineOf(accountConfig, tevrunTable, QString()) > 0;
    ConfigChanges changes;
    for (const ConfigSetting& setting : apiConfigSettings()) {
        if (setting.table == tevrunTable && !hadTable)
            continue;
        const int line = configLineOf(accountConfig, setting.table, setting.key);
        QString text = line > 0 ? lines.value(line - 1) : QString();
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        changes.push_back({setting.table, setting.key, line > 0 ? std::optional(text) : std::nullopt});
    }
    if (!hadTable)
        changes.push_back({tevrunTable, QString(), std::nullopt});
    return changes;
}

std::optional<QString> checkedEdit(const QString& config, const ConfigChanges& changes, Error* error)
{
    const QString edited = editedConfig(config, changes);
    if (const std::optional<ConfigProblem> problem = checkConfigEdit(config, edited, changes)) {
        setMorvaneError(error, QStringLiteral("无法安全修改“%1”第 %2 行：%3。").arg(codexfile::config).arg(problem->line).arg(problem->reason));
        return std::nullopt;
    }
    return edited;
}

} // namespace

bool writeCleanApiConfigWithKey(const CodexHome& home, const QString& key, Error* error)
{
    return writeApiKeyFiles(home, key, error) && writeConfigText(home, cleanApiConfig(), error);
}

std::optional<QString> apiConfigText(const CodexHome& home, Error* error)
{
    const std::optional<QString> config = configFileText(home.file(codexfile::config), error);
    return config ? checkedEdit(*config, apiChanges(), error) : std::nullopt;
}

std::optional<QString> accountConfigText(const CodexHome& home, Error* error)
{
    const std::optional<QString> config = configFileText(home.file(codexfile::config), error);
    const std::optional<QString> account =
        configFileText(home.profilePath(QStringLiteral("account")) + QLatin1Char('/') + codexfile::config, error);
    if (!config || !account)
        return std::nullopt;
    if (editedConfig(*account, apiChanges()) == *config)
        return account; // nothing changed on the relay: the account's own file, byte for byte
    return checkedEdit(*config, accountChanges(*account), error);
}

bool writeApiConfigWithKey(const CodexHome& home, const QString& key, Error* error)
{
    const std::optional<QString> config = apiConfigText(home, error);
    return config && writeApiKeyFiles(home, key, error)
        && files::writeAtomically(home.file(codexfile::config), config->toUtf8(), error);
}

bool writeAccountConfig(const CodexHome& home, Error* error)
{
    const std::optional<QString> config = accountConfigText(home, error);
    return config && files::writeAtomically(home.file(codexfile::config), config->toUtf8(), error);
}

void removeApiKeyFromAuthFile(const QString& authFile)
{
    Json auth = readJsonObject(authFile).value_or(Json::object());
    auth.erase("OPENAI_API_KEY");
    files::writeAtomically(authFile, prettyJson(auth), nullptr, files::Access::OwnerOnly);
}

bool writeFreshAccountConfig(const CodexHome& home, Error* error)
{
    if (!files::makeDirectory(home.codexHomePath(), error))
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
    if (!files::makeDirectory(home.codexHomePath(), error))
        return false;
    removeApiKeyFromAuthFile(home.file(codexfile::auth));
    return writeConfigText(home, cleanLoginConfig, error);
}
