#include "config/config_writers.h"

#include "config/config_check.h"
#include "config/config_document.h"
#include "config/config_edit.h"
#include "config/config_text.h"
#include "core/constants.h"
#include "core/files/file_io.h"
#include "core/files/file_tree.h"
#include "core/json_file.h"

#include <functional>

namespace {

const QString cleanLoginConfig = QStringLiteral("preferred_auth_method = \"device_code\"\n");
const QString storeKey = QStringLiteral("cli_auth_credentials_store");

// A configuration written anew keeps where Codex keeps its databases: without it Codex would
// start over with empty ones in the Codex home. The login's configuration also keeps where
// the login is kept, so that Codex finds the account's again.
Expected<> writeConfigText(const CodexHome& home, const QString& text, bool keepLoginStore = false)
{
    const QString path = home.file(codexfile::config);
    const QString old = files::readUtf8(path).value_or(QString());
    QStringList keys = {QStringLiteral("sqlite_home")};
    if (keepLoginStore)
        keys << storeKey;
    QString kept;
    for (const QString& key : keys) {
        if (const std::optional<QString> line = topLevelConfigLine(key, old); line && !topLevelConfigLine(key, text))
            kept += *line + QLatin1Char('\n');
    }
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

// On the relay Codex reads its login from auth.json, where the key is written: a login kept
// in the system's secret store stays there untouched, for the way back, and cannot be sent
// to the relay in the key's place.
ConfigChanges apiChanges(const QString& config)
{
    ConfigChanges changes;
    for (const ConfigSetting& setting : apiConfigSettings())
        changes.push_back({setting.table, setting.key, setting.line});
    const Expected<LoginStoreSetting> store = ConfigDocument(config).loginStore();
    if (!store || store->store != CredentialStore::File)
        changes.push_back({QString(), storeKey, storeKey + QStringLiteral(" = \"file\"")});
    return changes;
}

// What puts the account's values back: each key of the template, and where the login is
// kept, as the account's file writes it, or out; the provider's table out when the account
// had none.
ConfigChanges accountChanges(const QString& accountConfig)
{
    const QStringList lines = accountConfig.split(QLatin1Char('\n'));
    const bool hadTable = configLineOf(accountConfig, tevrunTable, QString()) > 0;
    std::vector<ConfigSetting> settings = apiConfigSettings();
    settings.push_back({QString(), storeKey, QString()});
    ConfigChanges changes;
    for (const ConfigSetting& setting : settings) {
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

// The edited text, once the check finds that it changed what the changes name and nothing else.
Expected<QString> checked(const QString& config, const QString& edited, const ConfigChanges& changes,
                          const QString& name = codexfile::config)
{
    if (const std::optional<ConfigProblem> problem = checkConfigEdit(config, edited, changes)) {
        return std::unexpected(Error{morvaneErrorDomain, 0,
                                     QStringLiteral("无法安全修改“%1”第 %2 行：%3。")
                                         .arg(name)
                                         .arg(problem->line)
                                         .arg(problem->reason)});
    }
    return edited;
}

Expected<QString> checkedEdit(const QString& config, const ConfigChanges& changes, const QString& name = codexfile::config)
{
    return checked(config, editedConfig(config, changes), changes, name);
}

ConfigChange providerChange(const QString& provider)
{
    return {QString(), QStringLiteral("model_provider"), QStringLiteral("model_provider = \"%1\"").arg(provider)};
}

// A profile file on its way back to the account: the recorded copy when the user changed
// nothing since it went to the relay, else its own provider line put back.
Expected<QString> profileTextForAccount(const CodexHome& home, const QString& name, const QString& text)
{
    const QString recordedPath = home.profilePath(QStringLiteral("account")) + QLatin1Char('/') + name;
    ConfigChange change = providerChange(morvane::providerOpenAI);
    if (files::itemExists(recordedPath)) {
        const Expected<QString> recorded = files::readUtf8(recordedPath);
        if (!recorded)
            return recorded;
        if (editedConfig(*recorded, {providerChange(morvane::providerTevrun)}) == text)
            return recorded;
        if (const std::optional<QString> line = topLevelConfigLine(change.key, *recorded))
            change.line = *line;
    }
    return checkedEdit(text, {change}, name);
}

Expected<> writeFiles(const std::vector<FileText>& texts)
{
    for (const FileText& file : texts) {
        if (Expected<> written = files::writeAtomically(file.path, file.text.toUtf8()); !written)
            return written;
    }
    return {};
}

} // namespace

Expected<std::vector<FileText>> followingProfileFiles(const CodexHome& home, const QString& target)
{
    const bool toRelay = target == morvane::providerTevrun;
    const QString leaving = toRelay ? morvane::providerOpenAI : morvane::providerTevrun;
    std::vector<FileText> texts;
    for (const QString& name : profileConfigNames(home.codexHomePath())) {
        const QString path = home.file(name);
        const Expected<QString> text = files::readUtf8(path);
        if (!text)
            return std::unexpected(text.error());
        // A profile of another provider (a local model, Azure) is the user's own way.
        if (ConfigDocument(*text).provider() != leaving)
            continue;
        const Expected<QString> edited
            = toRelay ? checkedEdit(*text, {providerChange(target)}, name) : profileTextForAccount(home, name, *text);
        if (!edited)
            return std::unexpected(edited.error());
        texts.push_back({path, *edited});
    }
    return texts;
}

namespace {

// One mode's writes, the profile files that follow the mode planned before them (nothing is
// written when one cannot be edited) and written after them.
Expected<> withProfilesFollowing(const CodexHome& home, const QString& target, const std::function<Expected<>()>& write)
{
    const Expected<std::vector<FileText>> profiles = followingProfileFiles(home, target);
    if (!profiles)
        return std::unexpected(profiles.error());
    const Expected<> written = write();
    return written ? writeFiles(*profiles) : written;
}

} // namespace

Expected<> writeCleanApiConfigWithKey(const CodexHome& home, const QString& key)
{
    return withProfilesFollowing(home, morvane::providerTevrun, [&]() -> Expected<> {
        if (Expected<> keyFiles = writeApiKeyFiles(home, key); !keyFiles)
            return keyFiles;
        return writeConfigText(home, cleanApiConfig());
    });
}

Expected<QString> apiConfigText(const CodexHome& home)
{
    const Expected<QString> config = configFileText(home.file(codexfile::config));
    return config ? checkedEdit(*config, apiChanges(*config)) : config;
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
    if (editedConfig(*account, apiChanges(*account)) == *config)
        return account; // nothing changed on the relay: the account's own file, byte for byte
    return checkedEdit(*config, accountChanges(*account));
}

Expected<> writeApiConfigWithKey(const CodexHome& home, const QString& key)
{
    const Expected<QString> config = apiConfigText(home);
    if (!config)
        return std::unexpected(config.error());
    return withProfilesFollowing(home, morvane::providerTevrun, [&]() -> Expected<> {
        if (Expected<> keyFiles = writeApiKeyFiles(home, key); !keyFiles)
            return keyFiles;
        return files::writeAtomically(home.file(codexfile::config), config->toUtf8());
    });
}

Expected<> writeAccountConfig(const CodexHome& home)
{
    const Expected<QString> config = accountConfigText(home);
    if (!config)
        return std::unexpected(config.error());
    return withProfilesFollowing(home, morvane::providerOpenAI,
                                 [&] { return files::writeAtomically(home.file(codexfile::config), config->toUtf8()); });
}

Expected<QString> freshAccountConfigText(const CodexHome& home)
{
    const Expected<QString> config = configFileText(home.file(codexfile::config));
    if (!config)
        return config;
    const ConfigChanges changes = {{QString(), QStringLiteral("model_provider"), std::nullopt},
                                   {QString(), QStringLiteral("disable_response_storage"), std::nullopt},
                                   {QString(), QStringLiteral("preferred_auth_method"), cleanLoginConfig.trimmed()},
                                   {tevrunTable, QString(), std::nullopt}};
    return checked(*config, rewriteConfigForFreshAccount(*config), changes);
}

Expected<> writeFreshAccountConfig(const CodexHome& home)
{
    // Read before changing anything: a configuration that cannot be read as text is
    // reported, not replaced by one that has lost the user's settings.
    if (Expected<> made = files::makeDirectory(home.codexHomePath()); !made)
        return made;
    const Expected<QString> config = freshAccountConfigText(home);
    if (!config)
        return std::unexpected(config.error());
    return withProfilesFollowing(home, morvane::providerOpenAI, [&]() -> Expected<> {
        if (Expected<> keyGone = removeApiKeyFromAuthFile(home.file(codexfile::auth)); !keyGone)
            return keyGone;
        return writeConfigText(home, *config);
    });
}

Expected<> writeCleanLoginConfig(const CodexHome& home)
{
    if (Expected<> made = files::makeDirectory(home.codexHomePath()); !made)
        return made;
    return withProfilesFollowing(home, morvane::providerOpenAI, [&]() -> Expected<> {
        if (Expected<> keyGone = removeApiKeyFromAuthFile(home.file(codexfile::auth)); !keyGone)
            return keyGone;
        return writeConfigText(home, cleanLoginConfig, true);
    });
}
