#include "credentials/codex_login.h"

#include "config/config_document.h"
#include "core/files/file_io.h"
#include "credentials/system_keyring.h"

#include <QCryptographicHash>
#include <QFileInfo>

QString keyringAccount(const CodexHome& home)
{
    // Codex hashes the path it was given when the folder cannot be resolved.
    const QString canonical = QFileInfo(home.codexHomePath()).canonicalFilePath();
    const QByteArray path = (canonical.isEmpty() ? home.codexHomePath() : canonical).toUtf8();
    return QStringLiteral("cli|") + QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex().left(16));
}

Expected<CodexLogin> findCodexLogin(const CodexHome& home)
{
    const Expected<LoginStoreSetting> setting = ConfigDocument::read(home.file(codexfile::config)).loginStore();
    if (!setting)
        return std::unexpected(setting.error());
    switch (setting->store) {
    case CredentialStore::File:
        return CodexLogin{};
    case CredentialStore::Ephemeral:
        return std::unexpected(Error{morvaneErrorDomain, 0,
                                     QStringLiteral("config.toml 设置了 cli_auth_credentials_store = \"ephemeral\"：Codex 的登录只在内存里，"
                                                    "没有可以记录和切换的登录信息。")});
    case CredentialStore::Keyring:
    case CredentialStore::Auto:
        break;
    }
    if (setting->secretsFile && (setting->store == CredentialStore::Keyring || files::itemExists(home.file(secretsLoginFile))))
        return CodexLogin{CodexLogin::Place::SecretsFile, std::nullopt};
    const Expected<std::optional<QByteArray>> entry = readKeyringEntry(keyringService, keyringAccount(home));
    if (setting->store == CredentialStore::Auto && (!entry || !*entry))
        return CodexLogin{};
    if (!entry) {
        return std::unexpected(Error{morvaneErrorDomain, 0,
                                     QStringLiteral("Codex 把登录保存在%1里，但它%2。请打开并解锁它后再试，Morvane 没有改动任何文件。")
                                         .arg(systemKeyringName(), entry.error().message)});
    }
    return CodexLogin{CodexLogin::Place::Keyring, *entry};
}

std::optional<QString> loginPlaceName(CodexLogin::Place place)
{
    switch (place) {
    case CodexLogin::Place::AuthFile:
        break;
    case CodexLogin::Place::Keyring:
        return QStringLiteral("keyring");
    case CodexLogin::Place::SecretsFile:
        return QStringLiteral("secrets");
    }
    return std::nullopt;
}
