#pragma once

#include "core/codex_home.h"
#include "core/error.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The login Codex will use for a home: where it keeps it, and in the system's secret store,
// what the entry holds.
struct CodexLogin {
    enum class Place {
        AuthFile,    // auth.json
        Keyring,     // the secret store's entry for the home
        SecretsFile, // secrets/codex_auth.age, its passphrase in the secret store
    };
    Place place = Place::AuthFile;
    // The entry's bytes (the JSON Codex would write to auth.json), when the store has one.
    std::optional<QByteArray> keyringEntry;
};

// As Codex finds it from config.toml: auth.json unless cli_auth_credentials_store says
// otherwise, the secret store asked where the setting needs it ("auto" falls back to
// auth.json when the store has no entry or does not answer, as Codex does). The error, in
// the user's words, when the login cannot be known or switched: a store that Codex must use
// does not answer or is locked, the login is kept in memory only, or the setting is unknown.
Expected<CodexLogin> findCodexLogin(const CodexHome& home);

// The account Codex's login entry carries for this home: "cli|" and the first 16 hex digits
// of the SHA-256 of its canonical path.
QString keyringAccount(const CodexHome& home);
// The service of Codex's login entry.
inline const QString keyringService = QStringLiteral("Codex Auth");
// The encrypted login file, relative to the Codex home.
inline const QString secretsLoginFile = QStringLiteral("secrets/codex_auth.age");

// The name a profile records for a place outside auth.json; nothing for auth.json.
std::optional<QString> loginPlaceName(CodexLogin::Place place);
