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
Expected<> writeConfigText(const CodexHome& home, const QString& text)
{
    const QString path = home.file(codexfile::config);
    const std::optional<QString> databases =
        topLevelConfigLine(QStringLiteral("sqlite_home"), files::readUtf8(path).value_or(QString()));
    const QString kept = databases && !topLevelConfigLine(QStringLiteral("sqlite_home"), text) ? *databases + QLatin1Char('\n')
                                                                                                  : QString();
    return files::writeAtomically(path, (kept + text).toUtf8());
}

Expected<> writeApiKeyFiles(const CodexHome& home, const QString& key)
{
    const QByteArray auth = prettyJson(Json{{"OPENAI_API_KEY", toUtf8(key)}});
    if (Expected<> made = files::makeDirectory(home.codexHomePath()); !made)
        return made;
    if (Expected<> key = files::writeAtomically(home.file(codexfile::auth), auth, files::Access::OwnerOnly); !key)
        return key;
    return files::writeAtomically(home.file(codexfile::lastKey), auth, files::Access::OwnerOnly);
}

// Rewrites the file without "OPENAI_API_KEY"; a file that held no JSON object becomes {}.
Expected<> removeApiKeyFromAuthFile(const QString& authFile)
{
    Json auth = readJsonObject(authFile).value_or(Json::object());
    auth.erase("OPENAI_API_KEY");
    return files::writeAtomically(authFile, prettyJson(auth), files::Access::OwnerOnly);
}

// The text of a configuration file; a missing file is an empty one.
Expected<QString> configFileText(const QString& path)
{
    if (!files::itemExists(path))
        return QString();
    return files::readUtf8(path);
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

Expected<QString> checkedEdit(const QString& config, const ConfigChanges& changes)
{
    const QString edited = editedConfig(config, changes);
    if (const std::optional<ConfigProblem> problem = checkConfigEdit(config, edited, changes)) {
        return std::unexpected(Error{morvaneErrorDomain, 0,
                                     QStringLiteral("无法安全修改“%1”第 %2 行：%3。")
                                         .arg(codexfile::config)
                                         .arg(problem->line)
                                         .arg(problem->reason)});
    }
    return edited;
}

} // namespace

Expected<> writeCleanApiConfigWithKey(const CodexHome& home, const QString& key)
{
    if (Expected<> keyFiles = writeApiKeyFiles(home, key); !keyFiles)
        return keyFiles;
    return writeConfigText(home, cleanApiConfig());
}

Expected<QString> apiConfigText(const CodexHome& home)
{
    const Expected<QString> config = configFileText(home.file(codexfile::config));
    return config ? checkedEdit(*config, apiChanges()) : config;
}

Expected<QString> accountConfigText(const CodexHome& home)
{
    const Expected<QString> config = configFileText(home.file(codexfile::config));
    if (!config)
        return config;
    const Expected<QString> account =
        configFileText(home.profilePath(QStringLiteral("account")) + QLatin1Char('/') + codexfile::config);
    if (!account)
        return account;
    if (editedConfig(*account, apiChanges()) == *config)
        return account; // nothing changed on the relay: the account's own file, byte for byte
    return checkedEdit(*config, accountChanges(*account));
}

Expected<> writeApiConfigWithKey(const CodexHome& home, const QString& key)
{
    const Expected<QString> config = apiConfigText(home);
    if (!config)
        return std::unexpected(config.error());
    if (Expected<> keyFiles = writeApiKeyFiles(home, key); !keyFiles)
        return keyFiles;
    return files::writeAtomically(home.file(codexfile::config), config->toUtf8());
}

Expected<> writeAccountConfig(const CodexHome& home)
{
    const Expected<QString> config = accountConfigText(home);
    if (!config)
        return std::unexpected(config.error());
    return files::writeAtomically(home.file(codexfile::config), config->toUtf8());
}

Expected<> writeFreshAccountConfig(const CodexHome& home)
{
    // Read before changing anything: a configuration that cannot be read as text is
    // reported, not replaced by one that has lost the user's settings.
    if (Expected<> made = files::makeDirectory(home.codexHomePath()); !made)
        return made;
    const Expected<QString> config = configFileText(home.file(codexfile::config));
    if (!config)
        return std::unexpected(config.error());
    if (Expected<> keyGone = removeApiKeyFromAuthFile(home.file(codexfile::auth)); !keyGone)
        return keyGone;
    return writeConfigText(home, rewriteConfigForFreshAccount(*config));
}

Expected<> writeCleanLoginConfig(const CodexHome& home)
{
    if (Expected<> made = files::makeDirectory(home.codexHomePath()); !made)
        return made;
    if (Expected<> keyGone = removeApiKeyFromAuthFile(home.file(codexfile::auth)); !keyGone)
        return keyGone;
    return writeConfigText(home, cleanLoginConfig);
}
