#include "config/login_store.h"

#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

Expected<LoginStoreSetting> loginStoreSetting(const QString& configText)
{
    const std::string utf8 = configText.toStdString();
    toml::parse_result parsed = toml::parse(utf8);
    if (!parsed)
        return LoginStoreSetting{};
    const toml::table& document = parsed.table();
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
