// The Secret Service over the session D-Bus (GNOME Keyring, KWallet), through libsecret.

#include "credentials/system_keyring.h"

#include <libsecret/secret.h>

#include <memory>

namespace {

// Codex's library writes its own schema name; matching by attributes alone finds its items.
const SecretSchema anySchema = {
    "org.freedesktop.Secret.Generic",
    SECRET_SCHEMA_DONT_MATCH_NAME,
    {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING}, {"username", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
    0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
};

Error storeError(const QString& what, GError* error)
{
    const QString reason = error ? QString::fromUtf8(error->message) : QString();
    g_clear_error(&error);
    return Error{morvaneErrorDomain, 0, reason.isEmpty() ? what : QStringLiteral("%1（%2）").arg(what, reason)};
}

} // namespace

QString systemKeyringName() { return QStringLiteral("系统钥匙串（Secret Service）"); }

Expected<std::optional<QByteArray>> readKeyringEntry(const QString& service, const QString& account)
{
    GError* error = nullptr;
    std::unique_ptr<SecretService, decltype(&g_object_unref)> connection(secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error),
                                                                         &g_object_unref);
    if (!connection)
        return std::unexpected(storeError(QStringLiteral("无法连接"), error));
    const QByteArray serviceText = service.toUtf8();
    const QByteArray accountText = account.toUtf8();
    std::unique_ptr<GHashTable, decltype(&g_hash_table_unref)> attributes(g_hash_table_new(g_str_hash, g_str_equal),
                                                                          &g_hash_table_unref);
    g_hash_table_insert(attributes.get(), const_cast<char*>("service"), const_cast<char*>(serviceText.constData()));
    g_hash_table_insert(attributes.get(), const_cast<char*>("username"), const_cast<char*>(accountText.constData()));
    // Locked items are found but not unlocked: a prompt would wait for a user who may not be there.
    GList* items = secret_service_search_sync(connection.get(), &anySchema, attributes.get(),
                                              SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS), nullptr, &error);
    if (error)
        return std::unexpected(storeError(QStringLiteral("拒绝了查询"), error));
    std::optional<QByteArray> entry;
    bool locked = false;
    for (GList* item = items; item && !entry; item = item->next) {
        SecretItem* found = SECRET_ITEM(item->data);
        SecretValue* value = secret_item_get_secret(found);
        if (!value) {
            locked = locked || secret_item_get_locked(found);
            continue;
        }
        gsize length = 0;
        const gchar* bytes = secret_value_get(value, &length);
        entry = QByteArray(bytes, qsizetype(length));
        secret_value_unref(value);
    }
    g_list_free_full(items, g_object_unref);
    if (!entry && locked)
        return std::unexpected(storeError(QStringLiteral("已锁定"), nullptr));
    return entry;
}
