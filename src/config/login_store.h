#pragma once

#include "core/error.h"

#include <QString>

// Where Codex keeps its login, as cli_auth_credentials_store of config.toml says.
enum class CredentialStore {
    File,      // auth.json (also when the key is not set)
    Keyring,   // the system's secret store only
    Auto,      // the secret store when it has an entry and answers, else auth.json
    Ephemeral, // memory only: nothing on disk to switch
};

// What a configuration's text says of the login's store. The error names the value when
// Codex would not know it; a text that is no TOML at all is read as the default, as the
// configuration's own check reports it elsewhere.
struct LoginStoreSetting {
    CredentialStore store = CredentialStore::File;
    bool secretsFile = false; // [features] secret_auth_storage: the login in secrets/codex_auth.age
};
Expected<LoginStoreSetting> loginStoreSetting(const QString& configText);
