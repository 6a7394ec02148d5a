#pragma once

#include "core/error.h"

#include <QString>

#include <memory>
#include <optional>

// Where Codex keeps its login, as cli_auth_credentials_store says.
enum class CredentialStore {
    File,      // auth.json (also when the key is not set)
    Keyring,   // the system's secret store only
    Auto,      // the secret store when it has an entry and answers, else auth.json
    Ephemeral, // memory only: nothing on disk to switch
};
struct LoginStoreSetting {
    CredentialStore store = CredentialStore::File;
    bool secretsFile = false; // [features] secret_auth_storage: the login in secrets/codex_auth.age
};

// A config.toml (or a profile file) as Codex reads it, and the one place that answers what it
// says. A text that parses as TOML is read by a TOML parser, as Codex reads it; one that does
// not (Codex would refuse it) is read by the line model the edits use, so that a broken file
// still tells its provider and mode. Edits go through config_edit.h, checked against this.
class ConfigDocument {
public:
    explicit ConfigDocument(QString text);
    // The file's text; a missing or unreadable file reads as an empty one.
    static ConfigDocument read(const QString& path);

    const QString& text() const { return m_text; }
    bool parses() const { return m_parsed != nullptr; }

    // The value of a key of the table (the top level for an empty one): a string as it
    // reads, any other value as TOML writes it; nothing when it is not set.
    std::optional<QString> value(const QString& table, const QString& key) const;
    std::optional<QString> topLevelValue(const QString& key) const { return value(QString(), key); }
    // Whether the table (such as "model_providers.tevrun") is there, by a header or by keys.
    bool hasTable(const QString& table) const;

    // The model_provider it sets, if it sets one; the one Codex lists conversations of,
    // Codex's default "openai" when it sets none.
    std::optional<QString> provider() const { return topLevelValue(QStringLiteral("model_provider")); }
    QString listedProvider() const;
    // Whether it takes Codex to the relay: the relay as its provider, or the relay's table.
    bool namesRelay() const;
    // Where Codex keeps its login. The error names the value when Codex would not know it;
    // a text that is no TOML at all is read as the default.
    Expected<LoginStoreSetting> loginStore() const;

private:
    struct Parsed;
    QString m_text;
    std::shared_ptr<const Parsed> m_parsed;
};
