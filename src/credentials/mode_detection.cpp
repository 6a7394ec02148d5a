#include "credentials/mode_detection.h"

#include "config/config_document.h"
#include "core/api_key.h"
#include "core/current_key.h"
#include "core/files/file_io.h"
#include "core/json.h"

namespace {

// What a login Codex keeps outside auth.json says: a key, an account's, or none. Only an
// entry a store has can be read; the encrypted file is Codex's own login.
SwitchMode modeOfStoredLogin(const CodexHome& home, const CodexLogin& login)
{
    if (login.place == CodexLogin::Place::SecretsFile)
        return files::itemExists(home.file(secretsLoginFile)) ? ModeAccount : ModeUnconfigured;
    if (!login.keyringEntry)
        return ModeUnconfigured;
    const std::optional<Json> entry = parseJson(*login.keyringEntry);
    if (entry && entry->is_object() && isLikelyApiKey(std::optional(entry->value("OPENAI_API_KEY", Json()))))
        return ModeApi;
    return ModeAccount;
}

} // namespace

SwitchMode detectCurrentMode(const CodexHome& home)
{
    return detectCurrentMode(home, findCodexLogin(home));
}

SwitchMode detectCurrentMode(const CodexHome& home, const Expected<CodexLogin>& login)
{
    // The configuration as Codex reads it: the relay as its provider, or the relay's table.
    if (ConfigDocument::read(home.file(codexfile::config)).namesRelay())
        return ModeApi;
    if (!login)
        return ModeUnconfigured; // a store that does not answer: the health check says why
    if (login->place != CodexLogin::Place::AuthFile)
        return modeOfStoredLogin(home, *login);
    if (isLikelyApiKey(readActiveApiKey(home)))
        return ModeApi;
    if (files::itemExists(home.file(codexfile::auth)))
        return ModeAccount;
    return ModeUnconfigured;
}
