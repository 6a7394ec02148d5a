#include "config/config_document.h"

#include "config/config_text.h"
#include "core/constants.h"
#include "core/files/file_io.h"

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <QStringList>

#include <sstream>

struct ConfigDocument::Parsed {
    toml::table table;
};

namespace {

const toml::node* nodeAt(const toml::table& table, const QString& tablePath, const QString& key)
{
    const toml::table* at = &table;
    for (const QString& name : tablePath.split(QLatin1Char('.'), Qt::SkipEmptyParts)) {
        at = at->get_as<toml::table>(name.toStdString());
        if (!at)
            return nullptr;
    }
    return key.isEmpty() ? at : at->get(key.toStdString());
}

} // namespace

ConfigDocument::ConfigDocument(QString text) : m_text(std::move(text))
{
    const std::string utf8 = m_text.toStdString();
    toml::parse_result parsed = toml::parse(utf8);
    if (parsed)
        m_parsed = std::make_shared<const Parsed>(Parsed{std::move(parsed).table()});
}

ConfigDocument ConfigDocument::read(const QString& path)
{
    return ConfigDocument(files::itemExists(path) ? files::readUtf8(path).value_or(QString()) : QString());
}

std::optional<QString> ConfigDocument::value(const QString& table, const QString& key) const
{
    if (!m_parsed)
        return tableConfigValue(table, key, m_text);
    const toml::node* node = nodeAt(m_parsed->table, table, key);
    if (!node)
        return std::nullopt;
    if (const std::optional<std::string> text = node->value<std::string>(); text && node->is_string())
        return QString::fromStdString(*text);
    std::ostringstream written;
    node->visit([&written](const auto& value) { written << value; });
    return QString::fromStdString(written.str());
}

bool ConfigDocument::hasTable(const QString& table) const
{
    if (m_parsed) {
        const toml::node* node = nodeAt(m_parsed->table, table, QString());
        return node && node->is_table();
    }
    for (const QString& line : m_text.split(QLatin1Char('\n'))) {
        if (headerTable(line) == table)
            return true;
    }
    return false;
}

QString ConfigDocument::listedProvider() const
{
    const QString named = provider().value_or(QString());
    return named.isEmpty() ? morvane::providerOpenAI : named;
}

bool ConfigDocument::namesRelay() const
{
    return provider() == morvane::providerTevrun || hasTable(tevrunTable);
}

Expected<LoginStoreSetting> ConfigDocument::loginStore() const
{
    if (!m_parsed)
        return LoginStoreSetting{};
    const toml::table& document = m_parsed->table;
    LoginStoreSetting setting;
    setting.secretsFile = document.at_path("features.secret_auth_storage").value_or(false);
    const toml::node_view store = document["cli_auth_credentials_store"];
    if (!store)
        return setting;
    const std::optional<std::string> name = store.value<std::string>();
    static const std::pair<const char*, CredentialStore> stores[] = {{"file", CredentialStore::File},
                                                                     {"keyring", CredentialStore::Keyring},
                                                                     {"auto", CredentialStore::Auto},
                                                                     {"ephemeral", CredentialStore::Ephemeral}};
    for (const auto& [known, kind] : stores) {
        if (name == known) {
            setting.store = kind;
            return setting;
        }
    }
    return std::unexpected(Error{morvaneErrorDomain, 0,
                                 QStringLiteral("config.toml 的 cli_auth_credentials_store = \"%1\" 不是 Codex 认得的值"
                                                "（file、keyring、auto 或 ephemeral）。")
                                     .arg(QString::fromStdString(name.value_or(std::string())))});
}
